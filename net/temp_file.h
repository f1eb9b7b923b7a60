// A file with a fresh name from the host, deleted from disk when its object
// is destroyed, whether or not anything ever created it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/codepage.h"

namespace gw {

class TempFile {
 public:
  // Asks the host for a fresh path with the extension ("AAA" when none is
  // given). Creating the object does not create the file.
  explicit TempFile(WideView extension = u"AAA");
  ~TempFile();
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const WideString& Path() const { return path_; }
  // The path in the system code page, for the host and for deletion.
  const std::string& NarrowPath() const { return narrowPath_; }

  // The file's bytes, owned by this object until the next read or its end.
  // A file that cannot be opened leaves the previous content (none at
  // first) and the length unchanged.
  const std::vector<unsigned char>& ReadBytes();
  bool HasBytes() const { return hasBytes_; }

  // The whole file as text in the system code page, converted at once so
  // that no character is split; zero bytes are skipped. A file that cannot
  // be opened gives the previous text (empty at first).
  WideString ReadText();

  // Bytes after ReadBytes, characters after ReadText; 0 at first.
  uint32_t Length() const { return length_; }

 private:
  void Delete() noexcept;

  WideString path_;
  std::string narrowPath_;
  WideString text_;
  std::vector<unsigned char> bytes_;
  bool hasBytes_ = false;
  uint32_t length_ = 0;
};

}  // namespace gw
