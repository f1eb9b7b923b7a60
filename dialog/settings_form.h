// The settings dialog as a line-based form, for the native build, which has
// no windows. It shows the dialog's fields, takes edits, and ends as the
// dialog ends: "ok" saves like the OK button, "cancel" (or the end of the
// input) closes like Cancel, "test" saves and sends a test mail like the
// test button. Loading and saving follow dialog/dialog_model.h.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>

#include "settings/settings_store.h"

namespace gw {

// Starts a usage check: StartUsageCheck in the plug-in, a recorder in tests.
using CheckStarter = std::function<void(int32_t testMail)>;

constexpr int kFormConfirmed = 1;
constexpr int kFormCancelled = 2;

// Runs the form until "ok", "cancel" or the end of `in`; returns
// kFormConfirmed or kFormCancelled, as the dialog's result. `prompt` asks
// for each line with "> ", for a person at a terminal.
int RunSettingsForm(std::istream& in, std::ostream& out, const SettingsStore& settings,
                    const CheckStarter& startCheck, bool prompt);

}  // namespace gw
