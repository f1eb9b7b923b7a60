#include "plugin/settings_command.h"

#include "hostapi/host_calls.h"
#include "plugin/menu.h"
#include "plugin/plugin_info.h"
#include "dialog/settings_dialog.h"

namespace gw {

// The menu kind of the host's main window.
constexpr int32_t kMainWindowMenu = 0;

int32_t OnMenuInit(HostWindow, void* menu, int32_t kind) noexcept {
  if (kind != kMainWindowMenu) return 0;
  try {
    uint32_t id = host::RegisterCommand(kSettingsCommandText, kind, OnSettingsCommand);
    host::RegisterUICallback(id, QuerySettingsCommandState);
    AppendSettingsMenuItem(menu, kSettingsSubmenuPosition, id);
  } catch (...) {
    // Out of memory for the texts: the host's menu simply lacks the item.
  }
  return 0;
}

void GW_CALL OnSettingsCommand(HostWindow window, int32_t) noexcept {
  try {
    ShowSettingsDialog(window);
  } catch (...) {
  }
}

uint32_t GW_CALL QuerySettingsCommandState(HostWindow, int32_t) noexcept { return 0; }

}  // namespace gw
