// The settings dialog's test-mail button, pressed while every gate that
// stops a periodic check is closed (paused, the day's maximum reached, the
// same hour as the last reading, a threshold above the reading). The check
// runs all the same, and its outcome appears in a message box "Gridwren",
// which the test reads and closes. While a slow server holds the check up,
// the mail client's window still answers, and the dialog can be neither
// closed nor pressed again.
#include <windows.h>

#include <string>

#include "harness/online_check.h"
#include "harness/plugin_module.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "harness/test_env.h"
#include "harness/xhr_double.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

constexpr int kTestMailButton = 1041;
constexpr int kMessageBoxText = 0xFFFF;
constexpr uint32_t kCountOverMaximum = 5;  // with TUMessages "1"
constexpr UINT kWatchdogMs = 15000;

// What the driver saw of the dialog and the message box. Everything here
// happens on the test's thread, inside the dialog's modal loops.
struct Seen {
  HWND volatile dialog = nullptr;
  bool dialogOpenAtBox = false;
  int boxes = 0;
  std::wstring caption, text;
  std::string failure;
};
Seen g_seen;
HHOOK g_hook = nullptr;

std::wstring WindowText(HWND window, int item = 0) {
  wchar_t text[512] = {};
  if (item) {
    GetDlgItemTextW(window, item, text, 512);
  } else {
    GetWindowTextW(window, text, 512);
  }
  return text;
}

// The dialog has loaded its values, and loading starts the day's count
// over: the daily maximum is closed again only now, then the button pressed.
void OnSettingsDialog(HWND dialog) {
  g_seen.dialog = dialog;
  try {
    WriteSetting(L"TUCount", DwordValue(kCountOverMaximum));
  } catch (const std::exception& e) {
    g_seen.failure = e.what();
  }
  PostMessageW(GetDlgItem(dialog, kTestMailButton), BM_CLICK, 0, 0);
}

void OnMessageBox(HWND box) {
  ++g_seen.boxes;
  g_seen.dialogOpenAtBox = g_seen.dialog && IsWindowVisible(g_seen.dialog);
  g_seen.caption = WindowText(box);
  g_seen.text = WindowText(box, kMessageBoxText);
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  // Queued behind the click: the dialog ends once the test mail returns.
  if (g_seen.dialog) PostMessageW(g_seen.dialog, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK OnCbtEvent(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0) {
      if (GetDlgItem(window, kTestMailButton) == nullptr) {
        OnMessageBox(window);
      } else if (g_seen.dialog == nullptr) {
        OnSettingsDialog(window);
      }
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (lstrcmpW(cls, L"#32770") == 0) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// Whatever went wrong, the modal loops end and the case reports it.
void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD) {
  g_seen.failure = "the dialog or the message box was still open after " + std::to_string(kWatchdogMs / 1000) + " s";
  EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
}

// Opens the dialog as the host's plug-in setup entry does and lets the
// driver press the button and close what opens.
Seen PressTestMail(HMODULE plugin) {
  g_seen = Seen();
  g_hook = SetWindowsHookExW(WH_CBT, OnCbtEvent, nullptr, GetCurrentThreadId());
  Require(g_hook != nullptr, "cannot hook the dialogs");
  UINT_PTR watchdog = SetTimer(nullptr, 0, kWatchdogMs, OnWatchdog);
  reinterpret_cast<int32_t(__stdcall*)(HWND)>(reinterpret_cast<void*>(RequireExport(plugin, "BKC_OnPlugInSetup")))(
      HostMainWindow());
  KillTimer(nullptr, watchdog);
  UnhookWindowsHookEx(g_hook);
  return g_seen;
}

// Online settings with every gate closed except the count, which the
// dialog resets on opening.
void PresetGatesClosed(uint16_t port) {
  PresetOnline(port);
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteSetting(L"TUPause", DwordValue(1));
  WriteSetting(L"TUMessages", TextValue(L"1"));
  WriteSetting(L"TUPercent", TextValue(L"100"));  // the served reading is 91 %
  WriteSetting(L"TULastHour", DwordValue(now.wHour));
}

// What a second thread sees while the test mail's check waits for the
// slow server: the mail client's window must answer within a second, and
// the dialog must be disabled. It then tries to close the dialog and to
// press the button again, as a user's clicks would reach it.
struct Probe {
  bool reached = false;
  bool answered = false;
  DWORD answerMs = 0;
  bool dialogDisabled = false;
};
constexpr UINT kAnswerWithinMs = 1000;

DWORD WINAPI RunProbe(void* param) {
  auto* probe = static_cast<Probe*>(param);
  if (WaitForSingleObject(XhrSendBegun(), 10000) != WAIT_OBJECT_0) return 0;
  probe->reached = true;
  HWND dialog = g_seen.dialog;
  probe->dialogDisabled = dialog != nullptr && !IsWindowEnabled(dialog);
  DWORD start = GetTickCount();
  DWORD_PTR result = 0;
  probe->answered =
      SendMessageTimeoutW(HostMainWindow(), WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &result) != 0;
  probe->answerMs = GetTickCount() - start;
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kTestMailButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, kTestMailButton)));
  return 0;
}

void RequireResponsive(const Probe& probe, const Seen& seen, const std::string& where) {
  Require(probe.reached, where + "the check never sent its request");
  Require(probe.answered, where + "the mail client's window did not answer within " +
                              std::to_string(kAnswerWithinMs) + " ms while the test mail ran");
  Require(probe.dialogDisabled, where + "the dialog was enabled while the test mail ran");
  Require(seen.dialogOpenAtBox, where + "the dialog was closed while the test mail ran");
  Require(XhrSnapshot().objects.size() == 3, where + "the button worked twice: " +
                                                 std::to_string(XhrSnapshot().objects.size()) + " requests");
}

struct Scenario {
  const char* label;
  XhrClasses classes;
  const wchar_t* text;
  bool mails;
  bool slow;  // the server that holds the feed for 3 s, probed meanwhile
};

void RunScenario(const TestEnv& env, HMODULE plugin, const Scenario& s) {
  ResetHost(env.dataFolder, env.mailBox, env.tempFolder);
  InstallXhrDouble(s.classes);
  PresetGatesClosed(FeedServerPort(s.slow ? kSlowFeedPortVariable : kFeedPortVariable));
  Probe probe;
  HANDLE prober = s.slow ? CreateThread(nullptr, 0, RunProbe, &probe, 0, nullptr) : nullptr;
  Require(!s.slow || prober != nullptr, "cannot start the probe");
  Seen seen = PressTestMail(plugin);
  if (prober) {
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);
  }

  const std::string where = std::string(s.label) + ": ";
  Require(seen.failure.empty(), where + seen.failure);
  Require(seen.dialog != nullptr, where + "the settings dialog did not open");
  Require(seen.boxes == 1, where + std::to_string(seen.boxes) + " message boxes, not 1");
  Require(seen.caption == L"Gridwren", where + "message box caption \"" + Utf8(seen.caption) + "\"");
  Require(seen.text == s.text, where + "message \"" + Utf8(seen.text) + "\", expected \"" + Utf8(s.text) + "\"");
  if (s.slow) RequireResponsive(probe, seen, where);

  HostRecord host = HostSnapshot();
  Require(host.messages.size() == (s.mails ? 1u : 0u), where + std::to_string(host.messages.size()) + " mails");
  Require(host.commands.size() == host.messages.size(), where + "delivery requested without a mail, or the reverse");
  // The test mail is counted like any other; a failed download counts none.
  uint32_t count = kCountOverMaximum + (s.mails ? 1 : 0);
  Require(ReadDwordSetting(L"TUCount") == count,
          where + "TUCount is " + std::to_string(ReadDwordSetting(L"TUCount")) + ", not " + std::to_string(count));
  Require(ReadDwordSetting(L"TUPause") == 1, where + "the button's save lost the pause");
  auto left = LeftoverTempFiles();
  Require(left.empty(), where + "temporary file left behind: " + (left.empty() ? "" : left[0]));
}

}  // namespace

void CaseTestMailBox(TestEnv& env) {
  HMODULE plugin = StartPluginOffline();
  const XhrClass wine = XhrClass::kWines;
  const Scenario scenarios[] = {
      // Wine's classes lack IServerXMLHTTPRequest2.
      {"Wine's own classes", {wine, wine, wine, wine},
       L"電力情報の取得に失敗しました。エラーコード：0x80004002", false, false},
      // The password made its way through the dialog's load and save too,
      // or the feed server's proxy would have refused the request.
      {"ServerXMLHTTP test double", {XhrClass::kFull, wine, wine, wine},
       L"電力使用状況を知らせるテストメールを送信しました。", true, false},
      {"a slow server", {XhrClass::kFull, wine, wine, wine},
       L"電力使用状況を知らせるテストメールを送信しました。", true, true},
  };
  for (const auto& scenario : scenarios) RunScenario(env, plugin, scenario);
}

}  // namespace gwtest
