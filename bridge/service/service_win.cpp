// Running as the Windows service GridwrenBridge: the service manager starts
// the program with --service; its main thread hands itself to the manager's
// dispatcher, which runs ServiceMain, which serves until it is told to stop.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <mutex>

#include "bridge/log/event_log.h"
#include "bridge/service/service.h"
#include "bridge/service/service_events.h"
#include "bridge/service/service_log.h"

namespace gw::bridge {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// How long each state may take, as the service manager is told.
constexpr DWORD kStartHintMs = 20000;
constexpr DWORD kStopHintMs = 5000;

// The dispatcher calls ServiceMain with no context: what it runs is here.
struct Run {
  const ServeFunction* serve = nullptr;
  std::string startError;  // set: report this failure and run nothing
  int status = kExitOk;
  SERVICE_STATUS_HANDLE handle = nullptr;
  std::mutex lock;  // the control handler reports from its own thread
  SERVICE_STATUS current{};
  StopRequest* stop = nullptr;
} run;

void Report(DWORD state, DWORD hintMs = 0, int exitStatus = 0) {
  std::lock_guard<std::mutex> hold(run.lock);
  SERVICE_STATUS& s = run.current;
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  s.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  s.dwServiceSpecificExitCode = static_cast<DWORD>(exitStatus);
  s.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? s.dwCheckPoint + 1 : 0;
  s.dwWaitHint = hintMs;
  SetServiceStatus(run.handle, &s);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, kStopHintMs);
      if (run.stop != nullptr) run.stop->Ask(control == SERVICE_CONTROL_STOP ? "a service stop" : "system shut-down");
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// A failure to start or to go on: in the log, in the Event Log, and in the
// service's status (a service-specific exit code that `sc query` shows).
void Failed(const std::string& why, int status) {
  LogLineNow("gridwren-bridge: %s", why.c_str());
  WriteServiceEvent(EventKind::kError, "The Gridwren bridge service stopped: " + why);
  run.status = status;
}

void Serve() {
  StopRequest stop;
  run.stop = &stop;
  try {
    (*run.serve)(stop, [] {
      Report(SERVICE_RUNNING);
      WriteServiceEvent(EventKind::kInformation, "The Gridwren bridge service started.");
    });
    WriteServiceEvent(EventKind::kInformation, "The Gridwren bridge service stopped.");
  } catch (const std::exception& e) {
    Failed(e.what(), kExitFailure);
  }
  stop.Stopped();
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  run.handle = RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
  if (run.handle == nullptr) return;
  Report(SERVICE_START_PENDING, kStartHintMs);
  std::string logError;
  if (!StartServiceLog(&logError)) WriteServiceEvent(EventKind::kWarning, logError);
  if (!run.startError.empty()) {
    Failed(run.startError, run.status);
  } else {
    Serve();
  }
  StopServiceLog();
  Report(SERVICE_STOPPED, 0, run.status);
}

int Dispatch() {
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table)) return run.status;
  if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
    std::fprintf(stderr, "gridwren-bridge: --service is how the service manager starts the bridge; in a console, "
                         "run it without --service\n");
    return kExitUsage;
  }
  std::fprintf(stderr, "gridwren-bridge: cannot reach the service manager: Windows error %lu\n", GetLastError());
  return kExitFailure;
}

}  // namespace

int RunAsService(const ServeFunction& serve) {
  run.serve = &serve;
  return Dispatch();
}

int FailAsService(const std::string& error, int status) {
  std::fprintf(stderr, "gridwren-bridge: %s\n", error.c_str());
  run.startError = error;
  run.status = status;
  int result = Dispatch();
  return result == kExitOk ? status : result;
}

}  // namespace gw::bridge
