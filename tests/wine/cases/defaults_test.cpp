// BKC_OnStart against Wine's real registry: every missing setting gets its
// default with the right type and size, existing values are kept, a
// zero-length text and a number longer than four bytes count as missing, and
// the account address is taken whole from MailBox.ini.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "harness/plugin_module.h"
#include "harness/plugin_threads.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "harness/test_env.h"

namespace gwtest {
namespace {

using Values = std::vector<std::pair<std::wstring, RegValue>>;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

Values Defaults(const std::string& address) {
  return {{L"TUAddress", TextValue(Wide(address))}, {L"TUInterval", TextValue(L"30")},
          {L"TUPercent", TextValue(L"90")},         {L"TUMessages", TextValue(L"3")},
          {L"TUServer", TextValue(L"")},            {L"TUPort", DwordValue(80)},
          {L"TUUser", TextValue(L"")},              {L"TUPassword", TextValue(L"")},
          {L"TUPause", DwordValue(0)},              {L"TULastDay", DwordValue(99)},
          {L"TULastHour", DwordValue(99)},          {L"TUCount", DwordValue(0)}};
}

// Keeps a started plug-in off the network: paused, behind a closed proxy.
Values Offline() { return {{L"TUPause", DwordValue(1)}, {L"TUServer", TextValue(L"127.0.0.1")}}; }

Values Join(Values a, const Values& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The same twelve names, none of them holding its default.
Values OwnValues() {
  return Join(Offline(), {{L"TUAddress", TextValue(L"someone.else@example.com")},
                          {L"TUInterval", TextValue(L"60")},
                          {L"TUPercent", TextValue(L"85")},
                          {L"TUMessages", TextValue(L"99")},
                          {L"TUPort", DwordValue(ClosedLocalPort())},
                          {L"TUUser", TextValue(L"proxy user")},
                          {L"TUPassword", TextValue(L"c3RvcmVk")},
                          // Another type, but its data fits into four bytes.
                          {L"TULastDay", RawValue(REG_BINARY, std::string("\x0c\0\0\0", 4))},
                          {L"TULastHour", DwordValue(88)},
                          {L"TUCount", DwordValue(2)}});
}

// Values that look present but count as missing.
Values HollowValues() {
  return Join(Offline(), {{L"TUAddress", TextValue(L"")},
                          {L"TUInterval", TextValue(L"")},
                          {L"TUPort", RawValue(REG_QWORD, std::string("\x90\x1f\0\0\0\0\0\0", 8))},
                          {L"TUCount", RawValue(REG_BINARY, std::string(8, '\x01'))}});
}

struct Scenario {
  const char* label;
  std::string address;  // in MailBox.ini; empty: no MailAddress key at all
  Values preset;
  std::vector<std::wstring> kept;  // preset values that must survive
};

std::vector<Scenario> Scenarios() {
  // 100 characters: an address is never cut short.
  std::string longAddress = std::string(89, 'x') + "@example.jp";
  std::vector<std::wstring> all;
  for (const auto& v : OwnValues()) all.push_back(v.first);
  return {
      {"empty key", kAccountAddress, {}, {}},
      {"no MailAddress in MailBox.ini", "", {}, {}},
      {"existing values", kAccountAddress, OwnValues(), all},
      {"zero-length texts and 8-byte numbers", kAccountAddress, HollowValues(), {L"TUPause", L"TUServer"}},
      {"100-character address", longAddress, Offline(), {L"TUPause", L"TUServer"}},
  };
}

// The values after BKC_OnStart: the defaults, except what must be kept.
Values Expected(const Scenario& s) {
  Values expected = Defaults(s.address);
  for (auto& value : expected) {
    for (const auto& preset : s.preset) {
      for (const auto& name : s.kept) {
        if (preset.first == value.first && name == value.first) value.second = preset.second;
      }
    }
  }
  return expected;
}

void RunScenario(const TestEnv& env, HMODULE plugin, const Scenario& s) {
  ResetSettingsKey();
  env.WriteMailBoxIni(s.address.empty() ? nullptr : s.address.c_str());
  for (const auto& value : s.preset) WriteSetting(value.first, value.second);
  reinterpret_cast<int32_t(__stdcall*)()>(RequireExport(plugin, "BKC_OnStart"))();
  // The check that BKC_OnStart starts writes counters of its own.
  WaitForPluginThreads(plugin);

  std::string where = std::string(s.label) + ": ";
  Values expected = Expected(s);
  Require(SettingNames().size() == expected.size(),
          where + std::to_string(SettingNames().size()) + " values in the key, not " + std::to_string(expected.size()));
  for (const auto& value : expected) {
    RegValue actual = ReadSetting(value.first);
    Require(SameValue(value.second, actual),
            where + Utf8(value.first) + " is " + Describe(actual) + ", expected " + Describe(value.second));
  }
}

}  // namespace

void CaseDefaults(TestEnv& env) {
  HMODULE plugin = RequirePlugin();
  for (const auto& scenario : Scenarios()) RunScenario(env, plugin, scenario);
}

}  // namespace gwtest
