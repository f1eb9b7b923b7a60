// Typed calls into the bound host table. Texts cross in the system code page;
// a null text returned by the host counts as empty text.
#pragma once

#include <cstdint>
#include <string>

#include "hostapi/host_api.h"

namespace gw::host {

std::string GetVersion();
std::string GetDataFolder();
std::string GetCurrentMailBox();
std::string GetTempFileName(const std::string& extension);
HostWindow GetMainWindow();
void Command(HostWindow window, const std::string& command);
void AppendMessage(const std::string& folder, const std::string& message);
void B64Convert(const std::string& output, const std::string& input, int32_t encode);
uint32_t RegisterCommand(const std::string& description, int32_t kind, CommandCallback callback);
void RegisterUICallback(uint32_t commandId, StateCallback callback);

}  // namespace gw::host
