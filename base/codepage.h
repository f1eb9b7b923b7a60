// Text inside the plug-in is UTF-16; text exchanged with the host, file names
// and file contents are narrow, in the system ANSI code page. Every conversion
// between the two goes through these two functions.
#pragma once

#include <string>
#include <string_view>

#include "base/hresult.h"

namespace gw {

using WideString = std::u16string;
using WideView = std::u16string_view;

// Bytes that the code page cannot map become U+FFFD; a zero byte is kept.
WideString NarrowToWide(std::string_view narrow);

// Characters that the code page lacks become its default character "?".
std::string WideToNarrow(WideView wide);

// The same two conversions with a failure reported rather than absorbed into
// empty text: S_OK with the text in `*out`, or the failure's own code
// (E_OUTOFMEMORY when memory runs out) with `*out` untouched. For the mail,
// where an empty text must never pass for the real one.
HResult NarrowToWideNoThrow(std::string_view narrow, WideString* out) noexcept;
HResult WideToNarrowNoThrow(WideView wide, std::string* out) noexcept;

// For texts written in the source as UTF-8 (host messages, tests).
WideString Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(WideView wide);

// Shift_JIS as Windows extends it (CP932), whatever the system's code page:
// the grid operators publish their files in it. Same replacement rules as
// NarrowToWide and WideToNarrow.
WideString Cp932ToWide(std::string_view cp932);
std::string WideToCp932(WideView wide);

}  // namespace gw
