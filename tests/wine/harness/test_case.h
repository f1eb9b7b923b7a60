// The test host's cases: each is a function registered by name in the one
// table of cases/case_table.cpp, run with a fresh environment.
#pragma once

#include <stdexcept>
#include <string>

namespace gwtest {

// Which build of the test host a case needs: the current host, or the old
// host that lacks BKA_SetStatus.
enum class HostKind { kAny, kCurrent, kWithoutSetStatus };

// Everything a case gets fresh: its own folders (each ending with "\"), a
// data folder holding the mailbox "MailBox1\", an empty settings key, and a
// host that has recorded nothing yet.
struct TestEnv {
  std::string name;
  std::string root;
  std::string dataFolder;
  std::string mailBox;
  std::string tempFolder;
  std::string exeFolder;

  std::string MailBoxIni() const { return dataFolder + mailBox + "MailBox.ini"; }
  // Writes the mailbox's MailBox.ini; a null address leaves MailAddress out.
  void WriteMailBoxIni(const char* address) const;
};

using TestFunction = void (*)(TestEnv& env);

struct TestCase {
  const char* name;
  TestFunction run;
  HostKind host;
};

// The table, in the order --list prints it.
const TestCase* TestCases();
int TestCaseCount();

// A failed expectation; the runner prints its text as the reason.
class TestFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline void Require(bool ok, const std::string& reason) {
  if (!ok) throw TestFailure(reason);
}

std::string Utf8(const std::wstring& wide);

}  // namespace gwtest
