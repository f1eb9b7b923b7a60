#include "host/mailstore.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "host/outgoing_mail.h"
#include "host/profile.h"

namespace gwhost {
namespace {

constexpr int kUnknownFolder = static_cast<int>(0x80070003u);  // path not found
constexpr int kWriteFailed = static_cast<int>(0x8007001Du);    // write fault
constexpr const char* kOutboxName = "!!!!Outbox";

std::atomic<unsigned> g_sequence{0};

// "MailBox1/!!!!Outbox\" names the outbox of mailbox "MailBox1/"; either
// separator may end each piece.
bool IsOutboxOfCurrentMailBox(const std::string& folder) {
  const std::string mailbox = CurrentProfile().MailBoxId();
  if (folder.compare(0, mailbox.size(), mailbox) != 0) return false;
  std::string rest = folder.substr(mailbox.size());
  while (!rest.empty() && (rest.back() == '\\' || rest.back() == '/')) rest.pop_back();
  return rest == kOutboxName;
}

std::string UniqueName() {
  char host[256] = "localhost";
  gethostname(host, sizeof host - 1);
  char name[512];
  std::snprintf(name, sizeof name, "%lld.P%dQ%u.%s", static_cast<long long>(std::time(nullptr)),
                static_cast<int>(getpid()), g_sequence++, host);
  return name;
}

bool WritePrivateFile(const std::string& path, const std::string& data) {
  int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && done == data.size();
}

}  // namespace

int AppendToFolder(const std::string& folder, const std::string& message) {
  if (!IsOutboxOfCurrentMailBox(folder)) {
    LogLine("append refused: unknown folder " + folder);
    return kUnknownFolder;
  }
  // Converting the text into the mail's declared form and dating it is the
  // host's work, not the plug-in's.
  const std::string stored = PrepareForOutbox(message, std::time(nullptr));
  // Maildir delivery: write under tmp/, then rename into new/, so that a
  // reader never sees half a message.
  const std::string name = UniqueName();
  const std::string tmp = CurrentProfile().Outbox() + "/tmp/" + name;
  const std::string dst = CurrentProfile().Outbox() + "/new/" + name;
  // Mail is private to its user, like the mailbox it belongs to.
  if (!WritePrivateFile(tmp, stored)) {
    std::remove(tmp.c_str());
    return kWriteFailed;
  }
  if (std::rename(tmp.c_str(), dst.c_str()) != 0) {
    std::remove(tmp.c_str());
    return kWriteFailed;
  }
  LogLine("append " + folder + " -> outbox/new/" + name);
  return 0;
}

void DeliverOutbox() { LogLine("deliver requested"); }

}  // namespace gwhost
