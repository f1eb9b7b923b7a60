// The names in an operator's file (block and column headers) as the reader
// matches them. Operators and years write the same name with full-width or
// half-width forms (`予測値（万kW)` with a full-width parenthesis in one
// year's file, `(万kW)` in another's), so names are folded the way Unicode's
// NFKC folds them before any comparison.
#pragma once

#include <string>

namespace gw::bridge {

// The part of NFKC that such names can hold, on UTF-8 text:
//   - full-width ASCII (U+FF01..FF5E: letters, digits, brackets, %) to ASCII,
//     and the ideographic space U+3000 to a space;
//   - half-width katakana and punctuation (U+FF61..FF9F) to their full-width
//     forms, a following half-width (semi-)voiced mark composed with its
//     kana (ｶﾞ to ガ, ﾊﾟ to パ) as NFKC composes it;
//   - the unit squares ㎾ and ㎿ (U+33BE, U+33BF) to kW and MW.
// Everything else, including every other kanji and kana, passes unchanged.
// Not a full NFKC: no other compatibility forms, no canonical reordering.
std::string NormaliseName(const std::string& utf8);

// Parts of the names that the reader's parts look for, in UTF-8 as the
// decoded text is. Several parts match the same names, so each is written
// once, here.
constexpr char kPeakSupply[] = "ピーク時供給力";
constexpr char kForecastPeak[] = "予想最大電力";
constexpr char kSupply[] = "供給力";
constexpr char kPercent[] = "使用率";
constexpr char kReserve[] = "予備率";

}  // namespace gw::bridge
