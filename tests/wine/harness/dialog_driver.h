// Driving modal dialogs and message boxes without a person: a thread timer
// set before the call that shows one fires inside its modal loop, finds the
// window by caption and runs a script on it there.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace gwtest {

// The visible dialog-class window (#32770) of this thread whose caption is
// exactly `caption`; null when there is none.
HWND FindThreadDialog(const std::wstring& caption);

// Calls `open`, which shows a modal dialog or message box on this thread,
// and runs `script` on it from inside its modal loop once it is up. The
// script must end the window. When the script fails, the window is
// cancelled and the failure is rethrown after `open` has returned; when no
// such window shows within `timeoutMs`, every dialog of the thread is
// cancelled and the test fails. Calls nest: a script may drive a message box
// that its own actions open.
void DriveModal(const std::wstring& caption, const std::function<void()>& open,
                const std::function<void(HWND)>& script, DWORD timeoutMs = 20000);

// Keeps this thread's windows painted and responsive for `ms` milliseconds,
// or until `done` returns true.
void PumpMessages(DWORD ms, const std::function<bool()>& done = nullptr);

// Small helpers for a dialog's controls.
std::wstring ControlText(HWND dialog, int id);  // whole, however long
int ComboSelection(HWND dialog, int id);        // -1 for none
std::wstring ComboItems(HWND dialog, int id);   // "a|b|c"
void Click(HWND dialog, int id);                // BM_CLICK, as a mouse click

}  // namespace gwtest
