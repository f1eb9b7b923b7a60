// What the stand-in host keeps about the plug-in's calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostapi/host_api.h"

namespace gwhost {

// A newer host: from "2.00.06" on, plug-ins require BKA_SetStatus too.
constexpr const char* kHostVersion = "2.81.02";

struct RegisteredCommand {
  uint32_t id;
  std::string description;
  int32_t kind;
  gw::CommandCallback command;
  gw::StateCallback state;
};

const std::vector<RegisteredCommand>& RegisteredCommands();
void* MainWindowHandle();

}  // namespace gwhost
