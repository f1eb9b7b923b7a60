// Registering and removing the Windows service GridwrenBridge.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <thread>

#include "bridge/options.h"
#include "bridge/service/service.h"
#include "bridge/service/service_events.h"
#include "bridge/upstream/winhttp_support.h"

namespace gw::bridge {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr wchar_t kDisplayName[] = L"Gridwren bridge";
constexpr wchar_t kDescription[] =
    L"Reads the grid operator's usage file and serves the Gridwren mail plug-in's documents and graphs.";
constexpr wchar_t kAccount[] = L"NT AUTHORITY\\LocalService";
constexpr auto kStopWait = std::chrono::seconds(30);

int Fail(const char* what, DWORD error) {
  if (error == ERROR_ACCESS_DENIED) {
    std::fprintf(stderr,
                 "gridwren-bridge: %s needs administrator rights, and Windows refused them: run it from a "
                 "console opened with \"Run as administrator\"\n",
                 what);
  } else {
    std::fprintf(stderr, "gridwren-bridge: %s failed: Windows error %lu\n", what, error);
  }
  return kExitFailure;
}

struct ServiceHandle {
  SC_HANDLE h;
  explicit ServiceHandle(SC_HANDLE handle) : h(handle) {}
  ~ServiceHandle() {
    if (h != nullptr) CloseServiceHandle(h);
  }
};

// Quoted as the C runtime's and CommandLineToArgvW's parsing reads it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    // Backslashes count only before a quote: there they are doubled, and
    // the quote itself escaped.
    if (c == L'"') out.append(slashes + 1, L'\\');
    slashes = c == L'\\' ? slashes + 1 : 0;
    out += c;
  }
  // Backslashes before the closing quote are doubled; those already copied
  // once need copying once more.
  out.append(slashes, L'\\');
  return out + L"\"";
}

// The service starts in the system folder: the files it is given are made
// absolute here, from the folder the install was run in.
std::wstring Absolute(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path;
}

bool NamesFile(const std::string& option, const std::wstring& value) {
  if (option == "--password-file" || option == "--port-file") return true;
  return option == "--font" && GetFileAttributesW(value.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return std::wstring(path, n);
}

std::wstring ServiceCommandLine(const std::vector<std::string>& serveArgs) {
  std::wstring line = Quoted(ProgramPath()) + L" " + Widen(kRunAsServiceFlag);
  for (size_t i = 0; i < serveArgs.size(); ++i) {
    std::string option = serveArgs[i].substr(0, serveArgs[i].find('='));
    std::wstring value = Widen(serveArgs[i]);
    if (option != serveArgs[i]) {
      std::wstring inlineValue = value.substr(value.find(L'=') + 1);
      if (NamesFile(option, inlineValue)) value = Widen(option) + L"=" + Absolute(inlineValue);
    } else if (i + 1 < serveArgs.size() && NamesFile(option, Widen(serveArgs[i + 1]))) {
      line += L" " + value;
      value = Absolute(Widen(serveArgs[++i]));
    }
    line += L" " + Quoted(value);
  }
  return line;
}

// The log's folder, made at install so that an administrator sees where
// the log goes before the service first starts.
std::wstring LogFolder() {
  wchar_t* data = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) folder = std::wstring(data) + L"\\Gridwren";
  CoTaskMemFree(data);
  if (!folder.empty()) CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void Describe(SC_HANDLE service) {
  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
  // A crash is restarted after a minute, twice; then it stays stopped.
  SC_ACTION restart[] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 0}};
  SERVICE_FAILURE_ACTIONSW actions{86400, nullptr, nullptr, 3, restart};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
}

}  // namespace

int InstallService(const std::vector<std::string>& serveArgs) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (manager.h == nullptr) return Fail("installing the service", GetLastError());
  const std::wstring line = ServiceCommandLine(serveArgs);
  ServiceHandle service(CreateServiceW(manager.h, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       line.c_str(), nullptr, nullptr, nullptr, kAccount, L""));
  if (service.h == nullptr) {
    DWORD error = GetLastError();
    if (error != ERROR_SERVICE_EXISTS) return Fail("installing the service", error);
    std::fprintf(stderr, "gridwren-bridge: the service GridwrenBridge is already installed; to change its "
                         "options, run --uninstall-service first\n");
    return kExitFailure;
  }
  Describe(service.h);
  DWORD error = 0;
  if (!AddEventSource(ProgramPath(), &error)) return Fail("registering the Event Log source", error);
  const std::wstring folder = LogFolder();
  // In UTF-8, as the log is: the C runtime's %ls would stop at the first
  // character the ANSI code page lacks, cutting the command line short.
  std::printf("installed the service GridwrenBridge (\"Gridwren bridge\"), starting with Windows as %s:\n  %s\n"
              "start it now with: net start GridwrenBridge\nits log: %s\\bridge.log\n",
              Narrow(kAccount).c_str(), Narrow(line).c_str(), Narrow(folder).c_str());
  return kExitOk;
}

namespace {

// Asks the service to stop and waits until it has, or until kStopWait.
bool StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) return true;
    if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

}  // namespace

int UninstallService() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.h == nullptr) return Fail("removing the service", GetLastError());
  ServiceHandle service(OpenServiceW(manager.h, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (service.h == nullptr) {
    DWORD error = GetLastError();
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) return Fail("removing the service", error);
    std::fprintf(stderr, "gridwren-bridge: the service GridwrenBridge is not installed\n");
    return kExitFailure;
  }
  if (!StopAndWait(service.h)) {
    std::fprintf(stderr, "gridwren-bridge: the service GridwrenBridge did not stop; it is removed once it has\n");
  }
  if (!DeleteService(service.h)) return Fail("removing the service", GetLastError());
  DWORD error = 0;
  RemoveEventSource(&error);
  std::printf("removed the service GridwrenBridge; its log stays in %s\n", Narrow(LogFolder()).c_str());
  return kExitOk;
}

}  // namespace gw::bridge
