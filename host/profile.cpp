#include "host/profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "settings/registry_file.h"
#include "settings/settings_store.h"

namespace gwhost {
namespace {

Profile g_profile;
std::mutex g_logMutex;

bool MakeDir(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *error = path + ": exists and is not a folder";
    return false;
  }
  *error = path + ": " + std::strerror(errno);
  return false;
}

// Creates `path` and every missing folder above it, as `git init` and
// `mkdir -p` do.
bool MakeDirs(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (path[slash - 1] != '/' && !MakeDir(path.substr(0, slash), error)) return false;
  }
  return MakeDir(path, error);
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool WriteMailBoxIni(const Profile& p, const std::string& address, std::string* error) {
  std::string ini = p.MailBoxFolder() + "MailBox.ini";
  if (Exists(ini) && address.empty()) return true;
  std::ofstream out(ini, std::ios::binary | std::ios::trunc);
  // MailBox.ini is text in the system code page; addresses are ASCII.
  out << "[Account]\r\nName=Gridwren demo\r\n";
  if (!address.empty()) out << "MailAddress=" << address << "\r\n";
  if (!out) *error = ini + ": cannot write";
  return static_cast<bool>(out);
}

}  // namespace

bool InitProfile(const Profile& p, const std::string& address, std::string* error) {
  if (!MakeDirs(p.root, error)) return false;
  for (const std::string& dir : {p.DataFolder(), p.MailBoxFolder(), p.TempFolder(), p.Outbox(),
                                 p.Outbox() + "/tmp", p.Outbox() + "/new", p.Outbox() + "/cur"}) {
    if (!MakeDir(dir, error)) return false;
  }
  if (!WriteMailBoxIni(p, address, error)) return false;
  return gw::CreateRegistryFile(p.Registry(), error) &&
         gw::CreateRegistryKey(p.Registry(), gw::kSettingsKeyPath, error);
}

bool CheckProfile(const Profile& p, std::string* error) {
  for (const std::string& path : {p.Registry(), p.MailBoxFolder(), p.TempFolder(), p.Outbox() + "/new"}) {
    if (!Exists(path)) {
      *error = "no profile at " + p.root + " (missing " + path + "); create one with 'gridwren-host init'";
      return false;
    }
  }
  return true;
}

const Profile& CurrentProfile() { return g_profile; }
void SetCurrentProfile(const Profile& profile) { g_profile = profile; }

void LogLine(const std::string& line) {
  std::lock_guard<std::mutex> guard(g_logMutex);
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::ofstream(g_profile.Log(), std::ios::app) << stamp << ' ' << line << '\n';
}

}  // namespace gwhost
