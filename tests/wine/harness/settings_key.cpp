#include "harness/settings_key.h"

#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "harness/test_case.h"

namespace gwtest {
namespace {

class OpenKey {
 public:
  OpenKey() {
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ | KEY_SET_VALUE, &key_);
    Require(rc == ERROR_SUCCESS, "cannot open the settings key: error " + std::to_string(rc));
  }
  ~OpenKey() { RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::wstring TextOf(const std::string& bytes) {
  std::wstring text(bytes.size() / 2, L'\0');
  if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
  return text;
}

// Control characters (a stray terminator above all) shown as \xNN, so
// that they cannot cut the report line.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

}  // namespace

RegValue TextValue(const std::wstring& text) {
  return {true, REG_SZ, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)};
}

RegValue DwordValue(uint32_t value) { return {true, REG_DWORD, std::string(reinterpret_cast<char*>(&value), 4)}; }

RegValue RawValue(DWORD type, const std::string& bytes) { return {true, type, bytes}; }

void ResetSettingsKey() {
  LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  Require(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND, "cannot delete the settings key");
  HKEY key = nullptr;
  rc = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  Require(rc == ERROR_SUCCESS, "cannot create the settings key: error " + std::to_string(rc));
  RegCloseKey(key);
}

std::vector<std::wstring> SettingNames() {
  OpenKey key;
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

RegValue ReadSetting(const std::wstring& name) {
  OpenKey key;
  RegValue value;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return {};
  value.bytes.resize(size);
  LONG rc = RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type,
                             reinterpret_cast<BYTE*>(&value.bytes[0]), &size);
  Require(rc == ERROR_SUCCESS, "cannot read " + Utf8(name));
  value.bytes.resize(size);
  value.exists = true;
  return value;
}

void WriteSetting(const std::wstring& name, const RegValue& value) {
  OpenKey key;
  LONG rc = RegSetValueExW(key.get(), name.c_str(), 0, value.type,
                           reinterpret_cast<const BYTE*>(value.bytes.data()), static_cast<DWORD>(value.bytes.size()));
  Require(rc == ERROR_SUCCESS, "cannot write " + Utf8(name));
}

bool SameValue(const RegValue& expected, const RegValue& actual) {
  if (expected.exists != actual.exists || expected.type != actual.type) return false;
  if (expected.type != REG_SZ || expected.bytes.empty()) return expected.bytes == actual.bytes;
  return actual.bytes == expected.bytes || actual.bytes == expected.bytes + std::string(2, '\0');
}

std::string Describe(const RegValue& value) {
  if (!value.exists) return "absent";
  std::string size = " (" + std::to_string(value.bytes.size()) + " bytes)";
  if (value.type == REG_SZ) return "REG_SZ \"" + Printable(Utf8(TextOf(value.bytes))) + "\"" + size;
  if (value.type == REG_DWORD && value.bytes.size() == 4) {
    uint32_t n;
    memcpy(&n, value.bytes.data(), 4);
    return "REG_DWORD " + std::to_string(n);
  }
  std::string hex;
  for (unsigned char c : value.bytes) {
    char two[4];
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  return "type " + std::to_string(value.type) + " [" + hex + "]" + size;
}

void PresetOffline() {
  WriteSetting(L"TUPause", DwordValue(1));
  WriteSetting(L"TUServer", TextValue(L"127.0.0.1"));
  WriteSetting(L"TUPort", DwordValue(ClosedLocalPort()));
}

uint16_t ClosedLocalPort() {
  // A port the system just handed out and that nobody listens on once the
  // socket is closed.
  WSADATA wsa;
  Require(WSAStartup(MAKEWORD(2, 2), &wsa) == 0, "WSAStartup failed");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof addr;
  bool ok = s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) == 0;
  if (s != INVALID_SOCKET) closesocket(s);
  WSACleanup();
  Require(ok, "cannot find a free local port");
  return ntohs(addr.sin_port);
}

}  // namespace gwtest
