#include "support/fake_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "host/base64.h"
#include "settings/registry_file.h"
#include "settings/settings_store.h"

namespace gwtest {
namespace {

FakeHost* g_current = nullptr;
int g_window;

const char* Keep(std::string value) {
  static thread_local std::string slot;
  slot = std::move(value);
  return slot.c_str();
}

const char* GW_CALL GetVersion() { return "2.81.02"; }
int32_t GW_CALL Command(gw::HostWindow, const char* command) {
  g_current->commands.push_back(command ? command : "");
  return 0;
}
int32_t GW_CALL GetWindowHandles(gw::HostWindow* main, gw::HostWindow*, gw::HostWindow*, gw::HostWindow*) {
  *main = &g_window;
  return 1;
}
const char* GW_CALL GetDataFolder() { return g_current->dataFolder.c_str(); }
const char* GW_CALL GetCurrentMailBox() { return g_current->mailBox.c_str(); }
const char* GW_CALL GetTempFileName(const char* ext) {
  static int counter = 0;
  std::string path = g_current->tempFolder + "t" + std::to_string(++counter) + "." + (ext ? ext : "");
  g_current->tempFilesHandedOut.push_back(path);
  return Keep(path);
}
int32_t GW_CALL AppendMessage(const char* folder, const char* text) {
  g_current->appended.push_back({folder ? folder : "", text ? text : ""});
  return 0;
}
int32_t GW_CALL B64Convert(const char* out, const char* in, int32_t encode) {
  if (g_current->beforeBase64) g_current->beforeBase64();
  if (g_current->failBase64) return -1;
  return gwhost::ConvertFileBase64(out, in, encode);
}
int32_t GW_CALL Inert() { return 0; }

gw::HostProc Resolve(const char* name) {
  std::string n = name;
  auto p = [](auto fn) { return reinterpret_cast<gw::HostProc>(fn); };
  if (n == "BKA_GetVersion") return p(GetVersion);
  if (n == "BKA_Command") return p(Command);
  if (n == "BKA_GetWindowHandles") return p(GetWindowHandles);
  if (n == "BKA_GetDataFolder") return p(GetDataFolder);
  if (n == "BKA_GetCurrentMailBox") return p(GetCurrentMailBox);
  if (n == "BKA_GetTempFileName") return p(GetTempFileName);
  if (n == "BKA_AppendMessage") return p(AppendMessage);
  if (n == "BKA_B64Convert") return p(B64Convert);
  return p(Inert);
}

}  // namespace

ScratchDir::ScratchDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "gwtest.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

FakeHost::FakeHost() {
  if (g_current) throw std::logic_error("one FakeHost at a time");
  g_current = this;
  dataFolder = scratch_.path() + "/data/";
  tempFolder = scratch_.path() + "/temp/";
  registryFile = scratch_.path() + "/registry.db";
  std::filesystem::create_directories(dataFolder + mailBox);
  std::filesystem::create_directories(tempFolder);
  gw::CreateRegistryFile(registryFile);
  setenv(gw::kRegistryEnvironment, registryFile.c_str(), 1);
  CreateSettingsKey();
  gw::TheHostApi() = gw::HostApi{};
  gw::BindHostApiWith(gw::TheHostApi(), this, Resolve);
}

FakeHost::~FakeHost() {
  gw::TheHostApi() = gw::HostApi{};
  unsetenv(gw::kRegistryEnvironment);
  g_current = nullptr;
}

void FakeHost::WriteMailBoxIni(const std::string& address) const {
  std::ofstream out(dataFolder + mailBox + "MailBox.ini", std::ios::binary | std::ios::trunc);
  out << "[Account]\r\nName=Test\r\n";
  if (!address.empty()) out << "MailAddress=" << address << "\r\n";
}

void FakeHost::CreateSettingsKey() const { gw::CreateRegistryKey(registryFile, gw::kSettingsKeyPath); }
void FakeHost::DeleteSettingsKey() const { gw::DeleteRegistryKey(registryFile, gw::kSettingsKeyPath); }

FakeHost* CurrentFakeHost() { return g_current; }

}  // namespace gwtest
