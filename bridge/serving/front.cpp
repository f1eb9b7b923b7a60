#include "bridge/serving/front.h"

#include <array>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include "bridge/log/event_log.h"
#include "bridge/serving/listen_socket.h"

namespace gw::bridge {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

constexpr auto kIdle = std::chrono::seconds(kIdleSeconds);
constexpr auto kFlushPeriod = std::chrono::milliseconds(200);
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);
constexpr size_t kLoggedTargetChars = 200;

std::string_view View(beast::string_view v) { return {v.data(), v.size()}; }

// Request targets go into the log as printable ASCII and capped, so that a
// client cannot forge log lines or flood the log.
std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, kLoggedTargetChars)) out += (c > 0x20 && c < 0x7F && c != '"') ? c : '?';
  if (text.size() > kLoggedTargetChars) out += "...";
  return out;
}

std::string PeerOf(const tcp::socket& socket) {
  beast::error_code ec;
  tcp::endpoint peer = socket.remote_endpoint(ec);
  return ec ? std::string("?") : peer.address().to_string() + ":" + std::to_string(peer.port());
}

// One thread with its own io_context: a connection lives on one thread from
// accept to close, so sessions need no strands and no locks.
struct Worker {
  explicit Worker(const Cache& cache) : view(cache) {}
  net::io_context ioc{1};
  net::executor_work_guard<net::io_context::executor_type> work = net::make_work_guard(ioc);
  CacheView view;  // touched only on this worker's thread
  std::thread thread;
};

struct Shared {
  const Responder& responder;
  Metrics& metrics;
  const Clock& clock;
  std::atomic<size_t> open{0};
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Shared& shared, Worker& worker)
      : peer_(PeerOf(socket)), stream_(std::move(socket)), shared_(shared), worker_(worker) {}
  ~Session() { shared_.open.fetch_sub(1, std::memory_order_relaxed); }

  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimitBytes);
    stream_.expires_after(kIdle);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
  }

 private:
  void OnRead(beast::error_code ec) {
    began_ = std::chrono::steady_clock::now();
    if (ec) return OnReadFailure(ec);
    const auto& request = parser_->get();
    method_ = View(request.method_string());
    target_ = View(request.target());
    Request r{method_, target_, View(request[http::field::authorization]),
              View(request[http::field::proxy_authorization])};
    shared_.responder.Respond(r, worker_.view.Get(), shared_.clock.UnixNow(), &reply_);
    // A body is never read: after answering a request that carries one the
    // connection ends, so that the body is not taken for the next request.
    const bool bodyFollows = !parser_->is_done();
    Send(request.keep_alive() && !reply_.close && !bodyFollows, request.version(),
         request.method() == http::verb::head);
  }

  // A client that went away or stayed idle just loses its connection; a
  // request that cannot be parsed gets a status that says why, then closes.
  void OnReadFailure(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset) return;
    if (ec == beast::error::timeout) {
      // The stream has already closed the socket; a request begun but not
      // finished within the bound (a slow client) is still logged.
      if (parser_->got_some()) {
        shared_.metrics.CountRequest(Route::kOther, 408);
        Log("- -", 408, 0);
      }
      return;
    }
    const int status = ec == http::error::header_limit || ec == http::error::buffer_overflow ? 431 : 400;
    method_ = "-";
    target_ = Printable(ec.message());
    reply_.route = Route::kOther;
    reply_.Point(&ParseFailureAnswer(status));
    Send(false, 11, false);
  }

  void Send(bool keepAlive, unsigned version, bool headOnly) {
    const Answer& a = reply_.answer();
    keepAlive_ = keepAlive;
    const char* connection = !keepAlive ? "Connection: close\r\n" : version < 11 ? "Connection: keep-alive\r\n" : "";
    out_ = {net::buffer(a.head), net::buffer(connection, std::strlen(connection)), net::buffer("\r\n", 2),
            headOnly ? net::const_buffer() : net::buffer(a.body)};
    stream_.expires_after(kIdle);
    net::async_write(stream_, out_,
                     [self = shared_from_this()](beast::error_code ec, size_t bytes) { self->OnWrite(ec, bytes); });
  }

  void OnWrite(beast::error_code ec, size_t bytes) {
    const int status = reply_.answer().status;
    shared_.metrics.CountRequest(reply_.route, status);
    Log(nullptr, ec ? 0 : status, bytes);
    reply_.Point(nullptr);  // lets go of the snapshot before waiting for the next request
    if (ec) return;
    if (!keepAlive_) {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      return;
    }
    Read();
  }

  void Log(const char* request, int status, size_t bytes) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began_).count();
    if (request != nullptr) {
      LogLine("%s \"%s\" %d %zu B %.2f ms", peer_.c_str(), request, status, bytes, ms);
    } else {
      LogLine("%s \"%s %s\" %d %zu B %.2f ms", peer_.c_str(), Printable(method_).c_str(), Printable(target_).c_str(),
              status, bytes, ms);
    }
  }

  std::string peer_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_{2 * kHeaderLimitBytes};
  std::optional<http::request_parser<http::empty_body>> parser_;
  Shared& shared_;
  Worker& worker_;
  Reply reply_;
  bool keepAlive_ = false;
  std::string method_, target_;
  std::array<net::const_buffer, 4> out_;
  std::chrono::steady_clock::time_point began_;
};

}  // namespace

struct Front::Impl {
  Impl(FrontConfig c, const Cache& cache, const Responder& responder, Metrics& metrics, const Clock& clock)
      : config(std::move(c)), shared{responder, metrics, clock} {
    for (int i = 0; i < std::max(1, config.threads); ++i) workers.push_back(std::make_unique<Worker>(cache));
    acceptor.emplace(workers[0]->ioc);
    retry.emplace(workers[0]->ioc);
    flush.emplace(workers[0]->ioc);
  }

  void Accept();
  void OnAccept(beast::error_code ec, tcp::socket socket, Worker& worker);
  void Flush();

  FrontConfig config;
  Shared shared;  // outlives the workers, whose pending handlers hold sessions
  std::vector<std::unique_ptr<Worker>> workers;
  std::optional<tcp::acceptor> acceptor;
  std::optional<net::steady_timer> retry, flush;
  size_t nextWorker = 0;
  bool running = false;
};

void Front::Impl::Accept() {
  Worker& worker = *workers[nextWorker++ % workers.size()];
  acceptor->async_accept(worker.ioc, [this, &worker](beast::error_code ec, tcp::socket socket) {
    OnAccept(ec, std::move(socket), worker);
  });
}

void Front::Impl::OnAccept(beast::error_code ec, tcp::socket socket, Worker& worker) {
  if (ec == net::error::operation_aborted) return;
  if (ec) {
    // Out of file descriptors, for one: wait a little rather than spin.
    LogLine("accept failed: %s", ec.message().c_str());
    retry->expires_after(kAcceptRetry);
    retry->async_wait([this](beast::error_code e) {
      if (!e) Accept();
    });
    return;
  }
  if (shared.open.load(std::memory_order_relaxed) >= config.maxConnections) {
    LogLine("%s refused: %zu connections open (--max-connections)", PeerOf(socket).c_str(), config.maxConnections);
  } else {
    shared.open.fetch_add(1, std::memory_order_relaxed);
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    // The session starts on its own worker's thread, where it will live.
    auto session = std::make_shared<Session>(std::move(socket), shared, worker);
    net::post(worker.ioc, [session] { session->Read(); });
  }
  Accept();
}

void Front::Impl::Flush() {
  FlushLog();
  flush->expires_after(kFlushPeriod);
  flush->async_wait([this](beast::error_code ec) {
    if (!ec) Flush();
  });
}

Front::Front(FrontConfig config, const Cache& cache, const Responder& responder, Metrics& metrics,
             const Clock& clock)
    : impl_(std::make_unique<Impl>(std::move(config), cache, responder, metrics, clock)) {}

Front::~Front() {
  Stop();
  // The acceptor and timers belong to the first worker's context: they go
  // first, then the contexts with the sessions their handlers still hold.
  impl_->acceptor.reset();
  impl_->retry.reset();
  impl_->flush.reset();
}

uint16_t Front::Listen() {
  const FrontConfig& c = impl_->config;
  beast::error_code ec;
  const std::string where = c.address + ":" + std::to_string(c.port);
  net::ip::address address = net::ip::make_address(c.address, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + ": '" + c.address + "' is not an IP address");
  tcp::endpoint endpoint(address, c.port);
  tcp::acceptor& a = *impl_->acceptor;
  a.open(endpoint.protocol(), ec);
  if (!ec) SetListeningOptions(a, ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(net::socket_base::max_listen_connections, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
  return a.local_endpoint().port();
}

void Front::Start() {
  impl_->running = true;
  impl_->Accept();
  impl_->Flush();
  for (auto& w : impl_->workers) {
    Worker* worker = w.get();
    worker->thread = std::thread([worker] { worker->ioc.run(); });
  }
}

void Front::Stop() {
  if (!impl_->running) return;
  impl_->running = false;
  for (auto& w : impl_->workers) w->ioc.stop();
  for (auto& w : impl_->workers) {
    if (w->thread.joinable()) w->thread.join();
  }
  FlushLog();
}

size_t Front::OpenConnections() const { return impl_->shared.open.load(); }

}  // namespace gw::bridge
