// The time at the head of every log line: Japan time to the millisecond, the
// same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gw::bridge {

// Writes "YYYY-MM-DDTHH:MM:SS.mmm+09:00 " (31 characters and a NUL) into
// `out`, which holds at least kStampSize bytes.
constexpr size_t kStampSize = 64;
void WriteStamp(int64_t unixMillis, char* out);

// The same for the current time.
void WriteStampNow(char* out);

}  // namespace gw::bridge
