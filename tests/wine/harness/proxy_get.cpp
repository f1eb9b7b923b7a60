#include "harness/proxy_get.h"

#include <winsock2.h>

#include <cstdlib>

#include "host/base64.h"

namespace gwtest {
namespace {

// WinHTTP's codes for a proxy that cannot be reached or answers nonsense,
// as the real component would report them.
constexpr HRESULT kCannotConnect = static_cast<HRESULT>(0x80072EFDu);
constexpr HRESULT kNameNotResolved = static_cast<HRESULT>(0x80072EE7u);
constexpr HRESULT kInvalidResponse = static_cast<HRESULT>(0x80072F78u);
constexpr DWORD kReceiveTimeoutMs = 20000;

class Winsock {
 public:
  Winsock() : ok_(WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
  ~Winsock() {
    if (ok_) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  bool ok() const { return ok_; }

 private:
  WSADATA data_;
  bool ok_;
};

// The port of "127.0.0.1:PORT"; 0 for any other proxy.
u_short LocalProxyPort(const std::string& proxy) {
  const std::string prefix = "127.0.0.1:";
  if (proxy.compare(0, prefix.size(), prefix) != 0) return 0;
  char* end = nullptr;
  long port = std::strtol(proxy.c_str() + prefix.size(), &end, 10);
  return (*end == '\0' && port > 0 && port < 65536) ? static_cast<u_short>(port) : 0;
}

std::string HostOf(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  return url.substr(start, url.find('/', start) - start);
}

std::string RequestText(const std::string& url, const std::string& credentials) {
  std::string text = "GET " + url + " HTTP/1.1\r\nHost: " + HostOf(url) + "\r\nConnection: close\r\n";
  if (!credentials.empty()) {
    std::string token = gwhost::EncodeBase64(credentials);
    for (size_t at; (at = token.find_first_of("\r\n")) != std::string::npos;) token.erase(at, 1);
    text += "Proxy-Authorization: Basic " + token + "\r\n";
  }
  return text + "\r\n";
}

bool SendAll(SOCKET s, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    int n = send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// Everything until the server closes the connection.
bool ReceiveAll(SOCKET s, std::string* bytes) {
  char buffer[16384];
  for (;;) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n == 0) return true;
    if (n < 0) return false;
    bytes->append(buffer, n);
  }
}

// Status line, headers, body; the body is cut to Content-Length if given.
ProxyResponse Parse(const std::string& raw) {
  ProxyResponse response;
  size_t end = raw.find("\r\n\r\n");
  if (raw.compare(0, 5, "HTTP/") != 0 || end == std::string::npos) {
    response.hr = kInvalidResponse;
    return response;
  }
  response.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
  response.body = raw.substr(end + 4);
  std::string headers = raw.substr(0, end + 2);
  for (auto& c : headers) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  size_t length = headers.find("\r\ncontent-length:");
  if (length != std::string::npos) {
    size_t declared = std::strtoul(headers.c_str() + length + 17, nullptr, 10);
    if (declared < response.body.size()) response.body.resize(declared);
  }
  response.hr = S_OK;
  return response;
}

}  // namespace

ProxyResponse GetThroughProxy(const std::string& proxy, const std::string& url, const std::string& credentials) {
  ProxyResponse failed;
  u_short port = LocalProxyPort(proxy);
  failed.hr = kNameNotResolved;
  if (port == 0) return failed;
  failed.hr = kCannotConnect;
  Winsock winsock;
  if (!winsock.ok()) return failed;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return failed;
  DWORD timeout = kReceiveTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            SendAll(s, RequestText(url, credentials)) && ReceiveAll(s, &raw);
  closesocket(s);
  return ok ? Parse(raw) : failed;
}

}  // namespace gwtest
