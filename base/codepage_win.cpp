#include "base/codepage.h"

#include <windows.h>

namespace gw {
namespace {

// The system's reason for the last failure; E_FAIL should it give none.
HResult LastError() {
  DWORD error = GetLastError();
  return error == 0 ? kEFail : HResultFromWin32(error);
}

// Failures come back as codes; only lack of memory for the result throws.
HResult ToWide(UINT codePage, std::string_view narrow, WideString* out) {
  if (narrow.empty()) {
    out->clear();
    return kSOk;
  }
  int n = MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  if (n <= 0) return LastError();
  WideString text(static_cast<size_t>(n), u'\0');
  if (MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()),
                          reinterpret_cast<wchar_t*>(&text[0]), n) != n)
    return LastError();
  *out = std::move(text);
  return kSOk;
}

HResult ToNarrow(UINT codePage, WideView wide, std::string* out) {
  if (wide.empty()) {
    out->clear();
    return kSOk;
  }
  auto src = reinterpret_cast<const wchar_t*>(wide.data());
  int n = WideCharToMultiByte(codePage, 0, src, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return LastError();
  std::string text(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(codePage, 0, src, static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr) != n)
    return LastError();
  *out = std::move(text);
  return kSOk;
}

// The plain conversions give empty text when the system cannot convert.
WideString ToWide(UINT codePage, std::string_view narrow) {
  WideString out;
  ToWide(codePage, narrow, &out);
  return out;
}

std::string ToNarrow(UINT codePage, WideView wide) {
  std::string out;
  ToNarrow(codePage, wide, &out);
  return out;
}

}  // namespace

WideString NarrowToWide(std::string_view narrow) { return ToWide(CP_ACP, narrow); }
std::string WideToNarrow(WideView wide) { return ToNarrow(CP_ACP, wide); }
WideString Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string WideToUtf8(WideView wide) { return ToNarrow(CP_UTF8, wide); }
WideString Cp932ToWide(std::string_view cp932) { return ToWide(932, cp932); }
std::string WideToCp932(WideView wide) { return ToNarrow(932, wide); }

HResult NarrowToWideNoThrow(std::string_view narrow, WideString* out) noexcept {
  return HResultOf([&] { return ToWide(CP_ACP, narrow, out); });
}

HResult WideToNarrowNoThrow(WideView wide, std::string* out) noexcept {
  return HResultOf([&] { return ToNarrow(CP_ACP, wide, out); });
}

}  // namespace gw
