// The callbacks the host calls: exported by exactly the names of the .def
// file (and nothing else, such as decorated duplicates), each removing its
// own arguments from the stack as a standard-call function must; a wrong
// count would corrupt the mail client's stack on every call.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/modal_canceller.h"
#include "harness/plugin_module.h"
#include "harness/plugin_threads.h"
#include "harness/settings_key.h"
#include "harness/stdcall_probe.h"
#include "harness/test_case.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

template <typename T>
uint32_t Arg(T* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// Plausible arguments, as the mail client would pass them.
struct Fixture {
  HWND window = HostMainWindow();
  HMENU menu = CreateMenu();
  char folder[32] = "MailBox1\\!!!!Inbox\\";
  char mailId[40] = "MailBox1\\!!!!Inbox\\00001.msg";
  char message[64] = "From: a@example.jp\r\nSubject: test\r\n\r\nbody\r\n";
  int32_t action = 0;
  char* actionParam = nullptr;
  char info[1024] = {};

  Fixture() {
    // A main menu with the five submenus a mail client has; the plug-in adds
    // its item to the fifth.
    for (int i = 0; i < 5; ++i) AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"&M");
  }
  ~Fixture() { DestroyMenu(menu); }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;
};

struct Callback {
  const char* name;
  std::vector<uint32_t> args;
};

// Every callback the plug-in has or will have, in the order a host calls
// them; the argument count is what the host pushes. Rows for names not yet
// in the .def file are skipped.
std::vector<Callback> Callbacks(Fixture& f) {
  uint32_t window = Arg(f.window);
  return {
      {"BKC_OnStart", {}},
      {"BKC_OnPlugInInfo", {Arg(f.info)}},
      {"BKC_OnMenuInit", {window, Arg(f.menu), 0}},
      {"BKC_OnEveryMinute", {}},
      {"BKC_OnOpenFolder", {Arg(f.folder)}},
      {"BKC_OnOpenMail", {Arg(f.mailId)}},
      {"BKC_OnOpenCompose", {window, 0}},
      {"BKC_OnOutgoing", {window, 0}},
      {"BKC_OnKeyDispatch", {window, 'A', 0}},
      {"BKC_OnRetrieve", {Arg(f.message), Arg(f.mailId)}},
      {"BKC_OnSend", {Arg(f.message)}},
      {"BKC_OnFinishRetrieve", {1}},
      {"BKC_OnDragDrop", {Arg(f.folder), Arg(f.folder), 1, 0}},
      {"BKC_OnBeforeFilter2", {Arg(f.message), Arg(f.mailId), Arg(&f.action), Arg(&f.actionParam)}},
      {"BKC_OnPlugInSetup", {window}},
      {"BKC_OnExit", {}},
  };
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Difference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::string out;
  for (const auto& name : a) {
    if (!Contains(b, name)) out += (out.empty() ? "" : ", ") + name;
  }
  return out;
}

void RequireExactExportTable(HMODULE plugin) {
  auto defined = DefinedExports();
  auto exported = ExportedNames(plugin);
  std::string missing = Difference(defined, exported), extra = Difference(exported, defined);
  Require(missing.empty(), "not exported by exact name: " + missing);
  Require(extra.empty(), "exported beyond the .def file: " + extra);
}

void RequireEveryExportHasARow(const std::vector<Callback>& callbacks) {
  for (const auto& name : DefinedExports()) {
    bool known = std::any_of(callbacks.begin(), callbacks.end(), [&](const Callback& c) { return name == c.name; });
    Require(known, name + " has no row in the callback table of exports_test.cpp");
  }
}

// Calls every exported callback; returns what each removed wrongly.
std::string WrongArgumentCounts(HMODULE plugin, const std::vector<Callback>& callbacks) {
  ModalCanceller canceller;  // BKC_OnPlugInSetup opens the settings dialog
  std::string wrong;
  for (const auto& callback : callbacks) {
    if (!Contains(DefinedExports(), callback.name)) continue;
    ProbedCall call = CallProbed(RequireExport(plugin, callback.name), callback.args);
    int32_t expected = static_cast<int32_t>(4 * callback.args.size());
    if (call.popped != expected) {
      wrong += std::string(wrong.empty() ? "" : "; ") + callback.name + " removed " + std::to_string(call.popped) +
               " bytes of arguments, not " + std::to_string(expected);
    }
  }
  return wrong;
}

}  // namespace

void CaseExports(TestEnv&) {
  HMODULE plugin = RequirePlugin();
  RequireExactExportTable(plugin);
  // BKC_OnStart starts a usage check: it must find the plug-in paused and
  // behind a proxy where nothing listens.
  PresetOffline();

  Fixture fixture;
  auto callbacks = Callbacks(fixture);
  RequireEveryExportHasARow(callbacks);
  std::string wrong = WrongArgumentCounts(plugin, callbacks);
  Require(wrong.empty(), wrong);
  WaitForPluginThreads(plugin);
  HostRecord record = HostSnapshot();
  Require(record.inertCalls.empty(), "the plug-in called " + (record.inertCalls.empty() ? "" : record.inertCalls[0]));
}

}  // namespace gwtest
