#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/thread.h"

namespace gw {
namespace {

std::mutex g_mutex;
std::condition_variable g_idle;
int g_running = 0;

}  // namespace

bool StartWorkerThread(ThreadProc proc, void* arg) {
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    ++g_running;
  }
  try {
    std::thread([proc, arg] {
      proc(arg);
      std::lock_guard<std::mutex> guard(g_mutex);
      if (--g_running == 0) g_idle.notify_all();
    }).detach();
    return true;
  } catch (...) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (--g_running == 0) g_idle.notify_all();
    return false;
  }
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

void WaitForWorkerThreads() {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_idle.wait(lock, [] { return g_running == 0; });
}

}  // namespace gw
