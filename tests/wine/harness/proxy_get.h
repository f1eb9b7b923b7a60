// The one way the test double of ServerXMLHTTP reaches a server: an HTTP
// GET of an absolute address sent to a proxy on this machine, which is how
// the plug-in reaches the local feed server too. Any proxy that is not on
// 127.0.0.1 is refused, so no test can contact a real host.
#pragma once

#include <windows.h>

#include <string>

namespace gwtest {

// One HTTP GET through the local proxy, step by step, as a request object
// that answers asynchronously needs it: the status and headers are known
// before the body has come, and Cancel, from any thread, ends a wait for
// either at once. `proxy` is "127.0.0.1:PORT"; `credentials` is
// "user:password" in the system code page, sent as Basic proxy
// authorization unless empty.
class ProxyExchange {
 public:
  ProxyExchange(const std::string& proxy, const std::string& url, const std::string& credentials);
  ~ProxyExchange();
  ProxyExchange(const ProxyExchange&) = delete;
  ProxyExchange& operator=(const ProxyExchange&) = delete;

  // Connects, sends the request and reads the status line and headers.
  HRESULT ReceiveHeaders(int* status, std::string* headers);
  // Reads the next piece of the body into `piece`; S_FALSE once it is whole.
  HRESULT ReceiveBody(std::string* piece);
  void Cancel();

  // The value of a header (case-insensitive name) in `headers`; false
  // when there is none.
  static bool HeaderValue(const std::string& headers, const std::string& name, std::string* value);

 private:
  std::string proxy_, url_, credentials_;
  std::string pending_;           // bytes read past the headers
  long long remaining_ = -1;      // body bytes still announced; -1 unknown
  unsigned long long socket_;     // a SOCKET, kept out of this header
  bool started_ = false;
};

}  // namespace gwtest
