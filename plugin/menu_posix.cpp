#include "plugin/menu.h"
#include "plugin/native_menu.h"
#include "plugin/plugin_info.h"

namespace gw {

void AppendSettingsMenuItem(void* menu, int submenuPosition, uint32_t commandId) {
  if (menu == nullptr || submenuPosition < 0) return;
  NativeMenu* submenu = static_cast<NativeMenu*>(menu)->SubMenu(static_cast<size_t>(submenuPosition));
  if (submenu == nullptr) return;
  NativeMenu::Item separator;
  separator.separator = true;
  NativeMenu::Item item;
  item.id = commandId;
  item.text = kSettingsMenuText;
  submenu->InsertAt(kPastTheEnd, std::move(separator));
  submenu->InsertAt(kPastTheEnd, std::move(item));
}

}  // namespace gw
