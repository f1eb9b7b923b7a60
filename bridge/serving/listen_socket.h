// What differs by platform in listening. The socket option first: POSIX's
// SO_REUSEADDR only lets a restarted bridge listen again at once, past the
// old connections' TIME_WAIT; Windows's lets a second program take a port
// already listened on, so there the port is claimed exclusively instead
// (Windows has no TIME_WAIT hold-up on listening to begin with).
#pragma once

#include <string>

#include <boost/asio/ip/tcp.hpp>

namespace gw::bridge {

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec);

// Why opening, binding or listening failed, in the same words on every
// platform ("Address already in use"), for the log and the console.
std::string ListenErrorText(const boost::system::error_code& ec);

}  // namespace gw::bridge
