// Field extraction over arbitrary feed text and names. Input: the first line
// is the field name, the rest the feed (see fuzz_input.h for the decoding).
// Besides crashes it checks the results: for plain names against a hand-made
// reading of the field pattern, otherwise against what any result must be.
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/fuzz_input.h"
#include "text/text_regex.h"

namespace {

using std::u16string;
using std::u16string_view;

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsStop(char16_t c) { return c == u'"' || c == u',' || c == u'}'; }

// \"name\"\s*:\s*["]*([^",}]+)[",}]* worked out by hand: the blanks before
// the colon are taken whole; when no value character follows the quotes, a
// backtracking engine gives one blank back to the value, if there is one.
u16string ReferenceField(u16string_view feed, u16string_view name) {
  const u16string key = u"\"" + u16string(name) + u"\"";
  const size_t n = feed.size();
  for (size_t at = feed.find(key); at != u16string::npos; at = feed.find(key, at + 1)) {
    size_t i = at + key.size();
    while (i < n && IsSpace(feed[i])) ++i;
    if (i >= n || feed[i] != u':') continue;
    const size_t blanks = ++i;
    while (i < n && IsSpace(feed[i])) ++i;
    const size_t after_blanks = i;
    while (i < n && feed[i] == u'"') ++i;
    size_t start = i;
    if (i >= n || IsStop(feed[i])) {
      if (after_blanks == blanks) continue;
      start = after_blanks - 1;
    }
    size_t end = start;
    while (end < n && !IsStop(feed[end])) ++end;
    return u16string(feed.substr(start, end - start));
  }
  return {};
}

// The leading-number rule through the C library: strtoll skips the same six
// blanks, takes one sign and decimal digits, and saturates.
int32_t ReferenceNumber(u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
  long long v = std::strtoll(narrow.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void CheckAnyResult(u16string_view feed, u16string_view text) {
  for (char16_t c : text) {
    if (IsStop(c)) gw::fuzz::Fail("value holds a quote, comma or brace");
  }
  if (feed.find(text) == u16string::npos) gw::fuzz::Fail("value is not part of the feed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  u16string feed = gw::fuzz::BytesToText(data, size);
  const u16string name = gw::fuzz::TakeLine(feed);
  gw::TextRegex rx;
  const u16string text = rx.GetFieldText(feed, name);
  const int32_t number = rx.GetFieldNumber(feed, name);
  if (name.size() <= 68 && gw::fuzz::IsPlainPatternText(name)) {
    if (text != ReferenceField(feed, name)) gw::fuzz::Fail("value differs from the reference");
  } else if (name.find(u'(') == u16string::npos) {
    // With a group of its own in the name, capture 1 could be anything.
    CheckAnyResult(feed, text);
  }
  if (number != ReferenceNumber(text)) gw::fuzz::Fail("number differs from the leading-number rule");
  return 0;
}
