// The settings dialog, opened from the host's plug-in setup entry and from
// the plug-in's menu command. It loads and saves through the rules of
// dialog/dialog_model.h.
#pragma once

#include "hostapi/host_api.h"

namespace gw {

// Shows the dialog modally with `parent` as its owner and returns when it
// has closed, whatever its outcome. On Windows this is dialog resource 102;
// natively, where there are no windows, the same fields as a line-based form
// on standard input and output (dialog/settings_form.h).
void ShowSettingsDialog(HostWindow parent);

}  // namespace gw
