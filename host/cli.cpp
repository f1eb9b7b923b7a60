#include "host/cli.h"

#include <iostream>

namespace gwhost {

int Fail(int code, const std::string& message) {
  std::cerr << "gridwren-host: " << message << '\n';
  return code;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace gwhost
