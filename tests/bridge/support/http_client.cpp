#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "base/base64.h"

namespace gwtest {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Connection::Connection(int port, int timeoutSeconds, const std::string& from) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{timeoutSeconds, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if (!from.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      throw std::runtime_error("cannot bind to " + from);
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
}

Connection::~Connection() { close(fd_); }

bool Connection::Send(const std::string& bytes) {
  return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool Connection::ClosedByServer() {
  char c;
  return pending_.empty() && recv(fd_, &c, 1, 0) == 0;
}

bool Connection::EndedByServer() {
  char c;
  const ssize_t n = recv(fd_, &c, 1, 0);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

bool Connection::EndsWithoutReset() {
  shutdown(fd_, SHUT_WR);
  timeval timeout{};
  socklen_t size = sizeof timeout;
  getsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, &size);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout.tv_sec);
  tcp_info info{};
  do {
    size = sizeof info;
    if (getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return false;
    if (info.tcpi_state == TCP_CLOSE) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  int error = 0;
  size = sizeof error;
  getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
  return info.tcpi_state == TCP_CLOSE && error == 0;
}

// Head up to the blank line, then Content-Length bytes of body.
HttpAnswer Connection::Receive(bool head) {
  HttpAnswer answer;
  char chunk[65536];
  size_t end;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return answer;
    pending_.append(chunk, static_cast<size_t>(n));
  }
  std::string top = pending_.substr(0, end);
  pending_.erase(0, end + 4);
  answer.status = std::atoi(top.substr(top.find(' ') + 1, 3).c_str());
  for (size_t at = top.find("\r\n"); at != std::string::npos;) {
    size_t next = top.find("\r\n", at + 2);
    std::string line = top.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
    size_t colon = line.find(':');
    if (colon != std::string::npos) answer.headers[Lower(line.substr(0, colon))] = line.substr(colon + 2);
    at = next;
  }
  size_t length = head ? 0 : std::strtoul(answer.headers["content-length"].c_str(), nullptr, 10);
  while (pending_.size() < length) {
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    pending_.append(chunk, static_cast<size_t>(n));
  }
  answer.body = pending_.substr(0, length);
  pending_.erase(0, answer.body.size());
  return answer;
}

std::string BasicCredentials(const std::string& pair) {
  // The encoder breaks lines for mail; a header takes one line.
  const std::string encoded = gw::EncodeBase64(pair);
  return "Basic " + encoded.substr(0, encoded.find('\r'));
}

}  // namespace gwtest
