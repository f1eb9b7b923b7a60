// Base64 with the standard alphabet: the mail's MIME parts and the bridge's
// Basic login both use it, so it lives beneath both.
#pragma once

#include <string>
#include <string_view>

namespace gw {

// Lines of 76 characters ended by CR LF, as MIME wants them (RFC 2045).
std::string EncodeBase64(const std::string& bytes);

// MIME's lenient reading (RFC 2045 §6.8): skips every character outside the
// alphabet (line breaks, blanks, stray bytes) and stops at the first "=".
// False when what remains cannot be Base64: a lone trailing character that
// makes no whole byte.
bool DecodeBase64(const std::string& text, std::string* bytes);

// The strict reading of RFC 4648 §4, for credentials (RFC 7617): only the
// alphabet, in groups of four, "=" only as the padding of the last group, and
// the padding's unused bits zero, so that each byte string has exactly one
// accepted text. False for anything else; `bytes` then holds nothing.
bool DecodeBase64Strict(std::string_view text, std::string* bytes);

}  // namespace gw
