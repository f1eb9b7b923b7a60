#include "host/mime_header.h"

#include <algorithm>
#include <cctype>

#include "host/base64.h"
#include "host/mail_charset.h"

namespace gwhost {
namespace {

constexpr size_t kPreferredLine = 78;
// "=?ISO-2022-JP?B?" and "?=" leave 57 of an encoded word's 75 characters,
// that is 14 Base64 groups or 42 bytes.
constexpr size_t kWordBytes = 42;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

bool EndsWord(char16_t c, bool structured) {
  if (IsSpace(c)) return true;
  return structured && std::u16string_view(u"<>,;\"()").find(c) != std::u16string_view::npos;
}

size_t CharLength(gw::WideView text, size_t at) {
  bool pair = text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size();
  return pair ? 2 : 1;
}

std::string EncodedWord(const std::string& bytes) {
  std::string b64 = EncodeBase64(bytes);
  while (!b64.empty() && (b64.back() == '\n' || b64.back() == '\r')) b64.pop_back();
  return "=?ISO-2022-JP?B?" + b64 + "?=";
}

// As many characters per word as fit; each word is a whole ISO-2022-JP text
// of its own, so a decoder can take the words one by one.
std::string EncodeRun(gw::WideView run) {
  std::string out;
  size_t start = 0;
  while (start < run.size()) {
    size_t end = start + CharLength(run, start);
    std::string bytes = ToIso2022Jp(run.substr(start, end - start));
    while (end < run.size()) {
      size_t next = end + CharLength(run, end);
      std::string longer = ToIso2022Jp(run.substr(start, next - start));
      if (longer.size() > kWordBytes) break;
      bytes = std::move(longer);
      end = next;
    }
    if (!out.empty()) out += ' ';
    out += EncodedWord(bytes);
    start = end;
  }
  return out;
}

bool HasNonAscii(gw::WideView text) {
  for (char16_t c : text) {
    if (c >= 0x80) return true;
  }
  return false;
}

// Bounds of the word that starts at `at`.
size_t WordEnd(gw::WideView value, size_t at, bool structured) {
  while (at < value.size() && !EndsWord(value[at], structured)) ++at;
  return at;
}

// The run of non-ASCII words starting at `start`, with the white space
// between them, so the space between two Japanese words is kept inside.
size_t RunEnd(gw::WideView value, size_t start, bool structured) {
  size_t end = WordEnd(value, start, structured);
  for (;;) {
    size_t next = end;
    while (next < value.size() && IsSpace(value[next])) ++next;
    if (next == end || next == value.size()) return end;
    size_t nextEnd = WordEnd(value, next, structured);
    if (nextEnd == next || !HasNonAscii(value.substr(next, nextEnd - next))) return end;
    end = nextEnd;
  }
}

struct EncodedWordParts {
  std::string charset;
  std::string bytes;
  size_t end = 0;
};

// The Q encoding: "_" is a space, "=XX" a byte in hexadecimal.
std::string DecodeQ(std::string_view text) {
  std::string bytes;
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      bytes += ' ';
    } else if (text[i] == '=' && i + 2 < text.size() && hex(text[i + 1]) && hex(text[i + 2])) {
      bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

// Parses "=?charset?B|Q?text?=" at `at`.
bool ParseEncodedWord(std::string_view s, size_t at, EncodedWordParts* word) {
  if (s.compare(at, 2, "=?") != 0) return false;
  size_t q1 = s.find('?', at + 2);
  if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?') return false;
  size_t close = s.find("?=", q1 + 3);
  if (close == std::string_view::npos) return false;
  std::string_view text = s.substr(q1 + 3, close - q1 - 3);
  if (text.find_first_of(" \t") != std::string_view::npos) return false;
  word->charset = std::string(s.substr(at + 2, q1 - at - 2));
  word->charset = word->charset.substr(0, word->charset.find('*'));  // RFC 2231 language
  char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(s[q1 + 1])));
  word->bytes.clear();
  if (encoding == 'B') {
    if (!DecodeBase64(std::string(text), &word->bytes)) return false;
  } else if (encoding == 'Q') {
    word->bytes = DecodeQ(text);
  } else {
    return false;
  }
  word->end = close + 2;
  return true;
}

// A quoted string in an address header ("山田 太郎" <a@b>): encoded words may
// not stand inside quotes, so a quoted name with non-ASCII text becomes an
// unquoted phrase of encoded words. Returns the length taken, 0 when `at`
// opens no complete quoted string.
size_t EncodeQuotedName(gw::WideView value, size_t at, std::string& out) {
  std::u16string content;
  size_t i = at + 1;
  for (; i < value.size() && value[i] != u'"'; ++i) {
    if (value[i] == u'\\' && i + 1 < value.size()) ++i;
    content.push_back(value[i]);
  }
  if (i >= value.size()) return 0;
  size_t taken = i + 1 - at;
  if (!HasNonAscii(content)) {
    out += gw::WideToUtf8(value.substr(at, taken));
    return taken;
  }
  if (!out.empty() && out.back() != ' ' && out.back() != '\t') out += ' ';
  out += EncodeRun(content);
  if (at + taken < value.size() && !IsSpace(value[at + taken])) out += ' ';
  return taken;
}

}  // namespace

std::string EncodeHeaderValue(gw::WideView value, bool structured) {
  std::string out;
  size_t at = 0;
  while (at < value.size()) {
    if (structured && value[at] == u'"') {
      if (size_t taken = EncodeQuotedName(value, at, out)) {
        at += taken;
        continue;
      }
    }
    size_t end = WordEnd(value, at, structured);
    if (end == at) {  // a delimiter
      out += gw::WideToUtf8(value.substr(at, 1));
      ++at;
      continue;
    }
    if (!HasNonAscii(value.substr(at, end - at))) {
      out += gw::WideToUtf8(value.substr(at, end - at));
      at = end;
      continue;
    }
    end = RunEnd(value, at, structured);
    if (structured && !out.empty() && out.back() != ' ' && out.back() != '\t') out += ' ';
    out += EncodeRun(value.substr(at, end - at));
    if (structured && end < value.size() && !IsSpace(value[end])) out += ' ';
    at = end;
  }
  return out;
}

std::vector<std::string> FoldField(const std::string& field) {
  std::vector<std::string> lines;
  size_t start = 0;
  // Never fold inside the field name and its colon.
  size_t colon = field.find(':');
  size_t from = colon == std::string::npos ? 0 : colon + 2;
  while (field.size() - start > kPreferredLine) {
    size_t cut = std::string::npos;
    for (size_t i = std::max(from, start + 1); i < field.size(); ++i) {
      if (field[i] != ' ' && field[i] != '\t') continue;
      if (i - start > kPreferredLine && cut != std::string::npos) break;
      cut = i;
    }
    if (cut == std::string::npos) break;  // one long word: left as it is
    lines.push_back(field.substr(start, cut - start));
    start = cut;
  }
  lines.push_back(field.substr(start));
  return lines;
}

std::string Unfold(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\r' && i + 1 < field.size() && field[i + 1] == '\n') continue;
    if (field[i] == '\n' && i + 1 < field.size() && (field[i + 1] == ' ' || field[i + 1] == '\t')) continue;
    out += field[i];
  }
  return out;
}

std::string DecodeHeaderValue(std::string_view value) {
  std::string out, pendingCharset, pendingBytes, gap;
  auto flush = [&] {
    if (!pendingBytes.empty()) out += CharsetToUtf8(pendingBytes, pendingCharset);
    pendingBytes.clear();
  };
  for (size_t at = 0; at < value.size();) {
    EncodedWordParts word;
    if (ParseEncodedWord(value, at, &word)) {
      // Words of one charset are joined before decoding: a writer may have
      // cut a character between two of them.
      if (word.charset != pendingCharset) flush();
      pendingCharset = word.charset;
      pendingBytes += word.bytes;
      gap.clear();
      at = word.end;
      continue;
    }
    if ((value[at] == ' ' || value[at] == '\t') && !pendingBytes.empty()) {
      gap += value[at++];  // dropped if another encoded word follows
      continue;
    }
    flush();
    out += gap;
    gap.clear();
    out += value[at++];
  }
  flush();
  return out + gap;
}

}  // namespace gwhost
