// Turns a fuzzer's bytes into UTF-16 text. Bytes are read as lenient UTF-8 so
// that seed files stay readable, yet every code unit can be reached: a lead
// byte with its continuation bytes gives one unit of up to 16 bits (lone
// surrogates included), and any byte that does not start such a sequence
// stands for itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace gw::fuzz {

inline std::u16string BytesToText(const uint8_t* data, size_t size) {
  std::u16string out;
  out.reserve(size);
  for (size_t i = 0; i < size;) {
    uint8_t b = data[i];
    size_t extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : 0;
    bool whole = extra > 0 && i + extra < size;
    for (size_t k = 1; whole && k <= extra; ++k) whole = (data[i + k] & 0xC0) == 0x80;
    if (!whole) {
      out.push_back(b);
      ++i;
      continue;
    }
    uint32_t unit = b & (extra == 1 ? 0x1F : 0x0F);
    for (size_t k = 1; k <= extra; ++k) unit = (unit << 6) | (data[i + k] & 0x3F);
    out.push_back(static_cast<char16_t>(unit));
    i += extra + 1;
  }
  return out;
}

// Cuts the text at its first line feed: the line goes to `line`, the rest
// stays in `text`. Without a line feed the line is empty.
inline std::u16string TakeLine(std::u16string& text) {
  size_t nl = text.find(u'\n');
  if (nl == std::u16string::npos) return {};
  std::u16string line = text.substr(0, nl);
  text.erase(0, nl + 1);
  return line;
}

// Characters the engine reads as themselves in a pattern.
inline bool IsPlainPatternText(std::u16string_view s) {
  for (char16_t c : s) {
    bool plain = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                 c == u'_' || c == u'-' || c == u' ' || c == u':' || c >= 0x80;
    if (!plain) return false;
  }
  return true;
}

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace gw::fuzz
