// The stand-in host's profile folder: what a mail client keeps for one user.
//   DIR/registry.db            the user's settings key (the registry)
//   DIR/data/                  the data folder
//   DIR/data/MailBox1/         the one mailbox, with MailBox.ini
//   DIR/data/MailBox1/outbox/  its outbox, a Maildir
//   DIR/temp/                  temporary files handed to plug-ins
//   DIR/host.log               commands the plug-in gave the host
#pragma once

#include <string>

namespace gwhost {

struct Profile {
  std::string root;

  std::string Registry() const { return root + "/registry.db"; }
  std::string DataFolder() const { return root + "/data/"; }
  // Relative to the data folder, ending in a separator as the host's
  // mailbox identifiers do.
  std::string MailBoxId() const { return "MailBox1/"; }
  std::string MailBoxFolder() const { return DataFolder() + MailBoxId(); }
  std::string Outbox() const { return MailBoxFolder() + "outbox"; }
  std::string TempFolder() const { return root + "/temp/"; }
  std::string Log() const { return root + "/host.log"; }
};

// Creates the folders (the profile folder with any missing folders above
// it), MailBox.ini with the address, the registry file and an empty
// settings key. Existing content is kept, so it is safe to repeat.
bool InitProfile(const Profile& profile, const std::string& address, std::string* error);

// Checks that `profile` has been initialised.
bool CheckProfile(const Profile& profile, std::string* error);

// The profile in use by this process (the host functions need it).
const Profile& CurrentProfile();
void SetCurrentProfile(const Profile& profile);

// Appends one line to the host's log.
void LogLine(const std::string& line);

}  // namespace gwhost
