// A log file that does not grow without end: once it would pass its limit,
// it becomes NAME.1 (replacing the older one) and NAME starts afresh. For the
// Windows service, which has no console; portable, like the lines it holds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace gw::bridge {

class RotatingFile {
 public:
  // Opens `path` for appending (creating its folder); throws
  // std::runtime_error naming the file when it cannot.
  RotatingFile(std::string path, uint64_t limitBytes);
  ~RotatingFile();
  RotatingFile(const RotatingFile&) = delete;
  RotatingFile& operator=(const RotatingFile&) = delete;

  // Appends whole lines; rotates first when they would pass the limit. A
  // failed write is dropped: a log has nobody to tell.
  void Append(std::string_view lines);
  void Flush();

  const std::string& path() const { return path_; }

 private:
  void Open();
  void Rotate();

  std::string path_;
  uint64_t limit_;
  uint64_t size_ = 0;
  std::FILE* file_ = nullptr;
};

// The service log's limit: 1 MiB, then one older file is kept.
constexpr uint64_t kServiceLogLimitBytes = 1 << 20;

}  // namespace gw::bridge
