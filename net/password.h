// The stored form of the proxy password: its bytes in the system code page,
// each XOR PasswordKey, as Base64 text written by the host's converter.
// Stored settings rely on this form; it must never change.
#pragma once

#include <cstdint>

#include "base/codepage.h"

namespace gw {

constexpr unsigned char kPasswordKey = 0x5A;

constexpr int32_t kPasswordDecode = 0;
constexpr int32_t kPasswordEncode = 1;

// Mode 1 turns a plain password into the stored form; any other mode turns
// the stored form back. Never fails outward: on failure the result is empty
// or what had been completed.
WideString ConvertPassword(WideView text, int32_t mode) noexcept;

}  // namespace gw
