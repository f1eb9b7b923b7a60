#include "core/context.h"

#include <atomic>
#include <chrono>

#include "base/thread.h"

namespace gw {
namespace {

void* g_module = nullptr;
Lock* g_checkLock = nullptr;
SettingsStore* g_settings = nullptr;
HostWindow g_mainWindow = nullptr;
// Read and written by the host's thread and the check threads alike.
std::atomic<bool> g_exiting{false};
std::atomic<int> g_runningChecks{0};

// How often the exit looks whether the checks have ended.
constexpr int kRunningCheckPollMs = 10;

}  // namespace

void* PluginModule() { return g_module; }
void SetPluginModule(void* module) { g_module = module; }

Lock& CheckLock() { return *g_checkLock; }

const SettingsStore* Settings() { return g_settings; }

HostWindow HostMainWindow() { return g_mainWindow; }
void SetHostMainWindow(HostWindow window) { g_mainWindow = window; }

bool HostExiting() { return g_exiting.load(); }
void SetHostExiting(bool exiting) { g_exiting.store(exiting); }

RunningCheck::RunningCheck() { ++g_runningChecks; }
RunningCheck::~RunningCheck() { --g_runningChecks; }

bool WaitForRunningChecks(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (g_runningChecks.load() > 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    SleepMilliseconds(kRunningCheckPollMs);
  }
  return true;
}

void CreateCheckLock() {
  if (g_checkLock == nullptr) g_checkLock = new Lock();
}

void CreateSettings() {
  delete g_settings;
  g_settings = new SettingsStore(RegistryRoot::kCurrentUser, WideString(kSettingsKeyPath));
}

void DestroyContext() {
  delete g_settings;
  g_settings = nullptr;
  delete g_checkLock;
  g_checkLock = nullptr;
}

}  // namespace gw
