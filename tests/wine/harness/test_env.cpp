#include "harness/test_env.h"

#include "harness/settings_key.h"
#include "host/test_host.h"

namespace gwtest {
namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

void MakeFolder(const std::string& path) {
  Require(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS,
          "cannot create " + path);
}

// A folder no earlier case or run has used.
std::string FreshFolder(const std::string& parent, const std::string& name) {
  MakeFolder(parent);
  for (int n = 1; n < 10000; ++n) {
    std::string path = parent + name + "-" + std::to_string(n) + "\\";
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    Require(GetLastError() == ERROR_ALREADY_EXISTS, "cannot create " + path);
  }
  throw TestFailure("no free folder for " + name);
}

}  // namespace

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  Require(file != INVALID_HANDLE_VALUE, "cannot create " + path);
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  Require(ok && written == bytes.size(), "cannot write " + path);
}

void TestEnv::WriteMailBoxIni(const char* address) const {
  std::string text = "[Account]\r\nName=Gridwren Test\r\n";
  if (address) text += std::string("MailAddress=") + address + "\r\n";
  text += "\r\n[Settings]\r\nSortOrder=0\r\n";
  WriteWholeFile(MailBoxIni(), text);
}

TestEnv MakeTestEnv(const std::string& name) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, temp);
  Require(n > 0 && n < MAX_PATH, "no temporary folder");
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);

  TestEnv env;
  env.name = name;
  env.root = FreshFolder(std::string(temp) + "gwtest\\", name);
  env.dataFolder = env.root + "data\\";
  env.mailBox = "MailBox1\\";
  env.tempFolder = env.root + "temp\\";
  env.exeFolder = FolderOf(exe);
  MakeFolder(env.dataFolder);
  MakeFolder(env.dataFolder + env.mailBox);
  MakeFolder(env.tempFolder);
  env.WriteMailBoxIni(kAccountAddress);

  ResetSettingsKey();
  ResetHost(env.dataFolder, env.mailBox, env.tempFolder);
  return env;
}

}  // namespace gwtest
