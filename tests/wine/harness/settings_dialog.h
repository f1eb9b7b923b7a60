// The plug-in's settings dialog as the tests meet it: its caption, the ids
// of its controls, and opening it through either of the host's two ways.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "dialog/settings_dialog_ids.h"

namespace gwtest {

constexpr wchar_t kDialogCaption[] = L"Gridwren\u306e\u8a2d\u5b9a";  // "Gridwrenの設定"
constexpr wchar_t kMessageBoxCaption[] = L"Gridwren";

namespace control = gw::dialog_id;

using DialogScript = std::function<void(HWND dialog)>;

// BKC_OnPlugInSetup with the host's main window as parent; runs `script` on
// the dialog and returns what the callback returned.
int32_t SetupThroughHost(HMODULE plugin, const DialogScript& script);

// The menu's way: BKC_OnMenuInit on a main menu of five submenus, then the
// command the plug-in registered, called as the host calls it.
void SetupThroughMenuCommand(HMODULE plugin, const DialogScript& script);

}  // namespace gwtest
