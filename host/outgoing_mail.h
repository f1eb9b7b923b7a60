// What the stand-in host does to a message before it keeps it for sending,
// as a mail client does: the text, handed over in the system code page,
// becomes a 7-bit ISO-2022-JP message, and the Date and Message-ID headers
// that a sent mail needs are added.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace gwhost {

// RFC 5322 date of `when` in local time with its zone, such as
// "Wed, 01 Jun 2011 09:00:00 +0900".
std::string DateValue(std::time_t when);

// "<...@domain>", different on every call.
std::string NewMessageId(const std::string& domain);

// The message for the outbox. Header text that is not ASCII becomes encoded
// words, and fields are folded at 78 characters where they need rework;
// body lines become ISO-2022-JP (every part of the plug-in's mail declares
// it), and a line longer than 998 bytes is broken at a space where it has
// one. Date (from `now`) and Message-ID are added unless present. Lines end
// with LF alone, as Maildir files do; a bare CR also ends a line.
std::string PrepareForOutbox(std::string_view message, std::time_t now);

}  // namespace gwhost
