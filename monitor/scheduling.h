// When usage checks run, and on which thread.
#pragma once

#include <cstdint>

#include "base/codepage.h"
#include "base/hresult.h"

namespace gw {

// testMail 0: a detached check on a worker thread of its own, which owns the
// runner; the caller is not told how it ends. testMail 1: the test mail, run
// on the calling thread, its outcome shown in a message box. Returns 0.
int32_t StartUsageCheck(int32_t testMail) noexcept;

// The host's minute tick: every TUInterval-th tick starts a detached check.
void OnEveryMinute() noexcept;

// The tick count starts at 0 when the library is loaded, even where the
// system kept an earlier load's memory.
void ResetMinuteCounter();

// The message box text for a test mail's outcome.
WideString TestMailMessage(HResult result);

constexpr char16_t kMessageCaption[] = u"Gridwren";

}  // namespace gw
