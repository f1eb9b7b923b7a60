// Base64 with the standard alphabet: the mail's MIME parts and the bridge's
// Basic login both use it, so it lives beneath both.
#pragma once

#include <string>

namespace gw {

// Lines of 76 characters ended by CR LF, as MIME wants them (RFC 2045).
std::string EncodeBase64(const std::string& bytes);

// MIME's lenient reading (RFC 2045 §6.8): skips every character outside the
// alphabet (line breaks, blanks, stray bytes) and stops at the first "=".
// False when what remains cannot be Base64: a lone trailing character that
// makes no whole byte.
bool DecodeBase64(const std::string& text, std::string* bytes);

}  // namespace gw
