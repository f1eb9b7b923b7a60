#include "text/text_regex.h"

#include <string>

#include "base/decimal.h"
#include "text/regex_engine.h"

namespace gw {
namespace {

// The field pattern around the name, 30 characters in all.
constexpr char16_t kFieldHead[] = u"\\\"";
constexpr char16_t kFieldTail[] = u"\\\"\\s*:\\s*[\"]*([^\",}]+)[\",}]*";
// The pattern has always been formatted into a 100-character buffer whose
// limit leaves 98 characters; names of up to 68 characters fit whole, and a
// longer one gives the same cut pattern (usually malformed, so no match) as
// it always has.
constexpr size_t kMaxFieldPattern = 98;

WideString FieldPattern(WideView name) {
  WideString pattern(kFieldHead);
  pattern.append(name);
  pattern.append(kFieldTail);
  if (pattern.size() > kMaxFieldPattern) pattern.resize(kMaxFieldPattern);
  return pattern;
}

WideString Decimal(int32_t value) {
  std::string digits = std::to_string(value);
  return WideString(digits.begin(), digits.end());
}

// The text with every match replaced; false when it would outgrow `limit`.
bool ReplaceAll(const Regex& re, WideView text, WideView replacement, size_t limit, WideString* out) {
  WideString result;
  bool overflow = false;
  size_t copied = 0;
  re.ForEachMatch(text, [&](const RegexMatch& m) {
    // A placeholder names text to replace. An empty match replaces nothing:
    // inserting the value between every two characters would only multiply
    // the mail by the length of, say, an image's Base64 text.
    if (m.End() == m.Begin()) return true;
    size_t grow = (m.Begin() - copied) + replacement.size();
    if (result.size() + grow > limit) {
      overflow = true;
      return false;
    }
    result.append(text.substr(copied, m.Begin() - copied));
    result.append(replacement);  // literally: "$" has no meaning here
    copied = m.End();
    return true;
  });
  if (overflow || result.size() + (text.size() - copied) > limit) return false;
  result.append(text.substr(copied));
  *out = std::move(result);
  return true;
}

}  // namespace

WideString TextRegex::GetFieldText(WideView feed, WideView name) const {
  try {
    std::optional<Regex> re = Regex::Compile(FieldPattern(name));
    RegexMatch match;
    if (!re || !re->Search(feed, 0, match)) return {};
    return WideString(match.Group(feed, 1));
  } catch (...) {
    return {};
  }
}

int32_t TextRegex::GetFieldNumber(WideView feed, WideView name) const {
  return ParseDecimal(GetFieldText(feed, name));
}

HResult TextRegex::ReplaceTextNoThrow(WideView text, WideView placeholder, WideView replacement,
                                      WideString* result) const {
  return HResultOf([&] {
    if (text.empty()) {
      result->clear();
      return kSOk;
    }
    // An empty placeholder names nothing to replace, and as a pattern it would
    // match between every two characters; the text comes back unchanged.
    if (placeholder.empty()) {
      *result = WideString(text);
      return kSOk;
    }
    std::optional<Regex> re = Regex::Compile(placeholder);
    if (!re) return kEInvalidArg;
    return ReplaceAll(*re, text, replacement, maxResultLength_, result) ? kSOk : kEOutOfMemory;
  });
}

HResult TextRegex::ReplaceNumberNoThrow(WideView text, WideView placeholder, int32_t value,
                                        WideString* result) const {
  return HResultOf([&] { return ReplaceTextNoThrow(text, placeholder, Decimal(value), result); });
}

WideString TextRegex::ReplaceText(WideView text, WideView placeholder, WideView replacement) const {
  WideString result;
  if (Failed(ReplaceTextNoThrow(text, placeholder, replacement, &result))) return {};
  return result;
}

WideString TextRegex::ReplaceNumber(WideView text, WideView placeholder, int32_t value) const {
  WideString result;
  if (Failed(ReplaceNumberNoThrow(text, placeholder, value, &result))) return {};
  return result;
}

}  // namespace gw
