#include "harness/dialog_driver.h"

#include <exception>
#include <vector>

#include "harness/test_case.h"

namespace gwtest {
namespace {

struct Drive {
  std::wstring caption;
  const std::function<void(HWND)>* script;
  UINT_PTR timer = 0;
  DWORD deadline = 0;
  bool ran = false;
  bool timedOut = false;
  std::exception_ptr failure;
};

// The drives in progress on this thread, innermost last.
thread_local std::vector<Drive*> t_drives;

struct Search {
  const std::wstring* caption;  // null: any dialog
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  if (search->caption == nullptr) {
    search->found.push_back(window);
  } else {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (*search->caption == text) search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> ThreadDialogs(const std::wstring* caption) {
  Search search{caption, {}};
  EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void RunScript(Drive& drive, HWND window) {
  drive.ran = true;
  try {
    (*drive.script)(window);
  } catch (...) {
    drive.failure = std::current_exception();
    if (IsWindow(window)) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  }
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  for (Drive* drive : t_drives) {
    if (drive->timer != id || drive->ran) continue;
    HWND window = FindThreadDialog(drive->caption);
    if (window == nullptr && static_cast<LONG>(GetTickCount() - drive->deadline) < 0) return;
    KillTimer(nullptr, id);
    drive->timer = 0;
    if (window != nullptr) {
      RunScript(*drive, window);
    } else {
      drive->timedOut = true;
      for (HWND other : ThreadDialogs(nullptr)) PostMessageW(other, WM_COMMAND, IDCANCEL, 0);
    }
    return;
  }
}

}  // namespace

HWND FindThreadDialog(const std::wstring& caption) {
  auto found = ThreadDialogs(&caption);
  return found.empty() ? nullptr : found.back();
}

void DriveModal(const std::wstring& caption, const std::function<void()>& open,
                const std::function<void(HWND)>& script, DWORD timeoutMs) {
  Drive drive;
  drive.caption = caption;
  drive.script = &script;
  drive.deadline = GetTickCount() + timeoutMs;
  drive.timer = SetTimer(nullptr, 0, 50, OnTimer);
  Require(drive.timer != 0, "SetTimer failed");
  t_drives.push_back(&drive);
  try {
    open();
  } catch (...) {
    t_drives.pop_back();
    if (drive.timer) KillTimer(nullptr, drive.timer);
    throw;
  }
  t_drives.pop_back();
  if (drive.timer) KillTimer(nullptr, drive.timer);
  if (drive.failure) std::rethrow_exception(drive.failure);
  Require(!drive.timedOut, "\"" + Utf8(caption) + "\" did not show within " + std::to_string(timeoutMs) + " ms");
  Require(drive.ran, "\"" + Utf8(caption) + "\" never showed");
}

void PumpMessages(DWORD ms, const std::function<bool()>& done) {
  DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(GetTickCount() - end) < 0 && !(done && done())) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(20);
  }
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(control, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

int ComboSelection(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

std::wstring ComboItems(HWND dialog, int id) {
  std::wstring items;
  int count = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items += (i ? L"|" : L"") + std::wstring(text);
  }
  return items;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace gwtest
