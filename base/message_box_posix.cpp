#include <cstdio>

#include "base/message_box.h"

namespace gw {

void ShowMessageBox(WideView caption, WideView text) {
  std::string line = WideToUtf8(caption) + ": " + WideToUtf8(text) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace gw
