#include "bridge/command_line.h"

namespace gw::bridge {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

}  // namespace gw::bridge
