// The one table of cases. To add one: write `void CaseSomething(TestEnv&)`
// in its own file under cases/, declare it here and add a row.
#include "harness/test_case.h"

namespace gwtest {

void CaseEnvironment(TestEnv& env);
void CaseBinding(TestEnv& env);
void CaseBindingWithoutSetStatus(TestEnv& env);
void CaseExports(TestEnv& env);
void CaseDefaults(TestEnv& env);
void CaseDownloadCom(TestEnv& env);
void CaseBridgeChain(TestEnv& env);
void CaseUnloadDuringCheck(TestEnv& env);
void CaseExitDuringCheck(TestEnv& env);
void CaseDownloadLimits(TestEnv& env);
void CaseTestMailBox(TestEnv& env);

void CaseDialogLoad(TestEnv& env);
void CaseDialogOk(TestEnv& env);
void CaseDialogCancel(TestEnv& env);
void CaseResources(TestEnv& env);
void CasePluginInfo(TestEnv& env);
void CaseMenu(TestEnv& env);
void CaseDialogTestMail(TestEnv& env);
void CaseDialogLinks(TestEnv& env);
void CaseDialogGlyphs(TestEnv& env);
void CaseDialogLayout(TestEnv& env);

namespace {

const TestCase kCases[] = {
    {"environment", CaseEnvironment, HostKind::kCurrent},
    {"binding", CaseBinding, HostKind::kCurrent},
    {"binding_nosetstatus", CaseBindingWithoutSetStatus, HostKind::kWithoutSetStatus},
    {"exports", CaseExports, HostKind::kCurrent},
    {"defaults", CaseDefaults, HostKind::kCurrent},
    {"download_com", CaseDownloadCom, HostKind::kCurrent},
    // Run by bridge.sh once gridwren-bridge.exe serves, not in the hosts' round.
    {"bridge_chain", CaseBridgeChain, HostKind::kCurrent},
    {"unload_during_check", CaseUnloadDuringCheck, HostKind::kCurrent},
    {"exit_during_check", CaseExitDuringCheck, HostKind::kCurrent},
    {"download_limits", CaseDownloadLimits, HostKind::kCurrent},
    {"test_mail_box", CaseTestMailBox, HostKind::kCurrent},
    {"dialog_load", CaseDialogLoad, HostKind::kCurrent},
    {"dialog_ok", CaseDialogOk, HostKind::kCurrent},
    {"dialog_cancel", CaseDialogCancel, HostKind::kCurrent},
    {"resources", CaseResources, HostKind::kCurrent},
    {"plugin_info", CasePluginInfo, HostKind::kCurrent},
    {"menu", CaseMenu, HostKind::kCurrent},
    {"dialog_test_mail", CaseDialogTestMail, HostKind::kCurrent},
    {"dialog_links", CaseDialogLinks, HostKind::kCurrent},
    {"dialog_glyphs", CaseDialogGlyphs, HostKind::kCurrent},
    {"dialog_layout", CaseDialogLayout, HostKind::kCurrent},
};

}  // namespace

const TestCase* TestCases() { return kCases; }
int TestCaseCount() { return static_cast<int>(sizeof kCases / sizeof kCases[0]); }

}  // namespace gwtest
