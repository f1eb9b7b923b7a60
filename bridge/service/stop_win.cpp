#include "bridge/service/stop.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace gw::bridge {

struct StopRequest::State {
  std::mutex lock;
  std::condition_variable changed;
  std::string asked;
  bool stopped = false;
};

namespace {

// Windows ends the process once the handler returns from a close, log-off or
// shut-down event, or after about 5 s: the bridge gets the time it needs to
// stop cleanly, within that.
constexpr auto kCloseGrace = std::chrono::milliseconds(4500);

const char* EventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return "Ctrl-C";
    case CTRL_BREAK_EVENT: return "Ctrl-Break";
    case CTRL_CLOSE_EVENT: return "the console window closing";
    case CTRL_LOGOFF_EVENT: return "the user logging off";
    case CTRL_SHUTDOWN_EVENT: return "the system shutting down";
    default: return nullptr;
  }
}

void AskState(StopRequest::State* state, const std::string& why);

// The console calls its handler on a thread of its own; it keeps the state
// of the process's one StopRequest alive for as long as it may need it.
std::shared_ptr<StopRequest::State> handled;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* name = EventName(event);
  std::shared_ptr<StopRequest::State> state = std::atomic_load(&handled);
  if (name == nullptr || state == nullptr) return FALSE;
  AskState(state.get(), name);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  std::unique_lock<std::mutex> hold(state->lock);
  state->changed.wait_for(hold, kCloseGrace, [&] { return state->stopped; });
  return TRUE;
}

void AskState(StopRequest::State* state, const std::string& why) {
  std::lock_guard<std::mutex> hold(state->lock);
  if (state->asked.empty()) state->asked = why;
  state->changed.notify_all();
}

}  // namespace

StopRequest::StopRequest() : state_(std::make_shared<State>()) {
  std::atomic_store(&handled, state_);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequest::~StopRequest() { Stopped(); }

std::string StopRequest::Wait() {
  std::unique_lock<std::mutex> hold(state_->lock);
  state_->changed.wait(hold, [this] { return !state_->asked.empty(); });
  return state_->asked;
}

void StopRequest::Ask(const std::string& why) { AskState(state_.get(), why); }

void StopRequest::Stopped() {
  std::lock_guard<std::mutex> hold(state_->lock);
  state_->stopped = true;
  state_->changed.notify_all();
}

}  // namespace gw::bridge
