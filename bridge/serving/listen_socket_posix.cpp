#include "bridge/serving/listen_socket.h"

namespace gw::bridge {

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
}

}  // namespace gw::bridge
