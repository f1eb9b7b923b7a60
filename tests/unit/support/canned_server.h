// A server on 127.0.0.1 that greets every connection with the same bytes,
// for answers that the feed server cannot give: another protocol's greeting
// on the proxy port, or a hand-made HTTP response.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace gwtest {

class CannedServer {
 public:
  // After the answer and the client's request: close the connection, or
  // hold it open without a further byte until the server is destroyed.
  enum class Then { kClose, kHold };

  CannedServer(std::string answer, Then then);
  ~CannedServer();
  CannedServer(const CannedServer&) = delete;
  CannedServer& operator=(const CannedServer&) = delete;

  int port() const { return port_; }

 private:
  void Serve();

  std::string answer_;
  Then then_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<int> held_;
  std::thread thread_;
};

}  // namespace gwtest
