// Natively there are no windows: the dialog is the line-based form on the
// process's standard input and output, with the same model behind it.
#include <unistd.h>

#include <iostream>

#include "monitor/scheduling.h"
#include "core/context.h"
#include "dialog/settings_dialog.h"
#include "dialog/settings_form.h"

namespace gw {

void ShowSettingsDialog(HostWindow) {
  const SettingsStore* settings = Settings();
  if (settings == nullptr) return;
  RunSettingsForm(std::cin, std::cout, *settings, [](int32_t testMail) { StartUsageCheck(testMail); },
                  isatty(STDIN_FILENO) != 0);
}

}  // namespace gw
