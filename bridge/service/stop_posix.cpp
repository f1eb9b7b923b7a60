#include "bridge/service/stop.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>

namespace gw::bridge {

// A stop asked for from within is passed as SIGTERM, so that sigwait is the
// one place that waits; the reason asked for is kept to be logged.
struct StopRequest::State {
  sigset_t signals;
  std::mutex lock;
  std::string asked;
};

// Blocked before any thread starts, so every thread inherits the mask and
// only the thread in Wait receives them.
StopRequest::StopRequest() : state_(std::make_shared<State>()) {
  sigemptyset(&state_->signals);
  sigaddset(&state_->signals, SIGINT);
  sigaddset(&state_->signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

StopRequest::~StopRequest() = default;

std::string StopRequest::Wait() {
  int received = 0;
  sigwait(&state_->signals, &received);
  std::lock_guard<std::mutex> hold(state_->lock);
  if (!state_->asked.empty()) return state_->asked;
  return received == SIGTERM ? "SIGTERM" : "SIGINT";
}

void StopRequest::Ask(const std::string& why) {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->asked = why;
  }
  kill(getpid(), SIGTERM);
}

// Nothing waits for the end here: a signal's default is not to kill the
// process while it is blocked.
void StopRequest::Stopped() {}

}  // namespace gw::bridge
