// One request on Asio and Beast, so that the same tests ask the bridge on
// Linux and under Wine; Connection (http_client.cpp) speaks POSIX sockets,
// to test the front's limits, which only the native tests do.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <sys/time.h>
#endif

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>

#include "support/http_client.h"

namespace gwtest {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

HttpAnswer Get(int port, const std::string& target, const std::vector<std::string>& headers) {
  net::io_context ioc;
  net::ip::tcp::socket socket(ioc);
  beast::error_code ec;
  socket.connect({net::ip::make_address_v4("127.0.0.1"), static_cast<unsigned short>(port)}, ec);
  if (ec) return {};
  // No answer within 15 s is status 0.
#ifdef _WIN32
  const DWORD timeout = 15000;
#else
  const timeval timeout{15, 0};
#endif
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::string request = "GET " + target + " HTTP/1.1\r\nHost: test.invalid\r\n";
  for (const auto& h : headers) request += h + "\r\n";
  net::write(socket, net::buffer(request + "\r\n"), ec);
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  http::read(socket, buffer, parser, ec);
  if (ec) return {};
  HttpAnswer answer;
  answer.status = static_cast<int>(parser.get().result_int());
  for (const auto& field : parser.get()) {
    std::string name(field.name_string());
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    answer.headers[name] = std::string(field.value());
  }
  answer.body = parser.get().body();
  return answer;
}

}  // namespace gwtest
