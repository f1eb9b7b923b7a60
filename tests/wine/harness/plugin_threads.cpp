#include "harness/plugin_threads.h"

#include <tlhelp32.h>

#include <string>
#include <vector>

#include "harness/test_case.h"

namespace gwtest {
namespace {

using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress

uintptr_t StartAddress(HANDLE thread) {
  static auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  void* start = nullptr;
  if (!query || query(thread, kThreadStartAddress, &start, sizeof start, nullptr) < 0) return 0;
  return reinterpret_cast<uintptr_t>(start);
}

// Handles of the threads that started in the module's image. A thread that
// has been created but has not begun to run yet has no start address for
// Wine; `*unstarted` counts those, whose home is not known yet.
std::vector<HANDLE> ThreadsStartedIn(HMODULE module, int* unstarted) {
  auto base = reinterpret_cast<uintptr_t>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  uintptr_t end = base + nt->OptionalHeader.SizeOfImage;

  std::vector<HANDLE> found;
  *unstarted = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  Require(snapshot != INVALID_HANDLE_VALUE, "cannot list the process's threads");
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;  // already gone
    uintptr_t start = StartAddress(thread);
    if (start == 0 && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) ++*unstarted;
    if (start >= base && start < end) {
      found.push_back(thread);
    } else {
      CloseHandle(thread);
    }
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

void WaitForPluginThreads(HMODULE plugin, DWORD timeoutMs) {
  DWORD deadline = GetTickCount() + timeoutMs;
  // A check may start another thread before it ends; look again until none.
  for (;;) {
    int unstarted = 0;
    std::vector<HANDLE> threads = ThreadsStartedIn(plugin, &unstarted);
    DWORD left = static_cast<LONG>(deadline - GetTickCount()) > 0 ? deadline - GetTickCount() : 0;
    if (threads.empty() && unstarted == 0) return;
    if (threads.empty()) {
      // One that the plug-in has just started may be among them.
      Require(left > 0, "a thread was still starting after " + std::to_string(timeoutMs / 1000) + " s");
      Sleep(10);
      continue;
    }
    DWORD rc = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, left);
    for (HANDLE thread : threads) CloseHandle(thread);
    Require(rc != WAIT_TIMEOUT, "a thread of the plug-in was still running after " +
                                    std::to_string(timeoutMs / 1000) + " s");
    Require(rc != WAIT_FAILED, "cannot wait for the plug-in's threads");
  }
}

}  // namespace gwtest
