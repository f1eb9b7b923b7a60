// How the platform asks the bridge to stop: SIGTERM or SIGINT on POSIX; the
// console's Ctrl-C, Ctrl-Break and window close, or the service manager, on
// Windows. Made once, before any thread starts.
#pragma once

#include <memory>
#include <string>

namespace gw::bridge {

class StopRequest {
 public:
  // Takes over the platform's stop signals for this process from now on.
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Blocks until a stop is asked for; returns what asked, for the log.
  std::string Wait();

  // Asks for a stop from within the program (the service's control handler).
  void Ask(const std::string& why);

  // Says that the bridge has stopped and written its last log line: a
  // console being closed ends the process as soon as its handler returns,
  // so the handler waits for this (a few seconds at most).
  void Stopped();

  struct State;  // the platform's own

 private:
  std::shared_ptr<State> state_;  // shared with the console's handler
};

}  // namespace gw::bridge
