// A host for unit tests: the ten host functions the plug-in calls, backed by
// a scratch folder, bound into the plug-in's host table as a real host's are.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hostapi/host_api.h"

namespace gwtest {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct AppendedMessage {
  std::string folder;
  std::string text;
};

// Binds the plug-in's table to this fake for its lifetime; one at a time.
class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  std::string dataFolder;           // ends with '/'
  std::string mailBox = "MailBox1/";
  std::string tempFolder;           // ends with '/'
  std::vector<std::string> commands;
  std::vector<AppendedMessage> appended;
  std::vector<std::string> tempFilesHandedOut;
  bool failBase64 = false;
  // Runs at the start of every Base64 conversion: the last host call a
  // check makes before it composes the mail.
  std::function<void()> beforeBase64;

  // Writes MailBox.ini of the mailbox; no line at all for an empty address.
  void WriteMailBoxIni(const std::string& address) const;

  // A settings key in a fresh registry file, found through the environment.
  std::string registryFile;
  void CreateSettingsKey() const;
  void DeleteSettingsKey() const;

 private:
  ScratchDir scratch_;
};

FakeHost* CurrentFakeHost();

}  // namespace gwtest
