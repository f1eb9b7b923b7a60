#include "host/stop_signals.h"

#include <time.h>

#include <chrono>
#include <cstdint>
#include <iostream>

namespace gwhost {
namespace {

// How often the watcher looks whether it should end, and the waiting
// thread whether its work is done.
constexpr long kPollMs = 50;

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
  sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
  watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
  quit_.store(true);
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::Watch() {
  const sigset_t set = StopSet();
  const timespec poll = {0, kPollMs * 1000000};
  while (!quit_.load()) {
    if (sigtimedwait(&set, nullptr, &poll) < 0) continue;
    if (stopped_.exchange(true)) continue;
    std::cerr << "gridwren-host: stopping; the running check is cancelled as when the mail client exits\n";
    if (onStop_) onStop_();
  }
}

bool StopSignals::WaitUntil(const std::function<bool()>& done) const {
  while (!done()) {
    if (Stopped()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  return true;
}

void ExitPlugin(const LoadedPlugin& plugin) {
  if (auto onExit = plugin.Callback<int32_t (*)()>("BKC_OnExit")) onExit();
}

}  // namespace gwhost
