// The settings dialog of the real DLL against Wine's registry, driven as a
// user would drive it: what it shows for the stored settings, what OK
// stores, and that Cancel and the close box store nothing (but the day's
// count, which merely opening resets).
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "harness/dialog_driver.h"
#include "harness/online_check.h"
#include "harness/plugin_module.h"
#include "harness/plugin_threads.h"
#include "harness/settings_dialog.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

using Settings = std::map<std::wstring, RegValue>;

const wchar_t kPercents[] = L"80|81|82|83|84|85|86|87|88|89|90|91|92|93|94|95|96|97|98|99|100";
const wchar_t kUser[] = L"\u30d7\u30ed\u30ad\u30b7\u5229\u7528\u8005";  // "プロキシ利用者"
const wchar_t kPassword[] = L"\u79d8\u5bc6\u306epass";                   // "秘密のpass"

// A long text shows as its start and its size.
std::string Brief(const RegValue& value) {
  std::string text = Describe(value);
  return text.size() <= 100 ? text : text.substr(0, 60) + "... " + text.substr(text.rfind('('));
}

Settings AllSettings() {
  Settings all;
  for (const auto& name : SettingNames()) all[name] = ReadSetting(name);
  return all;
}

// Offline (behind a closed local port), and each list holding a text that
// only the prefix rule matches, or nothing does. The last day is none, so a
// check that gets past the pause gate starts the day over and sets
// TULastHour to 99, which shows that one ran.
void PresetStoredValues(bool paused = true) {
  PresetOffline();
  WriteSetting(L"TUPause", DwordValue(paused ? 1 : 0));
  WriteSetting(L"TULastDay", DwordValue(99));
  WriteSetting(L"TUInterval", TextValue(L"45"));  // no item begins with it
  WriteSetting(L"TUPercent", TextValue(L"10"));   // "100"
  WriteSetting(L"TUMessages", TextValue(L"9"));   // "99"
  WriteSetting(L"TUAddress", TextValue(L"a@example.jp, b@example.jp"));
  WriteSetting(L"TUUser", TextValue(kUser));
  WriteSetting(L"TUPassword", TextValue(StoredPassword(kPassword)));
  WriteSetting(L"TUCount", DwordValue(2));
  WriteSetting(L"TULastHour", DwordValue(12));
}

struct Shown {
  int interval, percent, messages;
  std::wstring address, server, port, user, password;
  UINT pause;
};

void RequireShown(HWND d, const Shown& e, const std::string& where) {
  auto same = [&](const char* what, const std::wstring& actual, const std::wstring& expected) {
    Require(actual == expected,
            where + ": " + what + " shows \"" + Utf8(actual) + "\", not \"" + Utf8(expected) + "\"");
  };
  same("the interval list", ComboItems(d, control::kInterval), L"15|30|60");
  same("the percent list", ComboItems(d, control::kPercent), kPercents);
  same("the mails list", ComboItems(d, control::kMessages), L"1|2|3|4|5|99");
  int selected[] = {ComboSelection(d, control::kInterval), ComboSelection(d, control::kPercent),
                    ComboSelection(d, control::kMessages)};
  Require(selected[0] == e.interval && selected[1] == e.percent && selected[2] == e.messages,
          where + ": the lists select " + std::to_string(selected[0]) + ", " + std::to_string(selected[1]) + ", " +
              std::to_string(selected[2]));
  same("the address", ControlText(d, control::kAddress), e.address);
  same("the server", ControlText(d, control::kServer), e.server);
  same("the port", ControlText(d, control::kPort), e.port);
  same("the user", ControlText(d, control::kUser), e.user);
  same("the password", ControlText(d, control::kPassword), e.password);
  Require(IsDlgButtonChecked(d, control::kPause) == e.pause, where + ": the pause box is wrong");
}

}  // namespace

void CaseDialogLoad(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  std::wstring port = std::to_wstring(ClosedLocalPort());
  struct Scenario {
    const char* label;
    bool preset;
    Shown shown;
  } scenarios[] = {
      {"stored values", true, {-1, 20, 5, L"a@example.jp, b@example.jp", L"127.0.0.1", L"", kUser, kPassword, 1}},
      // Nothing can be read: empty fields, no selection, port 0.
      {"empty settings key", false, {-1, -1, -1, L"", L"", L"0", L"", L"", 0}},
  };
  for (auto& s : scenarios) {
    ResetSettingsKey();
    if (s.preset) {
      PresetStoredValues();
      WriteSetting(L"TUPort", DwordValue(std::stoul(port)));
      s.shown.port = port;
    }
    Settings before = AllSettings();
    uint32_t countWhileOpen = 99;
    int32_t result = SetupThroughHost(plugin, [&](HWND d) {
      RequireShown(d, s.shown, s.label);
      countWhileOpen = ReadDwordSetting(L"TUCount");
      Click(d, control::kCancel);
    });
    std::string where = std::string(s.label) + ": ";
    Require(result == 1, where + "BKC_OnPlugInSetup returned " + std::to_string(result));
    Require(countWhileOpen == 0, where + "opening did not reset TUCount");
    before[L"TUCount"] = DwordValue(0);
    Settings after = AllSettings();
    for (const auto& [name, value] : after) {
      Require(SameValue(before[name], value), where + "Cancel changed " + Utf8(name) + " to " + Describe(value));
    }
    Require(after.size() == before.size(), where + "Cancel added settings");
  }
}

void CaseDialogOk(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  PresetStoredValues();
  std::wstring port = std::to_wstring(ClosedLocalPort());
  // 700 characters: a recipient list is never cut.
  std::wstring recipients;
  for (int i = 0; recipients.size() < 700; ++i) recipients += L"recipient" + std::to_wstring(i) + L"@example.jp, ";
  recipients.resize(700);
  const wchar_t newUser[] = L"\u65b0\u3057\u3044\u5229\u7528\u8005";  // "新しい利用者"
  const wchar_t newPassword[] = L"\u65b0\u3057\u3044pass";           // "新しいpass"

  int32_t result = SetupThroughHost(plugin, [&](HWND d) {
    SendDlgItemMessageW(d, control::kInterval, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageW(d, control::kPercent, CB_SETCURSEL, 5, 0);
    SendDlgItemMessageW(d, control::kMessages, CB_SETCURSEL, 0, 0);
    SetDlgItemTextW(d, control::kAddress, recipients.c_str());
    SetDlgItemTextW(d, control::kPort, port.c_str());
    SetDlgItemTextW(d, control::kUser, newUser);
    SetDlgItemTextW(d, control::kPassword, newPassword);
    Click(d, control::kOk);
  });
  Require(result == 1, "BKC_OnPlugInSetup returned " + std::to_string(result) + " after OK");
  WaitForPluginThreads(plugin);

  const std::pair<const wchar_t*, RegValue> expected[] = {
      {L"TUInterval", TextValue(L"15")},
      {L"TUPercent", TextValue(L"85")},
      {L"TUMessages", TextValue(L"1")},
      {L"TUAddress", TextValue(recipients)},
      {L"TUServer", TextValue(L"127.0.0.1")},
      {L"TUPort", DwordValue(std::stoul(port))},
      {L"TUUser", TextValue(newUser)},
      {L"TUPassword", TextValue(StoredPassword(newPassword))},
      {L"TUPause", DwordValue(1)},
      {L"TUCount", DwordValue(0)},
      {L"TULastHour", DwordValue(88)},
      {L"TULastDay", DwordValue(99)},  // the check after OK stopped at the pause gate
  };
  for (const auto& [name, value] : expected) {
    RegValue actual = ReadSetting(name);
    Require(SameValue(value, actual),
            "after OK " + Utf8(name) + " is " + Brief(actual) + ", expected " + Brief(value));
  }
  // The next opening shows what was stored, the password decoded; OK with
  // the box cleared lets the check after it run.
  SetupThroughHost(plugin, [&](HWND d) {
    RequireShown(d, {0, 5, 0, recipients, L"127.0.0.1", port, newUser, newPassword, BST_CHECKED}, "reopened");
    Click(d, control::kPause);
    Click(d, control::kOk);
  });
  WaitForPluginThreads(plugin);
  Require(ReadDwordSetting(L"TUPause") == 0, "the cleared pause box was not stored");
  Require(ReadDwordSetting(L"TULastHour") == 99, "OK started no usage check");
}

void CaseDialogCancel(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  struct Way {
    const char* label;
    void (*close)(HWND dialog);
  } ways[] = {
      {"Cancel", [](HWND d) { Click(d, control::kCancel); }},
      {"the close box", [](HWND d) { SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto& way : ways) {
    ResetSettingsKey();
    PresetStoredValues(false);  // a check started by mistake would record the day
    Settings before = AllSettings();
    SetupThroughMenuCommand(plugin, [&](HWND d) {
      SendDlgItemMessageW(d, control::kPercent, CB_SETCURSEL, 0, 0);
      SetDlgItemTextW(d, control::kAddress, L"someone.else@example.jp");
      SetDlgItemTextW(d, control::kPassword, L"changed");
      Click(d, control::kPause);
      way.close(d);
    });
    WaitForPluginThreads(plugin);
    std::string where = std::string("after ") + way.label + ": ";
    Require(FindThreadDialog(kDialogCaption) == nullptr, where + "the dialog is still open");
    before[L"TUCount"] = DwordValue(0);
    Settings after = AllSettings();
    for (const auto& [name, value] : after) {
      Require(SameValue(before[name], value), where + Utf8(name) + " changed to " + Describe(value));
    }
  }
}

}  // namespace gwtest
