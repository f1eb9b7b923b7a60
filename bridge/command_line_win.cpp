#include "bridge/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {

// The C runtime's argv is the command line converted to the ANSI code page:
// a character that page lacks becomes "?" or a look-alike ("Jörg" becomes
// "Jorg" under code page 932), which could name another, existing file.
// Windows keeps the command line itself in UTF-16, and that is read here.
std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::runtime_error("cannot read the command line");
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

}  // namespace gw::bridge
