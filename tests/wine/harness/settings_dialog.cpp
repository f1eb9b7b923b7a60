#include "harness/settings_dialog.h"

#include "harness/dialog_driver.h"
#include "harness/plugin_module.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {

int32_t SetupThroughHost(HMODULE plugin, const DialogScript& script) {
  auto setup = reinterpret_cast<int32_t(__stdcall*)(HWND)>(
      reinterpret_cast<void*>(RequireExport(plugin, "BKC_OnPlugInSetup")));
  int32_t result = -1;
  DriveModal(kDialogCaption, [&] { result = setup(HostMainWindow()); }, script);
  return result;
}

void SetupThroughMenuCommand(HMODULE plugin, const DialogScript& script) {
  auto menuInit = reinterpret_cast<int32_t(__stdcall*)(HWND, HMENU, int32_t)>(
      reinterpret_cast<void*>(RequireExport(plugin, "BKC_OnMenuInit")));
  HMENU menu = CreateMenu();
  for (int i = 0; i < 5; ++i) AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"&M");
  size_t before = HostSnapshot().registered.size();
  menuInit(HostMainWindow(), menu, 0);
  DestroyMenu(menu);
  HostRecord host = HostSnapshot();
  Require(host.registered.size() == before + 1, "BKC_OnMenuInit registered no command");
  gw::CommandCallback command = host.registered.back().command;
  Require(command != nullptr, "the registered command has no callback");
  DriveModal(kDialogCaption, [&] { command(HostMainWindow(), 0); }, script);
}

}  // namespace gwtest
