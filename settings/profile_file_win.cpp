#include "settings/profile_file.h"

#include <windows.h>

#include <vector>

namespace gw {
namespace {
const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
}  // namespace

WideString ReadProfileString(WideView section, WideView key, WideView defaultValue, WideView file) {
  WideString s(section), k(key), d(defaultValue), f(file);
  // The function reports a cut value by filling the buffer to size - 1, so
  // grow until the value fits: a long address must never be cut.
  for (DWORD size = 512; size <= (1u << 20); size *= 4) {
    std::vector<wchar_t> buffer(size);
    DWORD n = GetPrivateProfileStringW(W(s), W(k), W(d), buffer.data(), size, W(f));
    if (n < size - 1) return WideString(reinterpret_cast<const char16_t*>(buffer.data()), n);
  }
  return WideString(defaultValue);
}

}  // namespace gw
