#include <windows.h>

#include "base/message_box.h"

namespace gw {

void ShowMessageBox(WideView caption, WideView text) {
  WideString c(caption), t(text);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(t.c_str()), reinterpret_cast<const wchar_t*>(c.c_str()),
              MB_OK);
}

}  // namespace gw
