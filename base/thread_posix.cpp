#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "base/thread.h"

namespace gw {
namespace {

// Workers are joined, never detached: a thread that has only signalled its
// end may still be running the last instructions of this library, and the
// library's unload must not pull them away. Finished workers are joined as
// new ones start, so they never pile up.
struct Worker {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> done;
};

std::mutex g_mutex;
std::list<Worker> g_workers;

void JoinFinished(std::list<Worker>& finished) {
  for (auto& w : finished) w.thread.join();
  finished.clear();
}

}  // namespace

bool StartWorkerThread(ThreadProc proc, void* arg) {
  std::list<Worker> finished;
  try {
    std::lock_guard<std::mutex> guard(g_mutex);
    for (auto it = g_workers.begin(); it != g_workers.end();) {
      auto next = std::next(it);
      if (it->done->load()) finished.splice(finished.end(), g_workers, it);
      it = next;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The list's node first: once the thread runs it owns `arg`, and nothing
    // may fail after that.
    Worker& worker = g_workers.emplace_back();
    try {
      worker.thread = std::thread([proc, arg, done] {
        proc(arg);
        done->store(true);
      });
    } catch (...) {
      g_workers.pop_back();
      throw;
    }
    worker.done = std::move(done);
  } catch (...) {
    JoinFinished(finished);
    return false;
  }
  JoinFinished(finished);
  return true;
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

bool WaitForWorkerThreads(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::list<Worker> finished;
    bool allDone = true;
    {
      std::lock_guard<std::mutex> guard(g_mutex);
      for (auto it = g_workers.begin(); it != g_workers.end();) {
        auto next = std::next(it);
        if (timeoutMs < 0 || it->done->load()) {
          finished.splice(finished.end(), g_workers, it);
        } else {
          allDone = false;
        }
        it = next;
      }
    }
    JoinFinished(finished);
    if (allDone) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool RunOnWorkerAndWait(ThreadProc proc, void* arg) {
  try {
    std::thread worker(proc, arg);
    worker.join();
    return true;
  } catch (...) {
    return false;
  }
}

void SleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace gw
