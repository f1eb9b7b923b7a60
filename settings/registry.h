// The registry seam: one opened key of the per-user settings tree. On Windows
// this is the real registry; natively it is a file of typed values that keeps
// the stored bytes exactly as the registry would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/codepage.h"
#include "base/hresult.h"

namespace gw {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

enum class RegistryRoot { kCurrentUser };

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // The size in bytes of a value's data; nothing when it is absent or cannot
  // be queried.
  virtual std::optional<uint32_t> QuerySize(WideView name) = 0;

  // Reads a value's data into `buffer` of `capacity` bytes. Fails when the
  // value is absent or its data is longer than `capacity`, as the registry
  // does; on success `*size` is the stored size.
  virtual bool Read(WideView name, void* buffer, uint32_t capacity, uint32_t* size) = 0;

  // S_OK, or the store's own reason in HRESULT form: 0x80070005 (access
  // denied) for a key or file that may be read but not written.
  virtual HResult Write(WideView name, uint32_t type, const void* data, uint32_t size) = 0;
};

// Opens an existing key with read and set-value rights, or with read rights
// alone where changing it is denied, so that its values can still be read
// while every write reports the denial. The key is never created: the host
// owns it. Returns null when it cannot be opened.
std::unique_ptr<RegistryKey> OpenRegistryKey(RegistryRoot root, WideView path);

// Opens the key at `path` anew on every call, for an owner that opens it for
// every single value, as the settings store does. Each call still finds out
// whether the key exists at that moment. On Windows each call is one
// RegOpenKeyEx; natively the opener keeps one connection to the registry
// file from its first call to its end, so that a value costs one statement
// instead of opening the file, reading its schema and closing it again. It
// may be called from several threads at once.
using RegistryKeyOpener = std::function<std::unique_ptr<RegistryKey>()>;
RegistryKeyOpener MakeRegistryKeyOpener(RegistryRoot root, WideString path);

}  // namespace gw
