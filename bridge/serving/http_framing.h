// The checks RFC 9112 asks of a server before it trusts a request's framing,
// beyond what the HTTP parser already refuses: a Transfer-Encoding that does
// not end in chunked leaves the body's end unknown (§6.3), and the Host
// header must be there once and well formed (§3.2). A request that fails
// them gets 400 and the connection closes, since what follows on it cannot
// be told apart from the next request.
#pragma once

#include <boost/beast/http/message.hpp>
#include <string_view>

namespace gw::bridge {

// Empty when the request's framing is sound, else the reason, for the log.
// A proxy-style request (an absolute URI) may leave Host out: the URI names
// the host. HTTP/1.0 requests need no Host.
std::string_view FramingFault(const boost::beast::http::request_header<>& request);

// A Host value as RFC 3986 allows it: a name, an IPv4 address or a bracketed
// IPv6 one, and an optional port.
bool IsValidHost(std::string_view host);

}  // namespace gw::bridge
