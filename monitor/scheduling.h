// When usage checks run, and on which thread.
#pragma once

#include <cstdint>

#include "base/codepage.h"
#include "base/hresult.h"

namespace gw {

// testMail 0: a detached check on a worker thread of its own, which owns the
// runner; the caller is not told how it ends. testMail 1: the test mail,
// awaited by the caller, its outcome shown in a message box; it runs on a
// worker thread while the caller keeps dispatching its window messages, so
// that the mail client stays responsive and can serve the check's calls.
// Once the host's exit has begun, nothing starts. Returns 0.
int32_t StartUsageCheck(int32_t testMail) noexcept;

// How long the host's exit waits for the checks it has stopped.
constexpr int kExitWaitMs = 5000;

// The host's exit (BKC_OnExit): running checks are asked to stop, their
// downloads cancelled, and they end with E_ABORT without queuing anything;
// later checks do nothing. Waits for them at most `waitMs` milliseconds;
// true when none is left running.
bool StopChecksForExit(int waitMs = kExitWaitMs) noexcept;

// Undoes StopChecksForExit: checks and downloads run again. The exit's state
// outlives an unload, so every load starts with this.
void ClearExitState() noexcept;

// The host's minute tick: every TUInterval-th tick starts a detached check.
void OnEveryMinute() noexcept;

// The tick count starts at 0 when the library is loaded, even where the
// system kept an earlier load's memory.
void ResetMinuteCounter();

// The message box text for a test mail's outcome.
WideString TestMailMessage(HResult result);

constexpr char16_t kMessageCaption[] = u"Gridwren";

}  // namespace gw
