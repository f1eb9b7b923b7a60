#include "host/plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "plugin/plugin.h"

namespace gwhost {
namespace {

using EntryFn = int32_t (*)(void* module, uint32_t reason, void* reserved);

}  // namespace

std::unique_ptr<LoadedPlugin> LoadedPlugin::Load(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = std::string("cannot load the plug-in: ") + dlerror();
    return nullptr;
  }
  auto entry = reinterpret_cast<EntryFn>(dlsym(handle, "DllMain"));
  if (entry == nullptr) {
    dlclose(handle);
    *error = "cannot load the plug-in: " + path + " has no library entry (DllMain)";
    return nullptr;
  }
  if (!entry(handle, gw::kProcessAttach, nullptr)) {
    dlclose(handle);
    *error = "the plug-in refused to load: this host lacks a host function it requires";
    return nullptr;
  }
  return std::unique_ptr<LoadedPlugin>(new LoadedPlugin(handle));
}

LoadedPlugin::~LoadedPlugin() {
  if (auto entry = reinterpret_cast<EntryFn>(dlsym(handle_, "DllMain")))
    entry(handle_, gw::kProcessDetach, nullptr);
  dlclose(handle_);
}

void* LoadedPlugin::Find(const char* name) const { return dlsym(handle_, name); }

std::string DefaultPluginPath() {
  if (const char* env = std::getenv("GRIDWREN_PLUGIN"); env && *env) return env;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "libgridwren.so";
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.find_last_of('/') + 1);
  return dir + "libgridwren.so";
}

}  // namespace gwhost
