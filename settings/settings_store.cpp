#include "settings/settings_store.h"

#include <cstring>
#include <vector>

namespace gw {

SettingsStore::SettingsStore(RegistryRoot root, WideString subkey)
    : opener_(MakeRegistryKeyOpener(root, std::move(subkey))) {}

SettingsStore::SettingsStore(KeyOpener opener) : opener_(std::move(opener)) {}

std::unique_ptr<RegistryKey> SettingsStore::Open() const {
  try {
    return opener_();
  } catch (...) {
    return nullptr;
  }
}

HResult SettingsStore::WriteString(RegistryKey& key, WideView name, WideView text) {
  // Little-endian code units, no terminator: the byte count is exactly
  // twice the number of characters.
  std::vector<unsigned char> bytes(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
  }
  return key.Write(name, kRegSz, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

HResult SettingsStore::SetString(WideView name, std::optional<WideView> text) const {
  if (!text) return kEInvalidArg;
  auto key = Open();
  if (!key) return kEFail;
  return WriteString(*key, name, *text);
}

std::optional<WideString> SettingsStore::GetString(WideView name) const {
  auto key = Open();
  if (!key) return std::nullopt;
  auto size = key->QuerySize(name);
  if (!size || *size == 0) return std::nullopt;
  std::vector<unsigned char> bytes(*size);
  uint32_t got = 0;
  if (!key->Read(name, bytes.data(), *size, &got)) return std::nullopt;
  WideString text;
  for (uint32_t i = 0; i + 1 < got; i += 2) {
    char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

HResult SettingsStore::EnsureString(WideView name, WideView defaultText) const {
  auto key = Open();
  if (!key) return kEFail;
  auto size = key->QuerySize(name);
  if (size && *size > 0) return kSOk;
  return WriteString(*key, name, defaultText);
}

HResult SettingsStore::WriteDword(RegistryKey& key, WideView name, uint32_t value) {
  unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return key.Write(name, kRegDword, bytes, 4);
}

HResult SettingsStore::SetDword(WideView name, uint32_t value) const {
  auto key = Open();
  if (!key) return kEFail;
  return WriteDword(*key, name, value);
}

uint32_t SettingsStore::GetDword(WideView name) const {
  auto key = Open();
  if (!key) return 0;
  unsigned char bytes[4] = {0, 0, 0, 0};
  uint32_t got = 0;
  if (!key->Read(name, bytes, 4, &got)) return 0;
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

HResult SettingsStore::EnsureDword(WideView name, uint32_t defaultValue) const {
  auto key = Open();
  if (!key) return kEFail;
  unsigned char bytes[4];
  uint32_t got = 0;
  if (key->Read(name, bytes, 4, &got)) return kSOk;
  return WriteDword(*key, name, defaultValue);
}

}  // namespace gw
