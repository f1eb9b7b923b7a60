// The Windows Event Log, for the few events an administrator looks for
// there: the service's start, its stop and why it failed. Every line also
// goes to the service's log file.
#pragma once

#include <string>

namespace gw::bridge {

constexpr wchar_t kServiceName[] = L"GridwrenBridge";

enum class EventKind { kInformation, kWarning, kError };

// Writes one event under the source GridwrenBridge (registered by the
// install, so that Event Viewer shows the text as written).
void WriteServiceEvent(EventKind kind, const std::string& utf8);

// Registers and removes the event source: this program's message table.
// Return false with the system's error code on failure.
bool AddEventSource(const std::wstring& programPath, unsigned long* error);
bool RemoveEventSource(unsigned long* error);

}  // namespace gw::bridge
