#include "host/mail_charset.h"

#include <cctype>

#include "base/iconv_pool_posix.h"

namespace gwhost {
namespace {

constexpr char16_t kGeta = u'\u3013';

// Half-width katakana U+FF61..U+FF9F as full-width characters.
const char16_t kWideKana[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";

bool TakesVoicedMark(char16_t wide) {
  if (wide == u'ッ') return false;  // inside the カ..ト range, but takes no mark
  return (wide >= u'カ' && wide <= u'ト') || (wide >= u'ハ' && wide <= u'ホ') || wide == u'ウ';
}

// The character one up in the table that carries the mark: ガ follows カ, and
// the ハ row runs ハ バ パ.
char16_t WithMark(char16_t wide, char16_t mark) {
  if (wide == u'ウ') return mark == u'ﾞ' ? u'ヴ' : 0;
  if (wide >= u'ハ' && wide <= u'ホ') return static_cast<char16_t>(wide + (mark == u'ﾞ' ? 1 : 2));
  return mark == u'ﾞ' ? static_cast<char16_t>(wide + 1) : 0;
}

char16_t JisVariant(char16_t c) {
  switch (c) {
    case u'\uFF5E': return u'\u301C';  // wave dash
    case u'\uFF0D': return u'\u2212';  // minus sign
    case u'\u2225': return u'\u2016';  // double vertical line
    case u'\uFFE0': return u'\u00A2';  // cent sign
    case u'\uFFE1': return u'\u00A3';  // pound sign
    case u'\uFFE2': return u'\u00AC';  // not sign
    case u'\u2014': return u'\u2015';  // horizontal bar
    default: return c;
  }
}

gw::WideString Normalise(gw::WideView line) {
  gw::WideString out;
  for (size_t i = 0; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c >= u'\uFF61' && c <= u'\uFF9F') {
      char16_t wide = kWideKana[c - u'\uFF61'];
      char16_t next = i + 1 < line.size() ? line[i + 1] : 0;
      if ((next == u'ﾞ' || next == u'ﾟ') && TakesVoicedMark(wide) && WithMark(wide, next) != 0) {
        wide = WithMark(wide, next);
        ++i;
      }
      out.push_back(wide);
    } else {
      out.push_back(JisVariant(c));
    }
  }
  return out;
}

size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

bool IsAscii(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string ToIso2022Jp(gw::WideView line) {
  const std::string utf8 = gw::WideToUtf8(Normalise(line));
  static const std::string geta = gw::WideToUtf8(gw::WideView(&kGeta, 1));
  // A converter from the pool: a mail converts many short pieces, and
  // ISO-2022-JP alone takes four modules to load.
  gw::PooledIconv cv("ISO-2022-JP", "UTF-8");
  std::string out;
  if (!cv.ok()) return out;
  std::string_view rest(utf8);
  while (!cv.Convert(&rest, &out)) {
    // The character that `rest` starts with has no place in ISO-2022-JP;
    // the same converter writes the geta mark, so the shift state stays right.
    size_t skip = Utf8Length(static_cast<unsigned char>(rest[0]));
    rest.remove_prefix(skip < rest.size() ? skip : rest.size());
    std::string_view mark(geta);
    cv.Convert(&mark, &out);
  }
  cv.Finish(&out);
  return out;
}

std::string CharsetToUtf8(std::string_view bytes, const std::string& charset) {
  std::string name;
  for (char c : charset) name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (name.empty() || name == "US-ASCII") name = "UTF-8";
  gw::PooledIconv cv("UTF-8", name.c_str());
  gw::PooledIconv fallback("UTF-8", "UTF-8");
  gw::PooledIconv& use = cv.ok() ? cv : fallback;
  std::string out;
  while (!use.Convert(&bytes, &out)) {
    out += "\xEF\xBF\xBD";
    bytes.remove_prefix(1);
    use.Reset();
  }
  use.Finish(&out);
  return out;
}

}  // namespace gwhost
