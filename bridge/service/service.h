// The bridge as a service of the system's service manager: Windows's
// GridwrenBridge. On POSIX, where systemd or the like runs the program as it
// is, these refuse with a message saying so.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bridge/service/stop.h"

namespace gw::bridge {

// Registers the service to run this program with `serveArgs` (the options,
// without the install flag), to start with the system. Prints what it did or
// why it could not; returns the exit status (1 when refused, e.g. not an
// administrator).
int InstallService(const std::vector<std::string>& serveArgs);

// Stops the service if it runs and removes it; prints and returns as above.
int UninstallService();

// What the service runs: serves until `stop` is asked, calling `ready` once
// it listens. Throws std::runtime_error naming the cause when it cannot start
// or fails.
using ServeFunction = std::function<void(StopRequest& stop, const std::function<void()>& ready)>;

// Runs `serve` as the service, its log going to the service's log file and
// its start, stop and failure also to the system's event log. Returns the
// exit status.
int RunAsService(const ServeFunction& serve);

// Sends the notices (an area's alarm and its end) also to the system's own
// log from now on: on Windows the Event Log, as a warning and an
// information event, in a console as in the service. Elsewhere the log line
// is all (a supervisor such as systemd keeps it).
void ForwardNoticesToSystemLog();

// The service was started with options it cannot use: reports `error` to
// the service manager and the logs as a failure to start. Returns `status`.
int FailAsService(const std::string& error, int status);

}  // namespace gw::bridge
