#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/file_stream.h"

namespace gw {
namespace {

// errno in the Win32 error form a Windows user would see for the same cause.
HResult FromErrno(int error) {
  switch (error) {
    case ENOENT: return HResultFromWin32(2);    // file not found
    case ENOTDIR: return HResultFromWin32(3);   // path not found
    case EACCES:
    case EPERM:
    case EROFS: return HResultFromWin32(5);     // access denied
    case ENOSPC: return HResultFromWin32(112);  // disk full
    case EISDIR: return HResultFromWin32(5);
    default: return kEFail;
  }
}

class FdStream final : public FileStream {
 public:
  explicit FdStream(int fd) : fd_(fd) {}
  ~FdStream() override { close(fd_); }
  FdStream(const FdStream&) = delete;
  FdStream& operator=(const FdStream&) = delete;

  HResult Read(void* buffer, uint32_t size, uint32_t* got) override {
    ssize_t n;
    do n = read(fd_, buffer, size);
    while (n < 0 && errno == EINTR);
    *got = n > 0 ? static_cast<uint32_t>(n) : 0;
    return n < 0 ? FromErrno(errno) : kSOk;
  }

  HResult Write(const void* data, uint32_t size) override {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return FromErrno(n < 0 ? errno : ENOSPC);
      p += n;
      size -= static_cast<uint32_t>(n);
    }
    return kSOk;
  }

  HResult Size(uint64_t* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return FromErrno(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return kSOk;
  }

 private:
  int fd_;
};

enum class Truncate { kNo, kYes };

std::unique_ptr<FileStream> Open(const WideString& path, int flags, Truncate truncate, HResult* result) {
  int fd = open(WideToNarrow(path).c_str(), flags | O_CLOEXEC, 0600);
  if (fd < 0) {
    *result = FromErrno(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    *result = FromErrno(EISDIR);
    return nullptr;
  }
  // Only a file that holds data is cut back. The host hands out temporary
  // files already created and empty, and truncating even an empty file
  // makes ext4 flush the new content to disk when it is closed, a write
  // wasted on a file that is deleted moments later.
  if (truncate == Truncate::kYes && st.st_size != 0 && ftruncate(fd, 0) != 0) {
    *result = FromErrno(errno);
    close(fd);
    return nullptr;
  }
  *result = kSOk;
  return std::make_unique<FdStream>(fd);
}

}  // namespace

std::unique_ptr<FileStream> OpenFileForReading(const WideString& path, HResult* result) {
  return Open(path, O_RDONLY, Truncate::kNo, result);
}

std::unique_ptr<FileStream> CreateFileForWriting(const WideString& path, HResult* result) {
  return Open(path, O_WRONLY | O_CREAT, Truncate::kYes, result);
}

void DeleteFileNarrow(const std::string& path) { unlink(path.c_str()); }

}  // namespace gw
