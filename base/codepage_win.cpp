#include "base/codepage.h"

#include <windows.h>

namespace gw {
namespace {

WideString ToWide(UINT codePage, std::string_view narrow) {
  if (narrow.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  WideString out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()),
                      reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

std::string ToNarrow(UINT codePage, WideView wide) {
  if (wide.empty()) return {};
  auto src = reinterpret_cast<const wchar_t*>(wide.data());
  int n = WideCharToMultiByte(codePage, 0, src, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, src, static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

WideString NarrowToWide(std::string_view narrow) { return ToWide(CP_ACP, narrow); }
std::string WideToNarrow(WideView wide) { return ToNarrow(CP_ACP, wide); }
WideString Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string WideToUtf8(WideView wide) { return ToNarrow(CP_UTF8, wide); }
WideString Cp932ToWide(std::string_view cp932) { return ToWide(932, cp932); }
std::string WideToCp932(WideView wide) { return ToNarrow(932, wide); }

}  // namespace gw
