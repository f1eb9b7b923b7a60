#include "settings/registry.h"

#include <windows.h>

namespace gw {
namespace {

const wchar_t* W(WideView name, WideString& holder) {
  holder.assign(name);
  return reinterpret_cast<const wchar_t*>(holder.c_str());
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY key) : key_(key) {}
  ~Win32RegistryKey() override { RegCloseKey(key_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  std::optional<uint32_t> QuerySize(WideView name) override {
    WideString holder;
    DWORD size = 0;
    if (RegQueryValueExW(key_, W(name, holder), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    return size;
  }

  bool Read(WideView name, void* buffer, uint32_t capacity, uint32_t* size) override {
    WideString holder;
    DWORD got = capacity;
    LONG rc = RegQueryValueExW(key_, W(name, holder), nullptr, nullptr, static_cast<BYTE*>(buffer), &got);
    if (rc != ERROR_SUCCESS) return false;
    *size = got;
    return true;
  }

  HResult Write(WideView name, uint32_t type, const void* data, uint32_t size) override {
    WideString holder;
    return HResultFromWin32(
        static_cast<uint32_t>(RegSetValueExW(key_, W(name, holder), 0, type, static_cast<const BYTE*>(data), size)));
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> OpenRegistryKey(RegistryRoot, WideView path) {
  // The key path goes through the system code page, as the host itself
  // names the key with narrow text.
  std::string narrow = WideToNarrow(path);
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, narrow.c_str(), 0, KEY_READ | KEY_SET_VALUE, &key);
  if (rc == ERROR_ACCESS_DENIED) rc = RegOpenKeyExA(HKEY_CURRENT_USER, narrow.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32RegistryKey>(key);
}

RegistryKeyOpener MakeRegistryKeyOpener(RegistryRoot root, WideString path) {
  return [root, path = std::move(path)] { return OpenRegistryKey(root, path); };
}

}  // namespace gw
