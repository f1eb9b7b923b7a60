// The host exits while a detached check waits for a slow feed: BKC_OnExit
// aborts the check's download, the check ends without queuing anything or
// asking anything more of the host, and the callback returns once it has
// ended, within its five seconds. A minute tick after the exit starts
// nothing.
#include <windows.h>

#include "harness/online_check.h"
#include "harness/plugin_module.h"
#include "harness/plugin_threads.h"
#include "harness/test_case.h"
#include "harness/xhr_double.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

using Callback = int32_t(__stdcall*)();

// Far more than the five seconds the exit may wait: the feed is held for 3 s,
// so an exit that waited for the check to finish normally would show a mail.
constexpr DWORD kExitBoundMs = 10000;

// True once the first request object has been asked to wait for its answer.
bool WaitUntilWaiting() {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
    XhrRecord xhr = XhrSnapshot();
    if (xhr.objects.empty()) continue;
    for (const auto& call : xhr.objects[0].calls) {
      if (call == "waitForResponse(1)") return true;
    }
  }
  return false;
}

}  // namespace

void CaseExitDuringCheck(TestEnv&) {
  uint16_t port = 0;
  HMODULE plugin = StartCheckOnSlowFeed(&port);
  // The exit comes while the plug-in waits for the answer.
  Require(WaitUntilWaiting(), "the check did not wait for its answer");
  const size_t tempFilesAtExit = HostSnapshot().tempFiles.size();

  DWORD start = GetTickCount();
  reinterpret_cast<Callback>(RequireExport(plugin, "BKC_OnExit"))();
  DWORD took = GetTickCount() - start;
  Require(took < kExitBoundMs, "BKC_OnExit took " + std::to_string(took) + " ms");
  HostRecord atReturn = HostSnapshot();
  WaitForPluginThreads(plugin, 10000);

  XhrRecord xhr = XhrSnapshot();
  Require(xhr.objects.size() == 1, std::to_string(xhr.objects.size()) + " requests, not the feed's alone");
  const XhrObject& feed = xhr.objects[0];
  Require(feed.aborted && feed.released, "the feed's request was not aborted and released");
  std::string mismatch = XhrCallsMismatch(feed.calls, ProxyText(port), feed.url, kProxyUser, kProxyPassword,
                                          XhrEnding::kAbortedEarly);
  Require(mismatch.empty(), "the aborted download: " + mismatch);
  HostRecord host = HostSnapshot();
  Require(host.messages.empty() && host.commands.empty(), "a mail was queued or delivery requested after the exit");
  Require(host.tempFiles.size() == tempFilesAtExit && atReturn.tempFiles.size() == tempFilesAtExit,
          "the check asked the host for a temporary file after the exit");
  auto left = LeftoverTempFiles();
  Require(left.empty(), "temporary file left behind: " + (left.empty() ? "" : left[0]));
  Require(ReadDwordSetting(L"TULastHour") == kUnseenHour, "the stopped check recorded a reading");

  // After the exit, the minute tick (interval 1) starts no check.
  TickMinute(plugin);
  WaitForPluginThreads(plugin, 10000);
  Require(XhrSnapshot().objects.size() == 1 && HostSnapshot().tempFiles.size() == tempFilesAtExit,
          "a check ran after the exit");
}

}  // namespace gwtest
