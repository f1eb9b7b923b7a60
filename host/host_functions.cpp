// The 58 host functions, exported by name from the stand-in host so that the
// plug-in finds them exactly as it finds a real mail client's. The ten that
// the plug-in calls do real work against the profile; the rest are inert.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/base64.h"
#include "host/host_functions.h"
#include "host/mailstore.h"
#include "host/profile.h"

using gwhost::CurrentProfile;

namespace gwhost {
namespace {

std::atomic<uint32_t> g_tempCounter{0};
std::atomic<uint32_t> g_nextCommandId{40000};
// The "main window" of a host without windows: an object whose address the
// plug-in hands back with its commands.
int g_mainWindow;

std::vector<RegisteredCommand>& Commands() {
  static std::vector<RegisteredCommand> commands;
  return commands;
}

// Texts returned to the plug-in stay valid until the same thread calls the
// same function again, as a real host's per-call buffers do.
const char* Keep(std::string& slot, std::string value) {
  slot = std::move(value);
  return slot.c_str();
}

}  // namespace

const std::vector<RegisteredCommand>& RegisteredCommands() { return Commands(); }

void* MainWindowHandle() { return &g_mainWindow; }

}  // namespace gwhost

extern "C" {

const char* BKA_GetVersion() {
  static thread_local std::string version;
  return gwhost::Keep(version, gwhost::kHostVersion);
}

int32_t BKA_Command(void* window, const char* command) {
  gwhost::LogLine(std::string("command ") + (command ? command : "") +
                  (window == gwhost::MainWindowHandle() ? " (main window)" : " (unknown window)"));
  if (command && std::string(command) == "Deliver") gwhost::DeliverOutbox();
  return 0;
}

int32_t BKA_GetWindowHandles(void** main, void** tree, void** list, void** view) {
  if (main) *main = gwhost::MainWindowHandle();
  if (tree) *tree = nullptr;
  if (list) *list = nullptr;
  if (view) *view = nullptr;
  return 1;
}

uint32_t BKA_RegisterCommand(const char* description, int32_t kind, gw::CommandCallback callback) {
  uint32_t id = gwhost::g_nextCommandId++;
  gwhost::Commands().push_back({id, description ? description : "", kind, callback, nullptr});
  return id;
}

int32_t BKA_RegisterUICallback(uint32_t id, gw::StateCallback callback) {
  for (auto& c : gwhost::Commands()) {
    if (c.id == id) c.state = callback;
  }
  return 0;
}

const char* BKA_GetDataFolder() {
  static thread_local std::string text;
  return gwhost::Keep(text, CurrentProfile().DataFolder());
}

const char* BKA_GetTempFolder() {
  static thread_local std::string text;
  return gwhost::Keep(text, CurrentProfile().TempFolder());
}

const char* BKA_GetCurrentMailBox() {
  static thread_local std::string text;
  return gwhost::Keep(text, CurrentProfile().MailBoxId());
}

// A fresh name on every call, in this process and against other processes
// sharing the folder: the file is created exclusively, empty, so that no
// other caller can be handed the same name.
const char* BKA_GetTempFileName(const char* extension) {
  static thread_local std::string text;
  std::string ext = (extension && *extension) ? extension : "tmp";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "gw%05u%04x.", static_cast<unsigned>(getpid()) % 100000,
                  gwhost::g_tempCounter++ & 0xFFFFu);
    std::string path = CurrentProfile().TempFolder() + name + ext;
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return gwhost::Keep(text, path);
    }
    if (errno != EEXIST) break;
  }
  return gwhost::Keep(text, "");
}

int32_t BKA_AppendMessage(const char* folder, const char* message) {
  return gwhost::AppendToFolder(folder ? folder : "", message ? message : "");
}

int32_t BKA_B64Convert(const char* output, const char* input, int32_t encode) {
  return gwhost::ConvertFileBase64(output, input, encode);
}

// Services of a mail client that the plug-in never calls.
#define UNCALLED_HOST_FUNCTION(name) \
  int32_t name() { return 0; }
#include "hostapi/host_functions_uncalled.inc"
#undef UNCALLED_HOST_FUNCTION

}  // extern "C"
