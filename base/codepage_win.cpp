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
HResult ToWide(UINT codePage, std::string_view narrow, WideString* out, DWORD flags = 0) {
  if (narrow.empty()) {
    out->clear();
    return kSOk;
  }
  int n = MultiByteToWideChar(codePage, flags, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  if (n <= 0) return LastError();
  WideString text(static_cast<size_t>(n), u'\0');
  if (MultiByteToWideChar(codePage, flags, narrow.data(), static_cast<int>(narrow.size()),
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

// A character that starts with one of these bytes is two bytes long.
bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Left to itself, Windows turns a byte that is not CP932 into the code page's
// default character (・) and may swallow the byte after it, so a file that is
// not Shift_JIS would read as if it were. Converted strictly, and character
// by character where that fails, each bad byte becomes U+FFFD instead, as
// the native converter marks it, and the reader can refuse the file.
WideString Cp932ToWideMarked(std::string_view cp932) {
  WideString out;
  if (ToWide(932, cp932, &out, MB_ERR_INVALID_CHARS) == kSOk) return out;
  out.clear();
  for (size_t i = 0; i < cp932.size();) {
    const size_t length = IsCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size() ? 2 : 1;
    WideString one;
    if (ToWide(932, cp932.substr(i, length), &one, MB_ERR_INVALID_CHARS) == kSOk) {
      out += one;
      i += length;
    } else {
      out += u'\uFFFD';
      ++i;
    }
  }
  return out;
}

}  // namespace

WideString NarrowToWide(std::string_view narrow) { return ToWide(CP_ACP, narrow); }
std::string WideToNarrow(WideView wide) { return ToNarrow(CP_ACP, wide); }
WideString Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }
std::string WideToUtf8(WideView wide) { return ToNarrow(CP_UTF8, wide); }
WideString Cp932ToWide(std::string_view cp932) { return Cp932ToWideMarked(cp932); }
std::string WideToCp932(WideView wide) { return ToNarrow(932, wide); }

HResult NarrowToWideNoThrow(std::string_view narrow, WideString* out) noexcept {
  return HResultOf([&] { return ToWide(CP_ACP, narrow, out); });
}

HResult WideToNarrowNoThrow(WideView wide, std::string* out) noexcept {
  return HResultOf([&] { return ToNarrow(CP_ACP, wide, out); });
}

}  // namespace gw
