// The 58 host functions, exported from the test host by exact name (see the
// generated .def), so the plug-in binds to them as to a real mail client's.
// The ten the plug-in calls do real work and are recorded; the others are
// inert and only note that they were called, which the plug-in never should.
#include <windows.h>

#include <cstdio>
#include <type_traits>

#include "host/base64.h"
#include "host/test_host_state.h"

using gwtest::detail::KeepText;
using gwtest::detail::RunHostCallHook;
using gwtest::detail::State;
using gwtest::detail::StateGuard;

namespace {

// A folder text names a folder inside the data folder; anything that could
// leave it is refused.
bool IsInsideDataFolder(const std::string& folder) {
  if (folder.empty() || folder[0] == '\\' || folder[0] == '/') return false;
  return folder.find(':') == std::string::npos && folder.find("..") == std::string::npos;
}

bool CreateFolders(const std::string& path) {
  for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1)) {
    std::string part = path.substr(0, i);
    if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

// Stores one message as its own file in the folder; call with the lock held.
std::string StoreMessage(const std::string& folder, const std::string& message) {
  if (!IsInsideDataFolder(folder)) return "";
  std::string dir = State().dataFolder + folder;
  if (dir.back() != '\\') dir += '\\';
  if (!CreateFolders(dir)) return "";
  char name[32];
  std::snprintf(name, sizeof name, "%05u.msg", static_cast<unsigned>(State().record.messages.size() + 1));
  return WriteWholeFile(dir + name, message) ? dir + name : "";
}

void NoteInertCall(const char* name) {
  StateGuard guard;
  State().record.inertCalls.push_back(name);
}

}  // namespace

extern "C" {

const char* __stdcall BKA_GetVersion() {
  RunHostCallHook();
  StateGuard guard;
  State().record.versionCalls++;
  return KeepText(State().version);
}

int32_t __stdcall BKA_Command(void* window, const char* command) {
  RunHostCallHook();
  StateGuard guard;
  State().record.commands.push_back({static_cast<HWND>(window), command ? command : ""});
  return 0;
}

int32_t __stdcall BKA_GetWindowHandles(void** main, void** tree, void** list, void** view) {
  RunHostCallHook();
  if (main) *main = gwtest::HostMainWindow();
  if (tree) *tree = nullptr;
  if (list) *list = nullptr;
  if (view) *view = nullptr;
  return 1;
}

uint32_t __stdcall BKA_RegisterCommand(const char* description, int32_t kind, gw::CommandCallback callback) {
  RunHostCallHook();
  StateGuard guard;
  uint32_t id = State().nextCommandId++;
  State().record.registered.push_back({id, description ? description : "", kind, callback, nullptr});
  return id;
}

int32_t __stdcall BKA_RegisterUICallback(uint32_t id, gw::StateCallback callback) {
  RunHostCallHook();
  StateGuard guard;
  for (auto& command : State().record.registered) {
    if (command.id == id) command.state = callback;
  }
  return 0;
}

const char* __stdcall BKA_GetDataFolder() {
  RunHostCallHook();
  StateGuard guard;
  return KeepText(State().dataFolder);
}

const char* __stdcall BKA_GetTempFolder() {
  RunHostCallHook();
  StateGuard guard;
  return KeepText(State().tempFolder);
}

const char* __stdcall BKA_GetCurrentMailBox() {
  RunHostCallHook();
  StateGuard guard;
  return KeepText(State().mailBox);
}

// A fresh, empty file on every call: created exclusively, so no caller in
// this or another process is ever handed the same name.
const char* __stdcall BKA_GetTempFileName(const char* extension) {
  RunHostCallHook();
  StateGuard guard;
  std::string ext = (extension && *extension) ? extension : "tmp";
  if (ext.find_first_of("\\/:") != std::string::npos) return KeepText("");
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "gw%04lx%04x.", GetCurrentProcessId() & 0xFFFFul,
                  State().tempCounter++ & 0xFFFFu);
    std::string path = State().tempFolder + name + ext;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      State().record.tempFiles.push_back(path);
      return KeepText(path);
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return KeepText("");
}

int32_t __stdcall BKA_AppendMessage(const char* folder, const char* message) {
  RunHostCallHook();
  StateGuard guard;
  std::string f = folder ? folder : "", m = message ? message : "";
  std::string file = StoreMessage(f, m);
  State().record.messages.push_back({f, m, file});
  return file.empty() ? -1 : 0;
}

int32_t __stdcall BKA_B64Convert(const char* output, const char* input, int32_t encode) {
  RunHostCallHook();
  int32_t result = gwhost::ConvertFileBase64(output, input, encode);
  StateGuard guard;
  State().record.conversions.push_back({output ? output : "", input ? input : "", encode, result});
  return result;
}

#define UNCALLED_HOST_FUNCTION(name) \
  int32_t __stdcall name() { \
    NoteInertCall(#name); \
    return 0; \
  }
#include "hostapi/host_functions_uncalled.inc"
#undef UNCALLED_HOST_FUNCTION

}  // extern "C"

// The ten working functions must have exactly the types the plug-in calls
// them through, calling convention included.
namespace sig = gw::host_sig;
static_assert(std::is_same_v<decltype(&BKA_GetVersion), sig::GetVersion>);
static_assert(std::is_same_v<decltype(&BKA_Command), sig::Command>);
static_assert(std::is_same_v<decltype(&BKA_GetWindowHandles), sig::GetWindowHandles>);
static_assert(std::is_same_v<decltype(&BKA_RegisterCommand), sig::RegisterCommand>);
static_assert(std::is_same_v<decltype(&BKA_RegisterUICallback), sig::RegisterUICallback>);
static_assert(std::is_same_v<decltype(&BKA_GetDataFolder), sig::GetDataFolder>);
static_assert(std::is_same_v<decltype(&BKA_GetCurrentMailBox), sig::GetCurrentMailBox>);
static_assert(std::is_same_v<decltype(&BKA_GetTempFileName), sig::GetTempFileName>);
static_assert(std::is_same_v<decltype(&BKA_AppendMessage), sig::AppendMessage>);
static_assert(std::is_same_v<decltype(&BKA_B64Convert), sig::B64Convert>);
