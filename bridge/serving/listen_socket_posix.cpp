#include "bridge/serving/listen_socket.h"

namespace gw::bridge {

void SetListeningOptions(boost::asio::ip::tcp::acceptor& acceptor, boost::system::error_code& ec) {
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
}

std::string ListenErrorText(const boost::system::error_code& ec) { return ec.message(); }

}  // namespace gw::bridge
