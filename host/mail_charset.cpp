#include "host/mail_charset.h"

#include <cctype>
#include <cerrno>

#include "base/iconv_pool_posix.h"

namespace gwhost {
namespace {

constexpr char16_t kGeta = u'\u3013';

// A converter from the pool: a mail converts many short pieces, and
// ISO-2022-JP alone takes four modules to load.
class Converter {
 public:
  Converter(const char* to, const char* from) : pooled_(to, from), cd_(pooled_.get()) {}
  bool ok() const { return pooled_.ok(); }

  // Converts `in` whole. Returns false at the first sequence that the target
  // cannot take; `*used` then tells how far the input was consumed.
  bool Feed(std::string_view in, std::string* out, size_t* used) {
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    while (left > 0) {
      char buffer[1024];
      char* dst = buffer;
      size_t room = sizeof buffer;
      size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out->append(buffer, static_cast<size_t>(dst - buffer));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    *used = in.size() - left;
    return left == 0;
  }

  // Forgets a half-read sequence after a failure.
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  // Back to the initial shift state (for ISO-2022-JP: to ASCII).
  void Finish(std::string* out) {
    char buffer[16];
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &room);
    out->append(buffer, static_cast<size_t>(dst - buffer));
  }

 private:
  gw::PooledIconv pooled_;
  iconv_t cd_;
};

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
  Converter cv("ISO-2022-JP", "UTF-8");
  std::string out;
  if (!cv.ok()) return out;
  std::string_view rest(utf8);
  size_t used = 0;
  while (!cv.Feed(rest, &out, &used)) {
    // The character at `used` has no place in ISO-2022-JP; the same
    // converter writes the geta mark, so the shift state stays right.
    size_t skip = Utf8Length(static_cast<unsigned char>(rest[used]));
    rest.remove_prefix(used + (skip < rest.size() - used ? skip : rest.size() - used));
    size_t ignored = 0;
    cv.Feed(geta, &out, &ignored);
  }
  cv.Finish(&out);
  return out;
}

std::string CharsetToUtf8(std::string_view bytes, const std::string& charset) {
  std::string name;
  for (char c : charset) name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (name.empty() || name == "US-ASCII") name = "UTF-8";
  Converter cv("UTF-8", name.c_str());
  Converter fallback("UTF-8", "UTF-8");
  Converter& use = cv.ok() ? cv : fallback;
  std::string out;
  size_t used = 0;
  while (!use.Feed(bytes, &out, &used)) {
    out += "\xEF\xBF\xBD";
    bytes.remove_prefix(used + 1);
    use.Reset();
  }
  use.Finish(&out);
  return out;
}

}  // namespace gwhost
