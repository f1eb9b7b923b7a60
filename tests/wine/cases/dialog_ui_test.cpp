// The settings dialog's own behaviour beyond loading and saving: the test
// mail button, the two links, and how the dialog looks on the screen.
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness/dialog_driver.h"
#include "harness/online_check.h"
#include "harness/plugin_module.h"
#include "harness/settings_dialog.h"
#include "harness/settings_key.h"
#include "harness/test_case.h"
#include "host/test_host.h"
#include "monitor/endpoints.h"

namespace gwtest {
namespace {

std::wstring Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace

namespace {

// What the dialog looks like at each call the test mail's check makes into
// the host. The check runs on a worker thread; at each call it asks the
// dialog's thread, through a window of that thread, to take the sample
// there, which that thread does only while it keeps dispatching messages.
struct Sample {
  HCURSOR cursor;
  bool buttonEnabled;
  bool dialogEnabled;
};
HWND g_testButton = nullptr;
HWND g_sampler = nullptr;
Sample g_lastSample = {};
int g_samples = 0;
int g_unanswered = 0;

LRESULT CALLBACK TakeSample(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_APP) return DefWindowProcW(window, message, wParam, lParam);
  g_lastSample = {GetCursor(), IsWindowEnabled(g_testButton) != FALSE,
                  IsWindowEnabled(GetParent(g_testButton)) != FALSE};
  ++g_samples;
  return 1;
}

// A message-only window of the calling thread that takes the samples.
HWND MakeSampler() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = TakeSample;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"GwTestDialogSampler";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// The host call hook. Calls on the dialog's own thread (saving the fields
// converts the password through the host) are not the check's.
void SampleDialog() {
  if (g_testButton == nullptr || GetWindowThreadProcessId(g_testButton, nullptr) == GetCurrentThreadId()) return;
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(g_sampler, WM_APP, 0, 0, SMTO_NORMAL, 2000, &answer)) ++g_unanswered;
}

}  // namespace

// The test mail stores the entries, runs the check on a worker thread while
// the dialog's thread keeps answering, with the wait cursor and the dialog
// and its button disabled, shows the outcome, and leaves the dialog open
// and enabled again. Offline, the check fails, which the box reports with
// its code.
void CaseDialogTestMail(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  g_sampler = MakeSampler();
  Require(g_sampler != nullptr, "cannot create the sampling window");
  PresetOffline();
  // Today already seen, so that the check leaves the hour as it is.
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteSetting(L"TULastDay", DwordValue(now.wDay));
  WriteSetting(L"TULastHour", DwordValue(12));
  std::wstring text;
  Sample whileChecking = {};
  bool enabledAfter = false, openAfter = false;
  HCURSOR cursorBefore = nullptr, cursorAfter = nullptr;
  SetupThroughHost(plugin, [&](HWND d) {
    SetDlgItemTextW(d, control::kUser, L"tester");
    cursorBefore = GetCursor();
    g_testButton = GetDlgItem(d, control::kTestMail);
    SetHostCallHook(SampleDialog);
    DriveModal(kMessageBoxCaption, [&] { Click(d, control::kTestMail); }, [&](HWND box) {
      SetHostCallHook(nullptr);
      whileChecking = g_lastSample;
      text = ControlText(box, 0xFFFF);
      Require(SameValue(TextValue(L"tester"), ReadSetting(L"TUUser")), "the entries were not stored before the check");
      Click(box, IDOK);
    });
    SetHostCallHook(nullptr);
    enabledAfter = IsWindowEnabled(g_testButton) != FALSE;
    openAfter = IsWindowVisible(d) != FALSE;
    cursorAfter = GetCursor();
    Click(d, control::kCancel);
  });
  const std::wstring failed = L"電力情報の取得に失敗しました。エラーコード：0x";
  Require(text.compare(0, failed.size(), failed) == 0 && text.size() == failed.size() + 8,
          "the message box says \"" + Utf8(text) + "\"");
  Require(g_unanswered == 0, "the dialog's thread did not answer while the check ran");
  Require(g_samples > 0, "the check made no call into the host from a thread of its own");
  Require(!whileChecking.buttonEnabled, "the test button was enabled while the check ran");
  Require(!whileChecking.dialogEnabled, "the dialog was enabled while the check ran");
  Require(whileChecking.cursor == LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)), "no wait cursor while the check ran");
  Require(enabledAfter, "the test button stayed disabled");
  Require(cursorAfter == cursorBefore, "the cursor was not restored");
  Require(openAfter, "the dialog closed after the test mail");
  Require(ReadDwordSetting(L"TULastHour") == 12, "the test mail changed TULastHour");
  Require(SameValue(TextValue(L"tester"), ReadSetting(L"TUUser")), "Cancel undid what the test mail stored");
}

namespace {

// A URL scheme whose "open" command appends the address to a file, so
// that the shell's real open verb can be watched without a browser.
constexpr wchar_t kScheme[] = L"gwtest-link";

void RegisterScheme(const std::string& logFile) {
  HKEY key = nullptr;
  std::wstring command = L"cmd.exe /c echo %1>>\"" + std::wstring(logFile.begin(), logFile.end()) + L"\"";
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kScheme) + L"\\shell\\open\\command").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  Require(rc == ERROR_SUCCESS, "cannot register the test URL scheme: error " + std::to_string(rc));
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, kScheme, 0, KEY_SET_VALUE, &key);
  Require(rc == ERROR_SUCCESS, "cannot open the test URL scheme");
  RegSetValueExW(key, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
  RegCloseKey(key);
}

std::string ReadLog(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string clean;
  for (char c : text) {
    if (c != '\r' && c != ' ') clean += c;
  }
  return clean;
}

// What the link control itself took from its markup.
std::wstring LinkUrl(HWND dialog, int id) {
  LITEM item = {};
  item.mask = LIF_ITEMINDEX | LIF_URL;
  item.iLink = 0;
  Require(SendDlgItemMessageW(dialog, id, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)) != FALSE,
          "link control " + std::to_string(id) + " has no link");
  return item.szUrl;
}

// The activation context the dialog runs in: made from the plug-in's own
// manifest, which brings version 6 of the common controls whatever the
// host's manifest says. Returns what is wrong, or empty text.
std::string ForeignContext(HMODULE plugin) {
  HANDLE context = nullptr;
  if (!GetCurrentActCtx(&context) || context == nullptr) return "the dialog runs in no activation context";
  std::vector<char> buffer(4096);
  SIZE_T size = 0;
  BOOL ok = QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, buffer.data(), buffer.size(),
                         &size);
  ReleaseActCtx(context);
  if (!ok) return "cannot query the dialog's activation context";
  auto* info = reinterpret_cast<ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(plugin, path, MAX_PATH);
  std::wstring root = info->lpRootManifestPath ? info->lpRootManifestPath : L"";
  if (lstrcmpiW(root.c_str(), path) != 0) return "the dialog's activation context comes from " + Utf8(root);
  if (info->ulAssemblyCount < 2) return "the dialog's activation context holds no dependency";
  return {};
}

void Notify(HWND dialog, int id, UINT code, const std::wstring& url) {
  NMLINK link = {};
  link.hdr.hwndFrom = GetDlgItem(dialog, id);
  link.hdr.idFrom = static_cast<UINT_PTR>(id);
  link.hdr.code = code;
  lstrcpynW(link.item.szUrl, url.c_str(), L_MAX_URL_LENGTH);
  SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&link));
}

}  // namespace

// The links lead to the two pages of the plug-in's constants, and a click
// or the return key on either opens its address with the shell; the same
// notifications from any other control, and other codes, open nothing.
// The pages themselves are never opened: the notifications carry addresses
// of a scheme that this test registers.
void CaseDialogLinks(TestEnv& env) {
  HMODULE plugin = RequirePlugin();
  PresetOffline();
  const std::string log = env.root + "opened.txt";
  RegisterScheme(log);
  std::wstring yahoo, tepco;
  std::string context;
  SetupThroughHost(plugin, [&](HWND d) {
    context = ForeignContext(plugin);
    yahoo = LinkUrl(d, control::kYahooLink);
    tepco = LinkUrl(d, control::kTepcoLink);
    // One at a time: the handler's commands would share the file.
    Notify(d, control::kAddress, NM_CLICK, L"gwtest-link:edit");
    Notify(d, control::kYahooLink, NM_DBLCLK, L"gwtest-link:double");
    Notify(d, control::kYahooLink, NM_CLICK, L"gwtest-link:click");
    PumpMessages(15000, [&] { return ReadLog(log).find("click") != std::string::npos; });
    Notify(d, control::kTepcoLink, NM_RETURN, L"gwtest-link:return");
    PumpMessages(15000, [&] { return ReadLog(log).find("return") != std::string::npos; });
    PumpMessages(1500);  // time for anything opened by mistake to show up
    Click(d, control::kCancel);
  });
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kScheme);
  Require(context.empty(), context);
  Require(yahoo == Wide(gw::kYahooSiteUrl), "the first link leads to " + Utf8(yahoo));
  Require(tepco == Wide(gw::kTepcoForecastUrl), "the second link leads to " + Utf8(tepco));
  std::string opened = ReadLog(log);
  Require(opened.find("gwtest-link:click\n") != std::string::npos, "a click on a link opened nothing: " + opened);
  Require(opened.find("gwtest-link:return\n") != std::string::npos, "the return key on a link opened nothing");
  Require(opened.find("edit") == std::string::npos, "a click notification from the address field opened a page");
  Require(opened.find("double") == std::string::npos, "a double-click notification opened a page");
}

}  // namespace gwtest
