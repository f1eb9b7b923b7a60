// The proxy that the environment names for the operator's source, read as
// curl reads it: https_proxy (or HTTPS_PROXY) for an https:// source,
// http_proxy for http://, unless no_proxy (or NO_PROXY) names the host.
// The Windows side hands the result to WinHTTP; natively libcurl reads the
// same variables itself.
#pragma once

#include <functional>
#include <string>

namespace gw::bridge {

struct EnvironmentProxy {
  std::string server;  // "host:port", empty for none
  std::string user, password;  // from the proxy URL, percent-decoded
};

using GetEnvironment = std::function<std::string(const char* name)>;

EnvironmentProxy FindEnvironmentProxy(bool secure, const std::string& host, const GetEnvironment& get);

}  // namespace gw::bridge
