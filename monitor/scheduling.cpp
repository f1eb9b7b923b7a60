#include "monitor/scheduling.h"

#include <cstdio>
#include <memory>

#include "base/message_box.h"
#include "base/thread.h"
#include "monitor/check_report.h"
#include "monitor/check_runner.h"
#include "core/context.h"
#include "net/download.h"

namespace gw {
namespace {

// Minute ticks that found a non-zero interval since the library loaded. Only
// the host's thread touches it, one tick at a time.
uint32_t g_minuteCounter = 0;

void RunDetached(void* arg) {
  std::unique_ptr<CheckRunner> runner(static_cast<CheckRunner*>(arg));
  runner->threadId = CurrentThreadId();
  runner->UsageCheck();
  // The code of a detached check is dropped with its runner.
  ReportDetachedCheck(*runner);
}

// The test mail's check; its runner stays with the caller, which awaits it.
void RunAwaited(void* arg) { static_cast<CheckRunner*>(arg)->UsageCheck(); }

}  // namespace

void ResetMinuteCounter() { g_minuteCounter = 0; }

WideString TestMailMessage(HResult result) {
  if (Succeeded(result)) return u"電力使用状況を知らせるテストメールを送信しました。";
  char digits[16];
  std::snprintf(digits, sizeof digits, "0x%08x", static_cast<unsigned>(result));
  return u"電力情報の取得に失敗しました。エラーコード：" + Utf8ToWide(digits);
}

int32_t StartUsageCheck(int32_t testMail) noexcept {
  // No store means the library is not (or no longer) loaded, and after the
  // host's exit it is about to go: no check.
  if (Settings() == nullptr || HostExiting()) return 0;
  try {
    auto runner = std::make_unique<CheckRunner>(testMail);
    if (testMail == 0) {
      // Once started, the thread owns the runner; it is not touched here again.
      if (StartWorkerThread(RunDetached, runner.get())) runner.release();
      return 0;
    }
    // Without a thread there is no check, and nothing to report; nor is
    // there once the host has begun to exit while the check ran.
    if (!RunOnWorkerAndWait(RunAwaited, runner.get()) || HostExiting()) return 0;
    ShowMessageBox(kMessageCaption, TestMailMessage(runner->result));
  } catch (...) {
    // No runner, no check; nothing is reported.
  }
  return 0;
}

bool StopChecksForExit(int waitMs) noexcept {
  SetHostExiting(true);
  SetDownloadsAborted(true);
  return WaitForRunningChecks(waitMs);
}

void ClearExitState() noexcept {
  SetHostExiting(false);
  SetDownloadsAborted(false);
}

void OnEveryMinute() noexcept {
  const SettingsStore* settings = Settings();
  if (settings == nullptr) return;
  try {
    auto interval = static_cast<uint32_t>(ParseDecimal(TextOrEmpty(settings->GetString(setting::kInterval))));
    if (interval == 0) return;
    if (++g_minuteCounter % interval == 0) StartUsageCheck(0);
  } catch (...) {
  }
}

}  // namespace gw
