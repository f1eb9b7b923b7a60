#include <windows.h>

#include <string>

#include "plugin/menu.h"
#include "plugin/plugin_info.h"

namespace gw {
namespace {

// The item text is kept as code page 932 bytes; converting them with that
// code page explicitly shows it right on systems with another code page too.
std::wstring MenuText() {
  int n = MultiByteToWideChar(932, 0, kSettingsMenuText, -1, nullptr, 0);
  std::wstring text(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(932, 0, kSettingsMenuText, -1, &text[0], n);
  return text;
}

}  // namespace

void AppendSettingsMenuItem(void* menu, int submenuPosition, uint32_t commandId) {
  HMENU submenu = GetSubMenu(static_cast<HMENU>(menu), submenuPosition);
  if (submenu == nullptr) return;
  InsertMenuW(submenu, kPastTheEnd, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  InsertMenuW(submenu, kPastTheEnd, MF_BYPOSITION | MF_STRING, commandId, MenuText().c_str());
}

}  // namespace gw
