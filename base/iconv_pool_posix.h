// iconv converters kept for reuse. Opening one loads its code set's module
// from disk, and glibc unloads the module again when its last converter
// closes, so a converter opened and closed for every text costs a module
// load for every text (ISO-2022-JP alone is four shared objects). A
// converter is used by one thread at a time, since an iconv_t keeps state.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace gw {

class PooledIconv {
 public:
  // A converter from `from` to `to`, taken from the pool or opened; invalid
  // (see ok()) when iconv does not know one of the code sets.
  PooledIconv(const char* to, const char* from);
  // Resets the shift state and gives the converter back to the pool.
  ~PooledIconv();
  PooledIconv(const PooledIconv&) = delete;
  PooledIconv& operator=(const PooledIconv&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `*in` onto the end of `*out` until the input ends, or until a
  // sequence that the target cannot take (or one cut off at the end of the
  // input); `*in` is then left starting at that sequence. True when the
  // whole input was converted.
  bool Convert(std::string_view* in, std::string* out);
  // Forgets a half-read sequence, as after a failed conversion.
  void Reset();
  // Writes what brings the output back to its initial shift state (for
  // ISO-2022-JP: back to ASCII).
  void Finish(std::string* out);

 private:
  std::string key_;
  iconv_t cd_;
};

}  // namespace gw
