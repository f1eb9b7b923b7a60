#include "bridge/reading/names.h"

#include <cstdint>
#include <string_view>

namespace gw::bridge {
namespace {

// U+FF61..FF9F in order: half-width punctuation, then katakana; each to its
// full-width form (NFKC's compatibility mapping).
constexpr char16_t kHalfWidthKana[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノ"
    u"ハヒフヘホマミムメモヤユヨラリルレロワン\u3099\u309A";

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 character at `*i` and moves past it. The reader hands
// this decoded CP932, so the text is valid; a stray byte passes as itself.
char32_t NextCodePoint(const std::string& s, size_t* i) {
  const auto lead = static_cast<unsigned char>(s[*i]);
  const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
  if (length == 1 || *i + length > s.size()) return static_cast<char32_t>(s[(*i)++] & 0xFF);
  char32_t c = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[*i + k]) & 0x3F);
  *i += length;
  return c;
}

// The kana a combining (semi-)voiced mark turns `base` into, or 0 where
// NFKC leaves the two apart.
char32_t Compose(char32_t base, char32_t mark) {
  static constexpr std::u32string_view kBases = U"カキクケコサシスセソタチツテトハヒフヘホウワヲ";
  static constexpr std::u32string_view kVoiced = U"ガギグゲゴザジズゼゾダヂヅデドバビブベボヴヷヺ";
  static constexpr std::u32string_view kSemiVoiced = U"パピプペポ";
  const size_t at = kBases.find(base);
  if (at == std::u32string_view::npos) return 0;
  if (mark == 0x3099) return kVoiced[at];
  const size_t ha = kBases.find(U'ハ');
  return at >= ha && at < ha + kSemiVoiced.size() ? kSemiVoiced[at - ha] : 0;
}

char32_t Fold(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFF01 + 0x21;
  if (c == 0x3000) return U' ';
  if (c >= 0xFF61 && c <= 0xFF9F) return kHalfWidthKana[c - 0xFF61];
  return c;
}

}  // namespace

std::string NormaliseName(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  char32_t pending = 0;  // a kana that a following mark may still compose with
  for (size_t i = 0; i < utf8.size();) {
    const char32_t c = Fold(NextCodePoint(utf8, &i));
    if ((c == 0x3099 || c == 0x309A) && pending != 0 && Compose(pending, c) != 0) {
      pending = Compose(pending, c);
      continue;
    }
    if (pending != 0) AppendUtf8(pending, &out);
    pending = 0;
    if (c == 0x33BE || c == 0x33BF) {
      out += c == 0x33BE ? "kW" : "MW";
    } else if (c >= U'ァ' && c <= U'ヺ') {
      pending = c;
    } else {
      AppendUtf8(c, &out);
    }
  }
  if (pending != 0) AppendUtf8(pending, &out);
  return out;
}

}  // namespace gw::bridge
