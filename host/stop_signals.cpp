#include "host/stop_signals.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

namespace gwhost {
namespace {

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
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || wakeFd_ < 0) {
    // Without them the signals keep their default action and end the
    // program at once, as before the host caught them.
    std::cerr << "gridwren-host: cannot watch for SIGINT and SIGTERM: " << std::strerror(errno) << "\n";
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    return;
  }
  watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
  if (watcher_.joinable()) {
    const uint64_t one = 1;
    // The write cannot fail short of a full counter, which one write never fills.
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    watcher_.join();
  }
  if (signalFd_ >= 0) close(signalFd_);
  if (wakeFd_ >= 0) close(wakeFd_);
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::Watch() {
  pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info;
    if (read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    if (stopped_.exchange(true)) continue;
    std::cerr << "gridwren-host: stopping; the running check is cancelled as when the mail client exits\n";
    if (onStop_) onStop_();
  }
}

void ExitPlugin(const LoadedPlugin& plugin) {
  if (auto onExit = plugin.Callback<int32_t (*)()>("BKC_OnExit")) onExit();
}

}  // namespace gwhost
