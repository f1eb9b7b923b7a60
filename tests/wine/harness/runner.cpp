// gwtesthost.exe --list | --all | NAME...
// Runs the named cases in this process, each in a fresh environment, prints
// "PASS name" or "FAIL name: reason" for each and "N passed, N failed" at the
// end, and exits with 0 only when none failed. run.sh starts one process per
// case, so that a case that crashes or loads the plug-in does not affect the
// next one.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness/test_env.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

const char* g_current = "(none)";
int g_passed = 0;
int g_failed = 0;

HostKind ThisHost() { return HostHasSetStatus() ? HostKind::kCurrent : HostKind::kWithoutSetStatus; }

bool RunsHere(const TestCase& test) { return test.host == HostKind::kAny || test.host == ThisHost(); }

// A crash inside the plug-in ends the process; say which case it was first.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  std::printf("FAIL %s: crashed with exception 0x%08lx at %p\n", g_current,
              info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
  std::printf("%d passed, %d failed\n", g_passed, g_failed + 1);
  ExitProcess(3);
}

const TestCase* Find(const std::string& name) {
  for (int i = 0; i < TestCaseCount(); ++i) {
    if (name == TestCases()[i].name) return &TestCases()[i];
  }
  return nullptr;
}

std::string Failure(const std::string& name) {
  const TestCase* test = Find(name);
  if (!test) return "no such test case";
  if (!RunsHere(*test)) return HostHasSetStatus() ? "needs the host without BKA_SetStatus" : "needs the current host";
  g_current = test->name;
  try {
    TestEnv env = MakeTestEnv(name);
    test->run(env);
    return "";
  } catch (const std::exception& e) {
    std::string reason = e.what();
    return reason.empty() ? "failed" : reason;
  } catch (...) {
    return "unknown exception";
  }
}

void Run(const std::string& name) {
  std::string reason = Failure(name);
  if (reason.empty()) {
    std::printf("PASS %s\n", name.c_str());
    ++g_passed;
  } else {
    std::printf("FAIL %s: %s\n", name.c_str(), reason.c_str());
    ++g_failed;
  }
}

}  // namespace
}  // namespace gwtest

int main(int argc, char** argv) {
  using namespace gwtest;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  if (argc < 2) {
    std::printf("usage: %s --list | --all | NAME...\n", argv[0]);
    return 2;
  }
  std::vector<std::string> names;
  for (int i = 0; i < TestCaseCount(); ++i) {
    if (RunsHere(TestCases()[i])) names.push_back(TestCases()[i].name);
  }
  if (std::strcmp(argv[1], "--list") == 0) {
    for (const auto& name : names) std::printf("%s\n", name.c_str());
    return 0;
  }
  if (std::strcmp(argv[1], "--all") != 0) names.assign(argv + 1, argv + argc);
  HostMainWindow();  // created on this thread, before any case runs
  for (const auto& name : names) Run(name);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
