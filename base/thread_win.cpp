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

}  // namespace gw
