#include "bridge/serving/listen_socket.h"

#include <winsock2.h>

namespace gw::bridge {

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  using Exclusive = boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
  acceptor.set_option(Exclusive(true), ec);
}

}  // namespace gw::bridge
