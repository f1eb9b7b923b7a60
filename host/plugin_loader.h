// Loads the plug-in library the way the Windows loader and a mail client do:
// load, call the entry for process attach (a refusal unloads it again), look
// up callbacks by name; on destruction, process detach and unload.
#pragma once

#include <memory>
#include <string>

namespace gwhost {

class LoadedPlugin {
 public:
  static std::unique_ptr<LoadedPlugin> Load(const std::string& path, std::string* error);
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // A callback by name; null when the library does not export it.
  void* Find(const char* name) const;

  template <typename Fn>
  Fn Callback(const char* name) const {
    return reinterpret_cast<Fn>(Find(name));
  }

 private:
  explicit LoadedPlugin(void* handle) : handle_(handle) {}
  void* handle_;
};

// The plug-in next to this program, unless GRIDWREN_PLUGIN names another.
std::string DefaultPluginPath();

}  // namespace gwhost
