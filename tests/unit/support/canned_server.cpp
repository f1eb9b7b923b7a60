#include "support/canned_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace gwtest {
namespace {

constexpr int kPollMs = 50;

// Reads the client's request head, or what comes within a second. Closing
// with unread data would reset the connection, and the client might lose
// the answer.
void ReadRequest(int connection) {
  std::string seen;
  char buffer[4096];
  for (int waited = 0; seen.find("\r\n\r\n") == std::string::npos && waited < 1000;) {
    pollfd p{connection, POLLIN, 0};
    if (poll(&p, 1, kPollMs) == 0) {
      waited += kPollMs;
      continue;
    }
    ssize_t n = read(connection, buffer, sizeof buffer);
    if (n <= 0) return;
    seen.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

CannedServer::CannedServer(std::string answer, Then then) : answer_(std::move(answer)), then_(then) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("cannot start the canned server");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

CannedServer::~CannedServer() {
  stopping_ = true;
  thread_.join();
  for (int connection : held_) close(connection);
  close(listener_);
}

// The answer goes out at once, as an SSH server greets; an HTTP client
// reads it after sending its request all the same.
void CannedServer::Serve() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, kPollMs) <= 0) continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ssize_t written = write(connection, answer_.data(), answer_.size());
    static_cast<void>(written);
    ReadRequest(connection);
    then_ == Then::kHold ? held_.push_back(connection) : static_cast<void>(close(connection));
  }
}

}  // namespace gwtest
