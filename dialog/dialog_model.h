// The settings dialog's rules for loading and saving, apart from any window:
// the Win32 dialog and the stand-in host's "dialog" command both use them.
#pragma once

#include "base/codepage.h"
#include "settings/settings_store.h"

namespace gw {

// The drop-down lists, each closed by an empty text, in the order shown.
extern const char16_t* const kIntervalItems[];  // TUInterval
extern const char16_t* const kPercentItems[];   // TUPercent, 80 to 100
extern const char16_t* const kMessagesItems[];  // TUMessages

constexpr int kNoSelection = -1;

// The fields as the dialog shows them.
struct DialogValues {
  int interval = kNoSelection;  // index into kIntervalItems
  int percent = kNoSelection;
  int messages = kNoSelection;
  WideString address;
  WideString server;
  WideString port;  // as typed; signed decimal when loaded
  WideString user;
  WideString password;  // plain text
  bool pause = false;
};

// The first item, from the top, whose text begins with `stored` regardless
// of case; no text, or no such item, gives no selection.
int FindComboItem(const char16_t* const items[], const std::optional<WideString>& stored);

// The text a list saves: its selected item, or empty text without one.
WideString ComboText(const char16_t* const items[], int index);

// Loads every field; also sets TUCount to 0, so merely opening the dialog
// resets the day's mail count.
DialogValues LoadDialogValues(const SettingsStore& settings);

// Saves every field, each whole, ignoring every result: a long recipient
// list is never cut.
void SaveDialogValues(const SettingsStore& settings, const DialogValues& values);

// What OK does besides saving: the day's count and the last hour start over,
// so the check started right after is not held back.
void ResetAfterConfirm(const SettingsStore& settings);

}  // namespace gw
