// The service's log: with no console to write to, its lines go to
// %ProgramData%\Gridwren\bridge.log, rotated at 1 MiB with one older file.
#pragma once

#include <string>

namespace gw::bridge {

// Sends the log there from now on; false with the cause when the file
// cannot be opened (the lines are then lost, the Event Log says why).
bool StartServiceLog(std::string* error);

// Writes out what is left, at the end.
void StopServiceLog();

}  // namespace gw::bridge
