// The plug-in's one menu command: registered with the host and added to the
// host's menu by BKC_OnMenuInit; it opens the settings dialog.
#pragma once

#include <cstdint>

#include "hostapi/host_api.h"

namespace gw {

// BKC_OnMenuInit's work. For the main window's menu (kind 0) it registers
// the command and appends a separator and the item to the submenu at
// position 4; any other kind changes nothing. Every call registers anew:
// a host that calls twice gets two commands and two items. Returns 0.
int32_t OnMenuInit(HostWindow window, void* menu, int32_t kind) noexcept;

// The command: shows the settings dialog with `window` as its parent.
void GW_CALL OnSettingsCommand(HostWindow window, int32_t param) noexcept;

// The command's state for the host's user interface: always 0.
uint32_t GW_CALL QuerySettingsCommandState(HostWindow window, int32_t param) noexcept;

}  // namespace gw
