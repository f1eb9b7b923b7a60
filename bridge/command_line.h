// The program's arguments as the bridge reads them: UTF-8, the one encoding
// of its options, file names, log and answers on every platform.
#pragma once

#include <string>
#include <vector>

namespace gw::bridge {

// The arguments after the program name. On POSIX they are argv as given;
// on Windows they come from the UTF-16 command line, whatever the ANSI code
// page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace gw::bridge
