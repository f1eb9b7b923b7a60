// The one socket option whose meaning differs by platform. POSIX's
// SO_REUSEADDR only lets a restarted bridge listen again at once, past the
// old connections' TIME_WAIT; Windows's lets a second program take a port
// already listened on, so there the port is claimed exclusively instead
// (Windows has no TIME_WAIT hold-up on listening to begin with).
#pragma once

#include <boost/asio/ip/tcp.hpp>

namespace gw::bridge {

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec);

}  // namespace gw::bridge
