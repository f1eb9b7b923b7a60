// Command-line plumbing shared by the stand-in host's commands.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/profile.h"

namespace gwhost {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Invocation {
  Profile profile;
  std::string pluginPath;
  std::vector<std::string> args;  // after the command name
};

struct Command {
  const char* name;
  const char* summary;
  const char* help;  // full usage text
  bool needsProfile;
  std::function<int(const Invocation&)> run;
};

// Prints "gridwren-host: <message>" to standard error and returns `code`.
int Fail(int code, const std::string& message);

bool WantsHelp(const std::vector<std::string>& args);

// The commands, each defined in its own file.
Command InitCommand();
Command StartCommand();
Command SettingsCommand();
Command OutboxCommand();
Command CheckCommand();
Command RunCommand();
Command ReadFeedCommand();
Command SetupCommand();
Command MenuCommand();

}  // namespace gwhost
