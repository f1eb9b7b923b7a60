// The one way the test double of ServerXMLHTTP reaches a server: an HTTP
// GET of an absolute address sent to a proxy on this machine, which is how
// the plug-in reaches the local feed server too. Any proxy that is not on
// 127.0.0.1 is refused, so no test can contact a real host.
#pragma once

#include <windows.h>

#include <string>

namespace gwtest {

struct ProxyResponse {
  HRESULT hr = E_FAIL;  // S_OK once a whole response has arrived
  int status = 0;       // the HTTP status, 0 without a response
  std::string body;
};

// `proxy` is "127.0.0.1:PORT"; `credentials` is "user:password" in the
// system code page, sent as Basic proxy authorization unless empty.
ProxyResponse GetThroughProxy(const std::string& proxy, const std::string& url, const std::string& credentials);

}  // namespace gwtest
