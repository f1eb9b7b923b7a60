// The one table of cases. To add one: write `void CaseSomething(TestEnv&)`
// in its own file under cases/, declare it here and add a row.
#include "harness/test_case.h"

namespace gwtest {

void CaseEnvironment(TestEnv& env);
void CaseBinding(TestEnv& env);
void CaseBindingWithoutSetStatus(TestEnv& env);
void CaseExports(TestEnv& env);
void CaseDefaults(TestEnv& env);

namespace {

const TestCase kCases[] = {
    {"environment", CaseEnvironment, HostKind::kCurrent},
    {"binding", CaseBinding, HostKind::kCurrent},
    {"binding_nosetstatus", CaseBindingWithoutSetStatus, HostKind::kWithoutSetStatus},
    {"exports", CaseExports, HostKind::kCurrent},
    {"defaults", CaseDefaults, HostKind::kCurrent},
};

}  // namespace

const TestCase* TestCases() { return kCases; }
int TestCaseCount() { return static_cast<int>(sizeof kCases / sizeof kCases[0]); }

}  // namespace gwtest
