// Detached worker threads for usage checks.
#pragma once

#include <cstdint>

namespace gw {

using ThreadProc = void (*)(void* arg);

// Starts `proc(arg)` on a new thread that nobody waits for. Ownership of
// `arg` passes to the thread only when this returns true.
//
// A worker keeps the plug-in library loaded until it has finished, so a
// check still running when the host unloads the library never touches the
// destroyed lock or settings store: on Windows the thread holds a reference
// on its own module and leaves through FreeLibraryAndExitThread; natively,
// unloading waits for running workers (WaitForWorkerThreads).
bool StartWorkerThread(ThreadProc proc, void* arg);

// The calling thread's identifier.
uint32_t CurrentThreadId();

// Blocks until every worker started by StartWorkerThread has ended, or for
// at most `timeoutMs` milliseconds (negative: no limit); true when all have
// ended. Only the native library's unload needs it.
bool WaitForWorkerThreads(int timeoutMs = -1);

// Runs `proc(arg)` on a new thread and returns once it has ended. On Windows
// the calling thread (the host's user-interface thread) goes on dispatching
// its window messages meanwhile, so that the mail client stays responsive
// and can serve what the work asks of it; natively, where there are no
// windows, it simply waits. False when no thread could be started: `proc`
// has then not run.
bool RunOnWorkerAndWait(ThreadProc proc, void* arg);

// Suspends the calling thread for about `ms` milliseconds.
void SleepMilliseconds(int ms);

}  // namespace gw
