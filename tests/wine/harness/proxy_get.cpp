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
constexpr HRESULT kConnectionReset = static_cast<HRESULT>(0x80072EFFu);
constexpr DWORD kReceiveTimeoutMs = 20000;

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

std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

SOCKET Connected(u_short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  DWORD timeout = kReceiveTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return s;
  closesocket(s);
  return INVALID_SOCKET;
}

}  // namespace

ProxyExchange::ProxyExchange(const std::string& proxy, const std::string& url, const std::string& credentials)
    : proxy_(proxy), url_(url), credentials_(credentials), socket_(INVALID_SOCKET) {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

ProxyExchange::~ProxyExchange() {
  if (socket_ != INVALID_SOCKET) closesocket(static_cast<SOCKET>(socket_));
  if (started_) WSACleanup();
}

HRESULT ProxyExchange::ReceiveHeaders(int* status, std::string* headers) {
  u_short port = LocalProxyPort(proxy_);
  if (port == 0) return kNameNotResolved;
  if (!started_) return kCannotConnect;
  SOCKET s = Connected(port);
  socket_ = s;
  if (s == INVALID_SOCKET || !SendAll(s, RequestText(url_, credentials_))) return kCannotConnect;
  std::string raw;
  char buffer[16384];
  size_t end;
  while ((end = raw.find("\r\n\r\n")) == std::string::npos) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return n == 0 ? kInvalidResponse : kCannotConnect;
    raw.append(buffer, n);
  }
  if (raw.compare(0, 5, "HTTP/") != 0) return kInvalidResponse;
  *status = std::atoi(raw.c_str() + raw.find(' ') + 1);
  *headers = raw.substr(0, end + 2);
  pending_ = raw.substr(end + 4);
  std::string length;
  if (HeaderValue(*headers, "Content-Length", &length)) remaining_ = std::strtoll(length.c_str(), nullptr, 10);
  return S_OK;
}

HRESULT ProxyExchange::ReceiveBody(std::string* piece) {
  piece->clear();
  if (remaining_ == 0) return S_FALSE;
  if (!pending_.empty()) {
    piece->swap(pending_);
  } else {
    char buffer[16384];
    int n = recv(static_cast<SOCKET>(socket_), buffer, sizeof buffer, 0);
    if (n < 0) return kCannotConnect;
    // Without a length, the body ends with the connection.
    if (n == 0) return remaining_ < 0 ? S_FALSE : kConnectionReset;
    piece->assign(buffer, n);
  }
  if (remaining_ < 0) return S_OK;
  if (static_cast<long long>(piece->size()) > remaining_) piece->resize(static_cast<size_t>(remaining_));
  remaining_ -= static_cast<long long>(piece->size());
  return remaining_ == 0 ? S_FALSE : S_OK;
}

void ProxyExchange::Cancel() {
  if (socket_ != INVALID_SOCKET) shutdown(static_cast<SOCKET>(socket_), SD_BOTH);
}

bool ProxyExchange::HeaderValue(const std::string& headers, const std::string& name, std::string* value) {
  const std::string lower = Lower(headers), key = "\r\n" + Lower(name) + ":";
  size_t at = lower.find(key);
  if (at == std::string::npos) return false;
  size_t start = at + key.size(), stop = headers.find("\r\n", start);
  while (start < stop && headers[start] == ' ') ++start;
  *value = headers.substr(start, stop - start);
  return true;
}

}  // namespace gwtest
