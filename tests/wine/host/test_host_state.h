// Internal to the test host: the shared state behind the host functions.
#pragma once

#include <deque>
#include <string>

#include "host/test_host.h"

namespace gwtest::detail {

struct HostState {
  CRITICAL_SECTION lock;
  std::string version;
  std::string dataFolder;
  std::string mailBox;
  std::string tempFolder;
  uint32_t nextCommandId = 40001;
  uint32_t tempCounter = 0;
  HostRecord record;
  // Texts handed to the plug-in stay valid for the life of the process, on
  // every thread: a returned pointer is never reused or freed.
  std::deque<std::string> texts;
};

HostState& State();

class StateGuard {
 public:
  StateGuard() { EnterCriticalSection(&State().lock); }
  ~StateGuard() { LeaveCriticalSection(&State().lock); }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;
};

// Runs the hook set with SetHostCallHook, if any; call without the lock.
void RunHostCallHook();

// Keeps `text` for the plug-in; call with the lock held.
const char* KeepText(std::string text);

}  // namespace gwtest::detail
