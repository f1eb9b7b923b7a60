// The test host's side of the host functions: what the plug-in asked of it,
// and the few things a test may configure. The plug-in calls the host from
// its worker threads too, so every access goes through one lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostapi/host_api.h"

namespace gwtest {

struct HostCommandCall {
  HWND window;
  std::string command;
};

struct RegisteredCommand {
  uint32_t id;
  std::string description;
  int32_t kind;
  gw::CommandCallback command;
  gw::StateCallback state;
};

struct AppendedMessage {
  std::string folder;
  std::string message;
  std::string file;  // where it was stored; empty when refused
};

struct Base64Call {
  std::string output;
  std::string input;
  int32_t encode;
  int32_t result;
};

struct HostRecord {
  int versionCalls = 0;
  std::vector<HostCommandCall> commands;
  std::vector<RegisteredCommand> registered;
  std::vector<AppendedMessage> messages;
  std::vector<std::string> tempFiles;
  std::vector<Base64Call> conversions;
  std::vector<std::string> inertCalls;  // host functions the plug-in must never call
};

// Starts a fresh record for a test, with its folders (each ending with "\")
// and the build's default version text.
void ResetHost(const std::string& dataFolder, const std::string& mailBox, const std::string& tempFolder);

// The text BKA_GetVersion returns from now on.
void SetHostVersion(const std::string& version);

// A copy of the record, taken under the lock.
HostRecord HostSnapshot();

// A function the host runs on the calling thread at the start of each
// working host function, outside its lock; null for none, and none
// after ResetHost. The plug-in's checks run on threads of their own, and its
// calls into the host are where a test can act on such a thread (register a
// COM class in the thread's apartment, say).
using HostCallHook = void (*)();
void SetHostCallHook(HostCallHook hook);

// The host's main window: a real, hidden top-level window.
HWND HostMainWindow();

// Whether this build of the host exports BKA_SetStatus.
bool HostHasSetStatus();

// The names of all host functions, in the plug-in's resolution order.
std::vector<std::string> HostFunctionNames();

}  // namespace gwtest
