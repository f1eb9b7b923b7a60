// The host unloads the plug-in while a detached check is still downloading:
// FreeLibrary returns at once, the check runs to its end on its own thread
// and queues its mail, and the library leaves the process when that thread
// has ended. Nothing crashes on the way.
#include <windows.h>

#include "harness/online_check.h"
#include "harness/test_case.h"
#include "harness/xhr_double.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

// The thread that runs the check, once it is inside its first download,
// which the slow server holds for 3 s.
HANDLE CheckThreadInDownload() {
  XhrRecord xhr = XhrSnapshot();
  Require(!xhr.objects.empty() && xhr.objects[0].sendThread != 0, "no thread recorded for the first request");
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, xhr.objects[0].sendThread);
  Require(thread != nullptr, "cannot open the check's thread");
  return thread;
}

}  // namespace

void CaseUnloadDuringCheck(TestEnv&) {
  HMODULE plugin = StartCheckOnSlowFeed();
  HANDLE check = CheckThreadInDownload();

  Require(FreeLibrary(plugin), "FreeLibrary failed: error " + std::to_string(GetLastError()));
  size_t mailsAtUnload = HostSnapshot().messages.size();
  DWORD waited = WaitForSingleObject(check, 20000);
  CloseHandle(check);
  Require(waited == WAIT_OBJECT_0, "the check's thread was still running 20 s after the unload");
  Require(mailsAtUnload == 0, "the mail was queued before FreeLibrary returned: the unload waited for the check");

  HostRecord host = HostSnapshot();
  Require(host.messages.size() == 1 && host.messages[0].folder == "MailBox1\\!!!!Outbox\\",
          std::to_string(host.messages.size()) + " mails queued after the unload, not 1 in the outbox");
  Require(host.commands.size() == 1 && host.commands[0].command == "Deliver",
          "the check did not ask for delivery after the unload");
  Require(GetModuleHandleW(L"Gridwren.dll") == nullptr, "the plug-in stayed loaded after its check ended");
  for (const auto& object : XhrSnapshot().objects) {
    Require(object.released, "a request object of the check was never released");
  }
  auto left = LeftoverTempFiles();
  Require(left.empty(), "temporary file left behind: " + (left.empty() ? "" : left[0]));
}

}  // namespace gwtest
