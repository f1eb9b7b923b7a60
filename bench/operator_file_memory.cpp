// Peak memory of the operator-file reader on one file, the way the bridge
// meets it: each area's poller holds its own copy of the fetched bytes and
// reads it on its own thread, all at about the same moment after a start.
// Prints the process's resident memory before the reading and its peak
// after, in KiB, as one line: bench/operator_file_memory.sh runs it on a
// normal file and on hostile ones, natively and under Wine, and compares.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#endif

#include "bridge/reading/areas.h"
#include "bridge/reading/operator_file.h"

namespace {

struct Memory {
  long currentKib = 0, peakKib = 0;
};

#ifdef _WIN32
Memory ProcessMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  Memory m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    m.currentKib = static_cast<long>(counters.WorkingSetSize / 1024);
    m.peakKib = static_cast<long>(counters.PeakWorkingSetSize / 1024);
  }
  return m;
}
#else
// VmRSS and VmHWM (its high-water mark) from the kernel's own account.
Memory ProcessMemory() {
  std::ifstream status("/proc/self/status");
  Memory m;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) m.currentKib = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) m.peakKib = std::atol(line.c_str() + 6);
  }
  return m;
}
#endif

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "operator_file_memory: %s\n", message);
  std::fprintf(message ? stderr : stdout,
               "usage: operator_file_memory [--areas N] [--area NAME] FILE\n"
               "  Reads FILE as an operator's file N times at once (default 1, at most 10),\n"
               "  one copy and one thread per area as the bridge's pollers do, and prints\n"
               "  'before KIB peak KIB after KIB refused N reason TEXT'.\n");
  return message ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int areas = 1;
  std::string areaName = "tokyo", path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return Usage(nullptr);
    if (std::strcmp(argv[i], "--areas") == 0 && i + 1 < argc) {
      areas = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--area") == 0 && i + 1 < argc) {
      areaName = argv[++i];
    } else if (argv[i][0] != '-' && path.empty()) {
      path = argv[i];
    } else {
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    }
  }
  if (path.empty() || areas < 1 || areas > 10) return Usage("one FILE and --areas from 1 to 10, please");
  const gw::bridge::Area* area = gw::bridge::FindArea(areaName);
  if (area == nullptr) return Usage(("no area " + areaName + "; the areas: " + gw::bridge::AreaNames()).c_str());
  std::ifstream in(path, std::ios::binary);
  if (!in) return Usage(("cannot open " + path).c_str());
  std::ostringstream read;
  read << in.rdbuf();
  // Each copy sized exactly, as a whole fetched body would be at most.
  std::vector<std::string> copies(static_cast<size_t>(areas), read.str());
  const Memory before = ProcessMemory();
  std::vector<std::string> reasons(copies.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < copies.size(); ++i) {
    threads.emplace_back([&, i] {
      if (!gw::bridge::TryReadOperatorFile(copies[i], *area, &reasons[i])) return;
      reasons[i].clear();
    });
  }
  for (auto& t : threads) t.join();
  const Memory after = ProcessMemory();
  size_t refused = 0;
  for (const auto& r : reasons) refused += r.empty() ? 0 : 1;
  std::printf("before %ld peak %ld after %ld refused %zu reason %s\n", before.currentKib, after.peakKib,
              after.currentKib, refused, reasons[0].empty() ? "-" : reasons[0].c_str());
  return 0;
}
