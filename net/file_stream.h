// Whole-file streams: opened for reading, or created (truncating) for
// writing. On Windows these are shell file streams (IStream); natively,
// file descriptors. Failures come back as result codes in HRESULT form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/codepage.h"
#include "base/hresult.h"

namespace gw {

class FileStream {
 public:
  virtual ~FileStream() = default;

  // Reads up to `size` bytes; `*got` is 0 at the end of the file.
  virtual HResult Read(void* buffer, uint32_t size, uint32_t* got) = 0;
  virtual HResult Write(const void* data, uint32_t size) = 0;
  // The file's size in bytes; call it before reading.
  virtual HResult Size(uint64_t* size) = 0;
};

std::unique_ptr<FileStream> OpenFileForReading(const WideString& path, HResult* result);
// Creates the file, or truncates it when it exists.
std::unique_ptr<FileStream> CreateFileForWriting(const WideString& path, HResult* result);

// Deletes a file named in the system code page; failures are ignored, since
// a file that was never created is normal.
void DeleteFileNarrow(const std::string& path);

}  // namespace gw
