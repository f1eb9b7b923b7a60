// Header fields of stored mail: non-ASCII text as RFC 2047 encoded words
// (ISO-2022-JP, B), folding of long fields, and decoding for display.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/codepage.h"

namespace gwhost {

// The value of a header field with every run of words that holds non-ASCII
// text turned into encoded words of at most 75 characters; ASCII words stay
// as they are. In address fields (`structured`) the angle brackets, commas,
// semicolons, quotes and parentheses end a word, so an address next to a
// Japanese name stays readable, and the encoded words are set apart from
// them by a space.
std::string EncodeHeaderValue(gw::WideView value, bool structured);

// "Name: value" on one line, folded at white space into lines of at most 78
// characters where the text allows; no line end is included.
std::vector<std::string> FoldField(const std::string& field);

// Joins the lines of a folded field: each line break before white space goes,
// the white space stays.
std::string Unfold(std::string_view field);

// An unfolded header value with its encoded words decoded, as UTF-8. White
// space between two encoded words is dropped; malformed words and other
// text are kept as they are.
std::string DecodeHeaderValue(std::string_view value);

}  // namespace gwhost
