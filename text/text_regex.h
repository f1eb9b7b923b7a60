// Field extraction from the usage feed and placeholder substitution in the
// notification mail, both by regular expression. The object carries only the
// length a replaced text may grow to; every call stands alone, and every
// failure is absorbed into an empty text or 0, because callers treat "no
// value" and "could not read it" alike. The
// one caller that must tell them apart, the mail's composition, uses the
// ...NoThrow forms, which report the failure instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/codepage.h"
#include "base/hresult.h"

namespace gw {

class TextRegex {
 public:
  // A replaced text grown past this many UTF-16 units (512 MiB) is treated
  // as memory running out, before the allocator has to refuse it inside the
  // mail client's 32-bit process.
  static constexpr size_t kMaxResultLength = size_t{1} << 28;

  TextRegex() = default;
  // Replacements that fail past `maxResultLength` instead, so that the
  // limit can be met without half a gigabyte of text.
  explicit TextRegex(size_t maxResultLength) : maxResultLength_(maxResultLength) {}

  // Capture 1 of the first match, in text order, of the field pattern
  // \"name\"\s*:\s*["]*([^",}]+)[",}]* over the whole feed; the name is
  // inserted as it is (not escaped). Empty when nothing matches.
  WideString GetFieldText(WideView feed, WideView name) const;

  // The leading number of GetFieldText: white space skipped, one optional
  // sign, decimal digits up to the first other character, clamped to the
  // 32-bit range; 0 when there is no digit.
  int32_t GetFieldNumber(WideView feed, WideView name) const;

  // Every leftmost, non-overlapping match of the placeholder pattern replaced
  // by `replacement`, inserted literally. Empty on failure.
  WideString ReplaceText(WideView text, WideView placeholder, WideView replacement) const;

  // ReplaceText with the decimal form of `value`.
  WideString ReplaceNumber(WideView text, WideView placeholder, int32_t value) const;

  // The same replacements with their failure reported: S_OK with the result
  // in `*result`, or the failure's code with `*result` untouched:
  // E_OUTOFMEMORY when memory, or the length a text may grow to, runs out;
  // E_INVALIDARG for a placeholder that is no valid pattern.
  HResult ReplaceTextNoThrow(WideView text, WideView placeholder, WideView replacement, WideString* result) const;
  HResult ReplaceNumberNoThrow(WideView text, WideView placeholder, int32_t value, WideString* result) const;

 private:
  size_t maxResultLength_ = kMaxResultLength;
};

}  // namespace gw
