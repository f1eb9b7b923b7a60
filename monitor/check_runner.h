// One usage check: fetch the latest reading, decide whether the user must be
// told, and if so queue the notification mail. Every trigger (start-up, the
// minute tick, the dialog's OK and its test button) runs through here.
#pragma once

#include <cstdint>

#include "base/hresult.h"
#include "base/lock.h"
#include "settings/settings_store.h"

namespace gw {

class CheckRunner {
 public:
  // A check on the plug-in's own settings store and CheckLock.
  explicit CheckRunner(int32_t testMail);
  // A check on the given store and lock (tests).
  CheckRunner(int32_t testMail, const SettingsStore& settings, Lock& lock);

  // Runs the whole check under the lock and leaves its outcome in `result`.
  // Never lets a failure escape; always returns 0.
  int32_t UsageCheck() noexcept;

  uint32_t threadId = 0;  // the worker thread of a detached check, else 0
  HResult result = 0;
  int32_t testMail = 0;   // 1 for the awaited test mail: the gates are skipped
  // What decided the outcome, in words, for diagnostics ("below threshold").
  const char* outcome = "";

 private:
  HResult Run();
  // Fetches the two graphs and queues the mail; the last download's code.
  HResult Notify(const struct UsageReading& reading);

  const SettingsStore* settings_;
  Lock* lock_;
};

// Usage as a whole percentage of capacity: the quotient first, in double
// precision, truncated; values beyond 32 bits saturate. 0 when capacity is
// not positive.
uint32_t UsagePercent(int32_t usage, int32_t capacity);

// The six numbers of a feed text, and the percentage they give.
struct UsageReading ReadFeed(WideView feedText);

}  // namespace gw
