// The one menu operation the plug-in performs on the host's menu: adding its
// settings item. On Windows `menu` is the host's HMENU; natively it points to
// the host's NativeMenu (plugin/native_menu.h).
#pragma once

#include <cstdint>

namespace gw {

// The position of the host's submenu that receives the item, counted from 0.
constexpr int kSettingsSubmenuPosition = 4;

// The entries are inserted by this position, which lies past the end of any
// real submenu, so that they end up last.
constexpr unsigned kPastTheEnd = 255;

// Appends a separator and then the item "Gridwrenを設定する(&9)..." with
// `commandId` as its id at the end of the submenu at `submenuPosition`.
// Nothing happens when there is no such submenu.
void AppendSettingsMenuItem(void* menu, int submenuPosition, uint32_t commandId);

}  // namespace gw
