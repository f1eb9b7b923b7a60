// The local feed server (tools/feed_server.py) as a child process on
// 127.0.0.1, with its request log, for tests that make real HTTP requests.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/fake_host.h"

namespace gwtest {

// What the server recorded of one request.
struct LoggedRequest {
  std::string target;
  std::optional<std::string> proxyAuthorization;
  // The client's address and port: alike for requests over one connection.
  std::string client;
};

class LocalFeedServer {
 public:
  // Starts the server with these --fault modes and other options (such as
  // "--usage", "3600") and waits for its port.
  explicit LocalFeedServer(const std::vector<std::string>& faults = {},
                           const std::vector<std::string>& options = {});
  ~LocalFeedServer();
  LocalFeedServer(const LocalFeedServer&) = delete;
  LocalFeedServer& operator=(const LocalFeedServer&) = delete;

  int port() const { return port_; }
  std::vector<LoggedRequest> Requests() const;

 private:
  void Stop() noexcept;

  ScratchDir scratch_;
  std::string logFile_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int UnusedLocalPort();

}  // namespace gwtest
