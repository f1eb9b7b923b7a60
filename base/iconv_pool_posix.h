// iconv converters kept for reuse. Opening one loads its code set's module
// from disk, and glibc unloads the module again when its last converter
// closes, so a converter opened and closed for every text costs a module
// load for every text (ISO-2022-JP alone is four shared objects). A
// converter is used by one thread at a time, since an iconv_t keeps state.
#pragma once

#include <iconv.h>

#include <string>

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
  iconv_t get() const { return cd_; }

 private:
  std::string key_;
  iconv_t cd_;
};

}  // namespace gw
