// SIGINT and SIGTERM stop the stand-in host the way closing the mail client
// stops the plug-in: the running check is cancelled as at the host's exit,
// ends with its temporary files removed, and the program ends promptly
// instead of being killed halfway through a check.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <signal.h>

#include "host/plugin_loader.h"

namespace gwhost {

class StopSignals {
 public:
  // Blocks SIGINT and SIGTERM for the calling thread and every thread it
  // starts afterwards (the plug-in's check threads among them), and waits
  // for them on a thread of its own, which then runs `onStop` once. Create
  // it before anything starts a check.
  explicit StopSignals(std::function<void()> onStop = nullptr);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool Stopped() const { return stopped_.load(); }

 private:
  void Watch();

  std::function<void()> onStop_;
  sigset_t previous_;
  std::atomic<bool> stopped_{false};
  // The watcher sleeps in poll() on both: the signals, and a wake-up that
  // the destructor sends so that the program ends without a time-out.
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread watcher_;
};

// What a mail client does when it closes: BKC_OnExit, which cancels the
// plug-in's running checks and waits for them a few seconds at most.
void ExitPlugin(const LoadedPlugin& plugin);

}  // namespace gwhost
