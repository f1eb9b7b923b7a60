#include "support/source_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <algorithm>

namespace gwtest {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// Listening on 127.0.0.1, on a free port.
struct SourceServer::Listener {
  net::io_context ioc;
  net::ip::tcp::acceptor acceptor{ioc, {net::ip::make_address_v4("127.0.0.1"), 0}};
};

SourceServer::SourceServer() : listener_(std::make_unique<Listener>()) {
  port_ = listener_->acceptor.local_endpoint().port();
  thread_ = std::thread([this] { Loop(); });
}

// A connection of our own wakes the accept: closing a socket under a
// blocking accept in another thread is not something every system does.
SourceServer::~SourceServer() {
  stopping_ = true;
  beast::error_code ec;
  net::ip::tcp::socket wake(listener_->ioc);
  wake.connect(listener_->acceptor.local_endpoint(), ec);
  thread_.join();
}

void SourceServer::Serve(std::string body, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  static int generation = 0;
  body_ = std::move(body);
  status_ = status;
  etag_ = "\"v" + std::to_string(++generation) + "\"";
  // A distinct date for each version, as a file's modification time.
  lastModified_ = "Mon, 07 Dec 2026 05:" + std::to_string(10 + generation % 50) + ":00 GMT";
}

void SourceServer::ServeAt(const std::string& suffix, std::string body, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  byPath_[suffix] = {std::move(body), status};
}

std::string SourceServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/forecast/html/images/juyo-d1-j.csv";
}

std::string SourceServer::LastUserAgent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return userAgent_;
}

std::string SourceServer::LastTarget() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return target_;
}

std::string SourceServer::LastIfNoneMatch() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ifNoneMatch_;
}

std::string SourceServer::LastIfModifiedSince() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ifModifiedSince_;
}

// One connection at a time, one request each: the bridge makes one request
// per refresh, and anything more is exactly what tests count.
void SourceServer::Loop() {
  while (true) {
    beast::error_code ec;
    net::ip::tcp::socket socket(listener_->ioc);
    listener_->acceptor.accept(socket, ec);
    if (stopping_) break;
    if (ec) continue;
    beast::flat_buffer buffer;
    http::request<http::empty_body> request;
    http::read(socket, buffer, request, ec);
    if (ec) continue;
    requests_++;
    // In slices, so that a test's end does not wait out a long delay.
    for (int waited = 0; waited < delayMs_.load() && !stopping_; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    http::response<http::string_body> response;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      userAgent_ = std::string(request[http::field::user_agent]);
      target_ = std::string(request.target());
      ifNoneMatch_ = std::string(request[http::field::if_none_match]);
      ifModifiedSince_ = std::string(request[http::field::if_modified_since]);
      // As RFC 9110 has it: If-None-Match, where the server has ETags, is
      // the condition and If-Modified-Since is then ignored.
      const bool same = sendEtag_ ? !etag_.empty() && ifNoneMatch_ == etag_
                                  : sendLastModified_ && ifModifiedSince_ == lastModified_;
      const auto own = std::find_if(byPath_.begin(), byPath_.end(), [this](const auto& entry) {
        return target_.size() >= entry.first.size() &&
               target_.compare(target_.size() - entry.first.size(), entry.first.size(), entry.first) == 0;
      });
      if (own != byPath_.end()) {
        response.result(own->second.second);
        response.body() = own->second.first;
      } else {
        notModified_ += same ? 1 : 0;
        response.result(same ? 304 : status_);
        if (sendEtag_) response.set(http::field::etag, etag_);
        if (sendLastModified_) response.set(http::field::last_modified, lastModified_);
        if (!same) response.body() = body_;
      }
    }
    response.keep_alive(false);
    response.prepare_payload();
    http::write(socket, response, ec);
  }
}

}  // namespace gwtest
