// The outcome of a detached check is dropped with its runner; nothing is
// shown to the user. The native build alone offers it to a hosting program
// that asks for it (the stand-in host prints it), so that periodic checks can
// be followed on a machine without the mail client.
#pragma once

#include "monitor/check_runner.h"

namespace gw {

void ReportDetachedCheck(const CheckRunner& runner) noexcept;

}  // namespace gw
