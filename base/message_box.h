// The only messages the user ever sees: the outcome of a test mail.
#pragma once

#include "base/codepage.h"

namespace gw {

// An OK-only box without owner window on Windows; natively one line on
// standard error, "caption: text".
void ShowMessageBox(WideView caption, WideView text);

}  // namespace gw
