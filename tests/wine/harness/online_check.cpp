#include "harness/online_check.h"

#include <cstdlib>
#include <cstring>

#include "harness/plugin_module.h"
#include "harness/plugin_threads.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "harness/xhr_double.h"
#include "host/base64.h"
#include "host/test_host.h"

namespace gwtest {

const wchar_t kProxyUser[] = L"gw-proxy";
const wchar_t kProxyPassword[] = L"\u79D8\u5BC6pass";  // "秘密pass"

namespace {

using Callback = int32_t(__stdcall*)();

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

uint16_t FeedServerPort(const char* variable) {
  const char* text = std::getenv(variable);
  Require(text && *text, std::string(variable) + " is not set: run the case through tests/wine/run.sh");
  long port = std::strtol(text, nullptr, 10);
  Require(port > 0 && port < 65536, std::string(variable) + " is not a port: " + text);
  return static_cast<uint16_t>(port);
}

std::string ProxyText(uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

std::wstring StoredPassword(const std::wstring& plain) {
  int n = WideCharToMultiByte(CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), &bytes[0], n, nullptr, nullptr);
  for (char& c : bytes) c = static_cast<char>(c ^ 0x5A);
  return Wide(gwhost::EncodeBase64(bytes));
}

HMODULE StartPluginOffline() {
  HMODULE plugin = RequirePlugin();
  PresetOffline();
  reinterpret_cast<Callback>(RequireExport(plugin, "BKC_OnStart"))();
  WaitForPluginThreads(plugin);
  return plugin;
}

HMODULE StartCheckOnSlowFeed(uint16_t* port) {
  const uint16_t slow = FeedServerPort(kSlowFeedPortVariable);
  if (port) *port = slow;
  HMODULE plugin = StartPluginOffline();
  InstallXhrDouble({XhrClass::kFull, XhrClass::kWines, XhrClass::kWines, XhrClass::kWines});
  PresetOnline(slow);
  TickMinute(plugin);
  Require(WaitForSingleObject(XhrSendBegun(), 10000) == WAIT_OBJECT_0, "the check never sent its first request");
  return plugin;
}

void PresetOnline(uint16_t port, bool withProxy) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteSetting(L"TUPause", DwordValue(0));
  WriteSetting(L"TUServer", TextValue(withProxy ? L"127.0.0.1" : L""));
  WriteSetting(L"TUPort", DwordValue(port));
  WriteSetting(L"TUUser", TextValue(kProxyUser));
  WriteSetting(L"TUPassword", TextValue(StoredPassword(kProxyPassword)));
  WriteSetting(L"TUInterval", TextValue(L"1"));
  WriteSetting(L"TUPercent", TextValue(L"90"));
  WriteSetting(L"TUMessages", TextValue(L"3"));
  WriteSetting(L"TUCount", DwordValue(0));
  WriteSetting(L"TULastDay", DwordValue(now.wDay));
  WriteSetting(L"TULastHour", DwordValue(kUnseenHour));
}

void TickMinute(HMODULE plugin) { reinterpret_cast<Callback>(RequireExport(plugin, "BKC_OnEveryMinute"))(); }

uint32_t ReadDwordSetting(const std::wstring& name) {
  RegValue value = ReadSetting(name);
  Require(value.exists && value.type == REG_DWORD && value.bytes.size() == 4,
          Utf8(name) + " is " + Describe(value) + ", not a DWORD");
  uint32_t n;
  std::memcpy(&n, value.bytes.data(), 4);
  return n;
}

std::vector<std::string> LeftoverTempFiles() {
  std::vector<std::string> left;
  for (const auto& path : HostSnapshot().tempFiles) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) left.push_back(path);
  }
  return left;
}

}  // namespace gwtest
