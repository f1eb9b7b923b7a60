#include "harness/modal_canceller.h"

namespace gwtest {
namespace {

// One canceller per thread at a time; the tests drive the plug-in from the
// main thread only.
thread_local HHOOK t_hook = nullptr;
thread_local int t_cancelled = 0;

LRESULT CALLBACK OnCbtEvent(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0) {
      // Posted, not sent: the dialog is still being activated.
      PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
      ++t_cancelled;
    }
  }
  return CallNextHookEx(t_hook, code, wParam, lParam);
}

}  // namespace

ModalCanceller::ModalCanceller() {
  t_cancelled = 0;
  hook_ = SetWindowsHookExW(WH_CBT, OnCbtEvent, nullptr, GetCurrentThreadId());
  t_hook = hook_;
}

ModalCanceller::~ModalCanceller() {
  if (hook_) UnhookWindowsHookEx(hook_);
  t_hook = nullptr;
}

int ModalCanceller::Cancelled() const { return t_cancelled; }

}  // namespace gwtest
