// Character-set work of the stand-in host's mail store: the plug-in hands
// messages over in the system code page, mail travels in ISO-2022-JP, and
// the outbox command shows stored mail in UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "base/codepage.h"

namespace gwhost {

// One line of text as ISO-2022-JP: ASCII and JIS X 0208, starting and ending
// in ASCII. What ISO-2022-JP cannot hold is made to fit the way Japanese mail
// programs do it: Windows' code-page forms of seven JIS symbols (～ － ∥ ￠
// ￡ ￢ —) become the JIS ones, half-width katakana become full-width ones
// (sound marks joined), and any other character becomes the geta mark 〓,
// the JIS sign for a character that cannot be shown.
std::string ToIso2022Jp(gw::WideView line);

// `bytes` in the MIME charset `charset`, as UTF-8. Unknown charsets are
// read as UTF-8; bytes that do not decode become U+FFFD.
std::string CharsetToUtf8(std::string_view bytes, const std::string& charset);

// True when every byte is below 0x80.
bool IsAscii(std::string_view bytes);

}  // namespace gwhost
