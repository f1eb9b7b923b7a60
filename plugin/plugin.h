// The work behind the library's entry points.
#pragma once

#include <cstdint>

#include "core/context.h"

namespace gw {

// The loader's reasons for calling the library entry.
constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;
constexpr uint32_t kThreadAttach = 2;
constexpr uint32_t kThreadDetach = 3;

// The library entry: process attach binds the host table and creates the
// settings store, and fails the load when binding fails; process detach
// destroys them. `processEnding` is set when the whole process is ending,
// when nothing needs to be freed.
bool PluginEntry(void* module, uint32_t reason, bool processEnding);

// Start-up work of BKC_OnStart: defaults, the main window, then one check.
void PluginStart();

// BKC_OnExit: the host is shutting down. Running checks stop without
// queuing anything, and the host waits for them a few seconds at most.
void PluginExit();

// What a check needs to know of its host, learnt without writing anything:
// the account address and the main window. A hosting program that runs
// checks itself calls this first.
void LearnHostContext();

}  // namespace gw
