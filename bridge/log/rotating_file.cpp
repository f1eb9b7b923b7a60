#include "bridge/log/rotating_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace gw::bridge {

RotatingFile::RotatingFile(std::string path, uint64_t limitBytes) : path_(std::move(path)), limit_(limitBytes) {
  std::error_code ignored;
  const std::filesystem::path folder = std::filesystem::u8path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  Open();
  if (file_ == nullptr) {
    throw std::runtime_error("cannot open the log file " + path_ + ": " + std::strerror(errno));
  }
}

RotatingFile::~RotatingFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void RotatingFile::Open() {
  file_ = std::fopen(path_.c_str(), "ab");
  if (file_ == nullptr) return;
  std::fseek(file_, 0, SEEK_END);
  const long at = std::ftell(file_);
  size_ = at > 0 ? static_cast<uint64_t>(at) : 0;
}

// NAME.1 goes, NAME becomes NAME.1, a new NAME opens. Should the rename fail
// (another program holding the file open), the file is started afresh
// rather than left to grow.
void RotatingFile::Rotate() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  const std::filesystem::path current = std::filesystem::u8path(path_);
  const std::filesystem::path older = std::filesystem::u8path(path_ + ".1");
  std::error_code error;
  std::filesystem::remove(older, error);
  std::filesystem::rename(current, older, error);
  if (error) std::filesystem::resize_file(current, 0, error);
  Open();
}

void RotatingFile::Append(std::string_view lines) {
  if (size_ > 0 && size_ + lines.size() > limit_) Rotate();
  if (file_ == nullptr) Open();
  if (file_ == nullptr) return;
  size_ += std::fwrite(lines.data(), 1, lines.size(), file_);
}

void RotatingFile::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

}  // namespace gw::bridge
