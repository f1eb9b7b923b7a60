#include "bridge/upstream/proxy_env.h"

#include <cctype>

namespace gw::bridge {
namespace {

// A proxy URL without a port means curl's default, 1080.
constexpr char kDefaultProxyPort[] = "1080";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Either(const GetEnvironment& get, const char* lower, const char* upper) {
  std::string value = get(lower);
  return value.empty() ? get(upper) : value;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// no_proxy: names separated by commas (and spaces); "*" for every host; a
// name covers itself and the hosts under it, with or without a leading dot.
bool Bypassed(const std::string& noProxy, const std::string& host) {
  const std::string h = Lower(host);
  size_t start = 0;
  while (start <= noProxy.size()) {
    size_t end = noProxy.find(',', start);
    if (end == std::string::npos) end = noProxy.size();
    std::string name = Lower(noProxy.substr(start, end - start));
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    if (!name.empty() && name.front() == '.') name.erase(0, 1);
    if (name == "*") return true;
    if (!name.empty() && (h == name || (h.size() > name.size() && h.compare(h.size() - name.size(), name.size(),
                                                                             name) == 0 &&
                                        h[h.size() - name.size() - 1] == '.'))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// [scheme://][user[:password]@]host[:port][/...]
EnvironmentProxy Parse(std::string url) {
  EnvironmentProxy proxy;
  if (size_t scheme = url.find("://"); scheme != std::string::npos) url.erase(0, scheme + 3);
  url = url.substr(0, url.find('/'));
  if (size_t at = url.rfind('@'); at != std::string::npos) {
    std::string login = url.substr(0, at);
    url.erase(0, at + 1);
    size_t colon = login.find(':');
    proxy.user = PercentDecoded(login.substr(0, colon));
    if (colon != std::string::npos) proxy.password = PercentDecoded(login.substr(colon + 1));
  }
  if (url.empty()) return {};
  const size_t closeBracket = url.rfind(']');
  const size_t colon = url.rfind(':');
  const bool hasPort = colon != std::string::npos && (closeBracket == std::string::npos || colon > closeBracket);
  proxy.server = hasPort ? url : url + ":" + kDefaultProxyPort;
  return proxy;
}

}  // namespace

EnvironmentProxy FindEnvironmentProxy(bool secure, const std::string& host, const GetEnvironment& get) {
  const std::string url = secure ? Either(get, "https_proxy", "HTTPS_PROXY") : get("http_proxy");
  if (url.empty() || Bypassed(Either(get, "no_proxy", "NO_PROXY"), host)) return {};
  return Parse(url);
}

}  // namespace gw::bridge
