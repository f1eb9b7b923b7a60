#include <windows.h>

#include <new>

#include "base/thread.h"

namespace gw {
namespace {

struct Start {
  ThreadProc proc;
  void* arg;
  HMODULE module;
};

DWORD WINAPI Trampoline(void* param) {
  Start start = *static_cast<Start*>(param);
  delete static_cast<Start*>(param);
  start.proc(start.arg);
  // Drops the thread's reference on the library and ends the thread without
  // returning into code that the release may have unmapped.
  FreeLibraryAndExitThread(start.module, 0);
  return 0;
}

}  // namespace

bool StartWorkerThread(ThreadProc proc, void* arg) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Trampoline),
                          &module))
    return false;
  auto* start = new (std::nothrow) Start{proc, arg, module};
  HANDLE thread = start ? CreateThread(nullptr, 0, Trampoline, start, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete start;
    FreeLibrary(module);
    return false;
  }
  CloseHandle(thread);
  return true;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

// Workers hold the library loaded themselves; nothing to wait for.
bool WaitForWorkerThreads(int) { return true; }

namespace {

struct Awaited {
  ThreadProc proc;
  void* arg;
};

DWORD WINAPI RunAwaited(void* param) {
  auto* work = static_cast<Awaited*>(param);
  work->proc(work->arg);
  return 0;
}

// Dispatches what has arrived for this thread's windows. A quit request is
// not for this wait to act on; it is kept and posted again afterwards.
void DispatchPending(bool* quit, WPARAM* quitCode) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      *quit = true;
      *quitCode = message.wParam;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

// The caller is library code and waits here, so the library stays loaded
// for the worker's whole run without a reference of its own.
bool RunOnWorkerAndWait(ThreadProc proc, void* arg) {
  Awaited work{proc, arg};
  HANDLE thread = CreateThread(nullptr, 0, RunAwaited, &work, 0, nullptr);
  if (thread == nullptr) return false;
  bool quit = false;
  WPARAM quitCode = 0;
  for (;;) {
    DWORD rc = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
    if (rc == WAIT_OBJECT_0 + 1) {
      DispatchPending(&quit, &quitCode);
      continue;
    }
    // The worker has ended, or the wait itself failed: then block, since
    // `work` must outlive the worker.
    if (rc != WAIT_OBJECT_0) WaitForSingleObject(thread, INFINITE);
    break;
  }
  CloseHandle(thread);
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  return true;
}

void SleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace gw
