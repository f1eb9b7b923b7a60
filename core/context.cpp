#include "core/context.h"

namespace gw {
namespace {

void* g_module = nullptr;
Lock* g_checkLock = nullptr;
SettingsStore* g_settings = nullptr;
HostWindow g_mainWindow = nullptr;

}  // namespace

void* PluginModule() { return g_module; }
void SetPluginModule(void* module) { g_module = module; }

Lock& CheckLock() { return *g_checkLock; }

const SettingsStore* Settings() { return g_settings; }

HostWindow HostMainWindow() { return g_mainWindow; }
void SetHostMainWindow(HostWindow window) { g_mainWindow = window; }

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
