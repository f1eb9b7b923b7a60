#include "bridge/serving/http_framing.h"

#include <cstring>

#include "bridge/serving/responder.h"

namespace gw::bridge {
namespace {

namespace http = boost::beast::http;

std::string_view Trim(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

// The last coding of every Transfer-Encoding line taken together, as the
// lines combine into one list.
std::string_view LastCoding(const http::request_header<>& request) {
  std::string_view last;
  for (auto it = request.find(http::field::transfer_encoding);
       it != request.end() && it->name() == http::field::transfer_encoding; ++it) {
    std::string_view value(it->value().data(), it->value().size());
    const size_t comma = value.rfind(',');
    std::string_view coding = Trim(comma == std::string_view::npos ? value : value.substr(comma + 1));
    if (!coding.empty()) last = coding.substr(0, coding.find(';'));
  }
  return Trim(last);
}

bool IsRegNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("-._~!$&'()*+,;=%", c) != nullptr;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

bool IsValidName(std::string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (!IsRegNameChar(name[i])) return false;
    if (name[i] == '%' && (i + 2 >= name.size() || !IsHex(name[i + 1]) || !IsHex(name[i + 2]))) return false;
  }
  return true;
}

bool IsValidIpLiteral(std::string_view literal) {
  if (literal.size() < 3) return false;
  for (char c : literal) {
    if (!IsHex(c) && c != ':' && c != '.') return false;
  }
  return literal.find(':') != std::string_view::npos;
}

}  // namespace

bool IsValidHost(std::string_view host) {
  std::string_view name = host, port;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || !IsValidIpLiteral(host.substr(1, close - 1))) return false;
    name = host.substr(0, close + 1);
    port = host.substr(close + 1);
    if (!port.empty() && port.front() != ':') return false;
  } else {
    const size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
      name = host.substr(0, colon);
      port = host.substr(colon);
    }
    if (!IsValidName(name)) return false;
  }
  if (port.empty()) return true;
  port.remove_prefix(1);
  return port.size() <= 5 && port.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view FramingFault(const http::request_header<>& request) {
  if (request.count(http::field::transfer_encoding) > 0) {
    if (request.version() < 11) return "Transfer-Encoding in an HTTP/1.0 request";
    if (!EqualsNoCase(LastCoding(request), "chunked")) return "Transfer-Encoding does not end in chunked";
  }
  const size_t hosts = request.count(http::field::host);
  if (hosts > 1) return "more than one Host header";
  if (hosts == 1) {
    const auto value = request[http::field::host];
    if (!IsValidHost(Trim(std::string_view(value.data(), value.size())))) return "a malformed Host header";
    return {};
  }
  const auto target = request.target();
  if (request.version() >= 11 && !ParseTarget(std::string_view(target.data(), target.size())).proxyStyle) {
    return "no Host header";
  }
  return {};
}

}  // namespace gw::bridge
