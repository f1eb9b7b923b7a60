#include "hostapi/host_calls.h"

namespace gw::host {
namespace {

template <typename Fn>
Fn Slot(HostProc HostApi::*slot) {
  return reinterpret_cast<Fn>(TheHostApi().*slot);
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

std::string GetVersion() { return Text(Slot<host_sig::GetVersion>(&HostApi::GetVersion)()); }

std::string GetDataFolder() { return Text(Slot<host_sig::GetDataFolder>(&HostApi::GetDataFolder)()); }

std::string GetCurrentMailBox() {
  return Text(Slot<host_sig::GetCurrentMailBox>(&HostApi::GetCurrentMailBox)());
}

std::string GetTempFileName(const std::string& extension) {
  // The host owns the returned text; it is copied at once.
  return Text(Slot<host_sig::GetTempFileName>(&HostApi::GetTempFileName)(extension.c_str()));
}

HostWindow GetMainWindow() {
  HostWindow main = nullptr, tree = nullptr, list = nullptr, view = nullptr;
  Slot<host_sig::GetWindowHandles>(&HostApi::GetWindowHandles)(&main, &tree, &list, &view);
  return main;
}

void Command(HostWindow window, const std::string& command) {
  Slot<host_sig::Command>(&HostApi::Command)(window, command.c_str());
}

void AppendMessage(const std::string& folder, const std::string& message) {
  Slot<host_sig::AppendMessage>(&HostApi::AppendMessage)(folder.c_str(), message.c_str());
}

void B64Convert(const std::string& output, const std::string& input, int32_t encode) {
  Slot<host_sig::B64Convert>(&HostApi::B64Convert)(output.c_str(), input.c_str(), encode);
}

uint32_t RegisterCommand(const std::string& description, int32_t kind, CommandCallback callback) {
  return Slot<host_sig::RegisterCommand>(&HostApi::RegisterCommand)(description.c_str(), kind, callback);
}

void RegisterUICallback(uint32_t commandId, StateCallback callback) {
  Slot<host_sig::RegisterUICallback>(&HostApi::RegisterUICallback)(commandId, callback);
}

}  // namespace gw::host
