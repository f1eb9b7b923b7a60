#include "base/iconv_pool_posix.h"

#include <cerrno>
#include <mutex>
#include <utility>
#include <vector>

namespace gw {
namespace {

// Idle converters by "to\nfrom". Few are ever idle at once: one per code
// set pair per thread that converted at the same moment.
class IdlePool {
 public:
  ~IdlePool() {
    for (auto& entry : idle_) iconv_close(entry.second);
  }

  iconv_t Take(const std::string& key) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
      if (it->first != key) continue;
      iconv_t cd = it->second;
      idle_.erase(it);
      return cd;
    }
    return reinterpret_cast<iconv_t>(-1);
  }

  void Give(std::string key, iconv_t cd) {
    std::lock_guard<std::mutex> hold(mutex_);
    idle_.emplace_back(std::move(key), cd);
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, iconv_t>> idle_;
};

// Destroyed when the library unloads or the program ends, after every
// thread that converts has been joined.
IdlePool& Idle() {
  static IdlePool pool;
  return pool;
}

}  // namespace

PooledIconv::PooledIconv(const char* to, const char* from)
    : key_(std::string(to) + '\n' + from), cd_(Idle().Take(key_)) {
  if (!ok()) cd_ = iconv_open(to, from);
}

PooledIconv::~PooledIconv() {
  if (!ok()) return;
  Reset();
  try {
    Idle().Give(std::move(key_), cd_);
  } catch (...) {
    iconv_close(cd_);  // no memory to keep it: close it instead
  }
}

bool PooledIconv::Convert(std::string_view* in, std::string* out) {
  char* src = const_cast<char*>(in->data());
  size_t left = in->size();
  while (left > 0) {
    char buffer[4096];
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t rc = iconv(cd_, &src, &left, &dst, &room);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  in->remove_prefix(in->size() - left);
  return left == 0;
}

void PooledIconv::Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

void PooledIconv::Finish(std::string* out) {
  char buffer[16];
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(cd_, nullptr, nullptr, &dst, &room);
  out->append(buffer, static_cast<size_t>(dst - buffer));
}

}  // namespace gw
