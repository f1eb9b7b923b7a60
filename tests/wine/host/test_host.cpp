#include "host/test_host.h"

#include "host/test_host_state.h"

#include <atomic>

namespace gwtest {
namespace detail {
namespace {

std::atomic<HostCallHook> g_hook{nullptr};

}  // namespace

void RunHostCallHook() {
  if (HostCallHook hook = g_hook.load()) hook();
}

HostState& State() {
  static HostState* state = [] {
    auto* s = new HostState();
    InitializeCriticalSection(&s->lock);
    s->version = GWT_DEFAULT_VERSION;
    return s;
  }();
  return *state;
}

const char* KeepText(std::string text) {
  State().texts.push_back(std::move(text));
  return State().texts.back().c_str();
}

}  // namespace detail

using detail::State;
using detail::StateGuard;

void ResetHost(const std::string& dataFolder, const std::string& mailBox, const std::string& tempFolder) {
  StateGuard guard;
  auto& s = State();
  s.version = GWT_DEFAULT_VERSION;
  s.dataFolder = dataFolder;
  s.mailBox = mailBox;
  s.tempFolder = tempFolder;
  s.record = HostRecord();
  detail::g_hook.store(nullptr);
}

void SetHostCallHook(HostCallHook hook) { detail::g_hook.store(hook); }

void SetHostVersion(const std::string& version) {
  StateGuard guard;
  State().version = version;
}

HostRecord HostSnapshot() {
  StateGuard guard;
  return State().record;
}

HWND HostMainWindow() {
  // Created once, on the first caller's thread (the test's main thread), and
  // never shown, as a mail client's main window would be when minimised.
  static HWND window = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GwTestHostMain";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"Gridwren test host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  }();
  return window;
}

bool HostHasSetStatus() { return GetProcAddress(GetModuleHandleW(nullptr), "BKA_SetStatus") != nullptr; }

std::vector<std::string> HostFunctionNames() {
  return {
#define HOST_FUNCTION(name, required) "BKA_" #name,
#include "hostapi/host_functions.inc"
#undef HOST_FUNCTION
  };
}

}  // namespace gwtest
