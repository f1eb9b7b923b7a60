// The native build has no system ANSI code page, so it plays a Japanese
// Windows system: CP932 unless GRIDWREN_CODEPAGE names another iconv code set.
#include "base/codepage.h"

#include <cstdlib>
#include <stdexcept>

#include "base/iconv_pool_posix.h"

namespace gw {
namespace {

const char* AnsiCodeSet() {
  const char* name = std::getenv("GRIDWREN_CODEPAGE");
  return (name && *name) ? name : "CP932";
}

// Converts as much as possible. On an unconvertible sequence, writes
// `replacement` and skips `skip` input bytes, as the Win32 converters do.
// The converter comes from the pool: an iconv_t is not safe to share
// between threads, and opening one afresh for every text would load the
// code page's module again each time.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    size_t skip) {
  PooledIconv cv(to, from);
  if (!cv.ok()) throw std::runtime_error("iconv_open");
  std::string out;
  while (!cv.Convert(&in, &out)) {
    // An unconvertible sequence, or one cut off at the end of the input.
    out.append(replacement);
    in.remove_prefix(skip < in.size() ? skip : in.size());
    cv.Reset();
  }
  return out;
}

std::u16string FromUtf16Bytes(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string ToUtf16Bytes(WideView wide) {
  std::string bytes(wide.size() * 2, '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    bytes[2 * i] = static_cast<char>(wide[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(wide[i] >> 8);
  }
  return bytes;
}

const std::string kReplacementUtf16{"\xFD\xFF", 2};

WideString ToWide(const char* codeSet, std::string_view narrow) {
  return FromUtf16Bytes(Convert("UTF-16LE", codeSet, narrow, kReplacementUtf16, 1));
}

std::string ToNarrow(const char* codeSet, WideView wide) {
  // A lone surrogate or an unmappable character is one UTF-16 unit (2 bytes)
  // or a pair (4 bytes); skipping 2 bytes at a time yields one "?" per unit.
  return Convert(codeSet, "UTF-16LE", ToUtf16Bytes(wide), "?", 2);
}

}  // namespace

WideString NarrowToWide(std::string_view narrow) { return ToWide(AnsiCodeSet(), narrow); }
std::string WideToNarrow(WideView wide) { return ToNarrow(AnsiCodeSet(), wide); }
WideString Cp932ToWide(std::string_view cp932) { return ToWide("CP932", cp932); }
std::string WideToCp932(WideView wide) { return ToNarrow("CP932", wide); }

HResult NarrowToWideNoThrow(std::string_view narrow, WideString* out) noexcept {
  return HResultOf([&] {
    *out = NarrowToWide(narrow);
    return kSOk;
  });
}

HResult WideToNarrowNoThrow(WideView wide, std::string* out) noexcept {
  return HResultOf([&] {
    *out = WideToNarrow(wide);
    return kSOk;
  });
}

WideString Utf8ToWide(std::string_view utf8) {
  return FromUtf16Bytes(Convert("UTF-16LE", "UTF-8", utf8, kReplacementUtf16, 1));
}

std::string WideToUtf8(WideView wide) {
  return Convert("UTF-8", "UTF-16LE", ToUtf16Bytes(wide), "\xEF\xBF\xBD", 2);
}

}  // namespace gw
