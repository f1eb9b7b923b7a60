// Placeholder substitution over arbitrary texts. Input: the first line is the
// placeholder, the second the replacement (also read as a number for
// ReplaceNumber), the rest the text. A plain placeholder must give exactly a
// literal replace-all; any placeholder must give ReplaceNumber ==
// ReplaceText with the decimal digits.
#include <climits>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "text/text_regex.h"

namespace {

using std::u16string;
using std::u16string_view;

u16string LiteralReplaceAll(u16string_view text, u16string_view from, u16string_view to) {
  u16string out;
  size_t done = 0;
  for (size_t at = text.find(from); at != u16string::npos; at = text.find(from, done)) {
    out.append(text.substr(done, at - done));
    out.append(to);
    done = at + from.size();
  }
  out.append(text.substr(done));
  return out;
}

int32_t NumberOf(u16string_view line) {
  std::string narrow;
  for (char16_t c : line) narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
  long long v = std::strtoll(narrow.c_str(), nullptr, 10);
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

u16string Decimal(int32_t value) {
  std::string s = std::to_string(value);
  return u16string(s.begin(), s.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  u16string text = gw::fuzz::BytesToText(data, size);
  const u16string placeholder = gw::fuzz::TakeLine(text);
  const u16string replacement = gw::fuzz::TakeLine(text);
  gw::TextRegex rx;
  const u16string result = rx.ReplaceText(text, placeholder, replacement);
  if (text.empty() && !result.empty()) gw::fuzz::Fail("empty text gave text");
  if (placeholder.empty() && result != text) gw::fuzz::Fail("empty placeholder changed the text");
  if (!placeholder.empty() && gw::fuzz::IsPlainPatternText(placeholder) &&
      result != LiteralReplaceAll(text, placeholder, replacement)) {
    gw::fuzz::Fail("plain placeholder not replaced literally");
  }
  const int32_t value = NumberOf(replacement);
  if (rx.ReplaceNumber(text, placeholder, value) != rx.ReplaceText(text, placeholder, Decimal(value))) {
    gw::fuzz::Fail("ReplaceNumber differs from ReplaceText with the digits");
  }
  return 0;
}
