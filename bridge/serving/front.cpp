#include "bridge/serving/front.h"

#include <array>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/intrusive/list.hpp>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

#include "bridge/log/event_log.h"
#include "bridge/serving/client_limits.h"
#include "bridge/serving/http_framing.h"
#include "bridge/serving/listen_socket.h"
#include "bridge/serving/refusal_log.h"

namespace gw::bridge {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

constexpr auto kIdle = std::chrono::seconds(kIdleSeconds);
constexpr auto kHead = std::chrono::seconds(kHeadSeconds);
constexpr auto kHeadCrowded = std::chrono::seconds(kHeadSecondsCrowded);
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);
constexpr size_t kLoggedTargetChars = 200;
// Before closing, what the client still sends (a body we did not want) is
// read and thrown away, up to these bounds: closing with unread data sends a
// reset, which can destroy the answer before the client has read it.
constexpr auto kLinger = std::chrono::seconds(2);
constexpr size_t kDrainBytes = 1024 * 1024;
constexpr size_t kDrainChunk = 16 * 1024;
constexpr int64_t kNoIdle = INT64_MAX;

int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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

// A connection waiting for a request (a new one that has sent nothing yet, or
// a keep-alive one waiting for its next request), on its worker's list of
// such connections, oldest first; it leaves the list by itself when it ends.
class IdleConnection
    : public boost::intrusive::list_base_hook<boost::intrusive::link_mode<boost::intrusive::auto_unlink>> {
 public:
  virtual void CloseIdle() = 0;
  int64_t idleSince = 0;  // steady clock, nanoseconds

 protected:
  ~IdleConnection() = default;
};

// One thread with its own io_context: a connection lives on one thread from
// accept to close, so sessions need no strands and no locks.
struct Worker {
  explicit Worker(const ServedAreas& areas) : views(areas) {}

  // Makes the oldest idle connection's age visible to the acceptor.
  void PublishOldestIdle() {
    oldestIdle.store(idle.empty() ? kNoIdle : idle.front().idleSince, std::memory_order_relaxed);
  }
  // Only a connection that was waiting before `arrived`: the close is
  // decided on the acceptor's thread and done here later, when the one meant
  // may have gone, and a newer one (the arrival itself, say) is no idler.
  void CloseOldestIdle(int64_t arrived) {
    if (idle.empty() || idle.front().idleSince >= arrived) return;
    IdleConnection& oldest = idle.front();
    oldest.unlink();
    PublishOldestIdle();
    oldest.CloseIdle();
  }

  // Declared before the context, whose handlers hold sessions that unlink
  // themselves from the list as they go.
  boost::intrusive::list<IdleConnection, boost::intrusive::constant_time_size<false>> idle;
  std::atomic<int64_t> oldestIdle{kNoIdle};
  net::io_context ioc{1};
  net::executor_work_guard<net::io_context::executor_type> work = net::make_work_guard(ioc);
  AreaViews views;  // touched only on this worker's thread, like `idle`
  std::thread thread;
};

struct Shared {
  const Responder& responder;
  Metrics& metrics;
  const Clock& clock;
  ClientLimits limits;
};

class Session : public IdleConnection, public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, std::string client, Shared& shared, Worker& worker)
      : peer_(PeerOf(socket)), client_(std::move(client)), stream_(std::move(socket)), shared_(shared),
        worker_(worker) {}
  ~Session() {
    LeaveIdle();
    shared_.limits.Release(client_);
  }

  // A new connection: its whole request head must arrive within `headTime`,
  // so that a socket that stays silent or sends slowly holds its place for
  // seconds only.
  void Start(std::chrono::steady_clock::duration headTime) {
    stream_.expires_after(headTime);
    AwaitRequest();
  }

  // Near the cap: this connection, which has sent nothing of a request,
  // makes room for a new client. A client must expect a server to close an
  // idle keep-alive connection, and a silent one is no client yet.
  void CloseIdle() override {
    closedIdle_ = true;
    shared_.metrics.CountConnection(ConnectionEvent::kIdleClosed);
    stream_.close();
  }

 private:
  void EnterIdle() {
    idleSince = SteadyNanos();
    worker_.idle.push_back(*this);
    if (&worker_.idle.front() == this) worker_.PublishOldestIdle();
  }

  void LeaveIdle() {
    if (!is_linked()) return;
    const bool wasOldest = &worker_.idle.front() == this;
    unlink();
    if (wasOldest) worker_.PublishOldestIdle();
  }

  // After an answer, the next request may begin within the idle bound; once
  // it has, its head must be complete within the head bound.
  void Read() {
    if (buffer_.size() > 0) {
      stream_.expires_after(kHead);
      return ReadHead();
    }
    stream_.expires_after(kIdle);
    AwaitRequest();
  }

  // Waits for a request's first bytes on the list of connections that may
  // make room near the cap.
  void AwaitRequest() {
    parser_.reset();
    EnterIdle();
    stream_.async_read_some(buffer_.prepare(kHeaderLimitBytes),
                            [self = shared_from_this()](beast::error_code ec, size_t n) { self->OnFirstBytes(ec, n); });
  }

  void OnFirstBytes(beast::error_code ec, size_t n) {
    LeaveIdle();
    // Closed to make room while its first bytes were on their way: to the
    // client it is an idle connection the server closed, and nothing here is
    // answered or counted.
    if (closedIdle_) return;
    buffer_.commit(n);
    if (ec) return OnReadFailure(ec);
    // A new connection's bound runs from its start; a kept-alive one's from
    // its next request's first bytes.
    if (answered_) stream_.expires_after(kHead);
    ReadHead();
  }

  void ReadHead() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimitBytes);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
  }

  void OnRead(beast::error_code ec) {
    began_ = std::chrono::steady_clock::now();
    if (ec) return OnReadFailure(ec);
    const auto& request = parser_->get();
    method_ = View(request.method_string());
    target_ = View(request.target());
    const std::string_view fault = FramingFault(request);
    if (!fault.empty()) return Refuse(400, fault);
    Request r{method_, target_, View(request[http::field::authorization]),
              View(request[http::field::proxy_authorization]), View(request[http::field::host])};
    shared_.responder.Respond(r, worker_.views, shared_.clock.UnixNow(), &reply_);
    // A body is never read as a request: after answering a request that
    // carries one the connection ends, so that the body is not taken for
    // the next request.
    const bool bodyFollows = !parser_->is_done();
    Send(request.keep_alive() && !reply_.close && !bodyFollows, request.version(),
         request.method() == http::verb::head);
  }

  // A request whose framing cannot be trusted: the status and a close.
  void Refuse(int status, std::string_view reason) {
    method_ = "-";
    target_ = reason;
    reply_.route = Route::kOther;
    reply_.Point(&ParseFailureAnswer(status));
    Send(false, 11, false);
  }

  // A client that went away or stayed idle just loses its connection; a
  // request that cannot be parsed gets a status that says why, then closes.
  void OnReadFailure(beast::error_code ec) {
    if (closedIdle_) return;
    if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset) return;
    if (ec == beast::error::timeout) {
      // The stream has already closed the socket; a request begun but not
      // finished within the bound (a slow client) is still logged.
      if (parser_ && parser_->got_some()) {
        shared_.metrics.CountRequest(Route::kOther, 408);
        Log("- -", 408, 0);
      }
      return;
    }
    const int status = ec == http::error::header_limit || ec == http::error::buffer_overflow ? 431 : 400;
    Refuse(status, Printable(ec.message()));
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
    answered_ = true;
    if (!keepAlive_) return Linger();
    Read();
  }

  // Ends our side, then reads and drops what the client still sends until it
  // closes too, within bounds: the answer reaches it before any reset can.
  void Linger() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    buffer_.consume(buffer_.size());
    stream_.expires_after(kLinger);
    Drain();
  }

  void Drain() {
    stream_.async_read_some(buffer_.prepare(kDrainChunk), [self = shared_from_this()](beast::error_code ec, size_t n) {
      self->drained_ += n;
      if (!ec && self->drained_ < kDrainBytes) self->Drain();
    });
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
  std::string client_;  // as ClientLimits counts it
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_{2 * kHeaderLimitBytes};
  std::optional<http::request_parser<http::empty_body>> parser_;  // once a request has begun
  Shared& shared_;
  Worker& worker_;
  Reply reply_;
  bool keepAlive_ = false;
  bool answered_ = false;    // at least one answer went out
  bool closedIdle_ = false;  // closed by CloseIdle()
  size_t drained_ = 0;       // bytes dropped while lingering
  std::string method_, target_;
  std::array<net::const_buffer, 4> out_;
  std::chrono::steady_clock::time_point began_;
};

}  // namespace

struct Front::Impl {
  Impl(FrontConfig c, const ServedAreas& areas, const Responder& responder, Metrics& metrics, const Clock& clock)
      : config(std::move(c)),
        shared{responder, metrics, clock,
               {config.maxConnections,
                config.clients ? config.clients : std::make_shared<ClientTable>(config.maxConnectionsPerClient)}},
        refusals(config.maxConnections, shared.limits.maxPerClient()) {
    for (int i = 0; i < std::max(1, config.threads); ++i) workers.push_back(std::make_unique<Worker>(areas));
    acceptor.emplace(workers[0]->ioc);
    retry.emplace(workers[0]->ioc);
    refusalTimer.emplace(workers[0]->ioc);
  }

  void Accept();
  void OnAccept(beast::error_code ec, tcp::socket socket, Worker& worker);
  void Note(ConnectionEvent event, const std::string& detail);
  void LogRefusalsWhenDue();
  void CloseOldestIdle(int64_t arrived);

  FrontConfig config;
  Shared shared;  // outlives the workers, whose pending handlers hold sessions
  std::vector<std::unique_ptr<Worker>> workers;
  // The acceptor, its timers and the refusal log live on the first worker's
  // thread; accept handlers run there.
  std::optional<tcp::acceptor> acceptor;
  std::optional<net::steady_timer> retry, refusalTimer;
  RefusalLog refusals;
  bool refusalTimerSet = false;
  size_t nextWorker = 0;
  bool running = false;
};

void Front::Impl::Accept() {
  Worker& worker = *workers[nextWorker++ % workers.size()];
  acceptor->async_accept(worker.ioc, [this, &worker](beast::error_code ec, tcp::socket socket) {
    OnAccept(ec, std::move(socket), worker);
  });
}

// Every connection is taken off the queue at once: admitted, or refused and
// closed unread, so that no client hangs in the queue.
void Front::Impl::OnAccept(beast::error_code ec, tcp::socket socket, Worker& worker) {
  if (ec == net::error::operation_aborted) return;
  if (ec) {
    // Out of file descriptors, for one: wait a little rather than spin.
    Note(ConnectionEvent::kAcceptFailed, ec.message());
    retry->expires_after(kAcceptRetry);
    retry->async_wait([this](beast::error_code e) {
      if (!e) Accept();
    });
    return;
  }
  const int64_t arrived = SteadyNanos();
  beast::error_code gone;
  const tcp::endpoint peer = socket.remote_endpoint(gone);
  const std::string client = gone ? std::string() : ClientKey(peer.address());
  const Admission admission = gone ? Admission::kOverConnectionCap : shared.limits.Admit(client);
  const size_t closes = shared.limits.ClosesForRoom();
  const bool crowded = closes > 0;
  if (admission == Admission::kAdmitted) {
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    // The session starts on its own worker's thread, where it will live.
    auto session = std::make_shared<Session>(std::move(socket), client, shared, worker);
    const auto headTime = crowded ? kHeadCrowded : kHead;
    net::post(worker.ioc, [session, headTime] { session->Start(headTime); });
  } else if (!gone) {
    socket.close(gone);
    Note(admission == Admission::kOverClientCap ? ConnectionEvent::kRefusedClientCap
                                                : ConnectionEvent::kRefusedConnectionCap,
         client);
  }
  for (size_t i = 0; i < closes; ++i) CloseOldestIdle(arrived);
  Accept();
}

void Front::Impl::Note(ConnectionEvent event, const std::string& detail) {
  shared.metrics.CountConnection(event);
  if (std::optional<std::string> line = refusals.Note(event, detail, std::chrono::steady_clock::now())) {
    LogLine("%s", line->c_str());
  } else {
    LogRefusalsWhenDue();
  }
}

// What was counted within the second after the last line is logged when the
// second is over, even if nothing else happens by then.
void Front::Impl::LogRefusalsWhenDue() {
  if (refusalTimerSet || !refusals.Pending()) return;
  refusalTimerSet = true;
  refusalTimer->expires_at(refusals.NextLine());
  refusalTimer->async_wait([this](beast::error_code ec) {
    refusalTimerSet = false;
    if (ec) return;
    if (std::optional<std::string> line = refusals.Due(std::chrono::steady_clock::now())) LogLine("%s", line->c_str());
    LogRefusalsWhenDue();
  });
}

// The connection that has waited longest for a request since before this
// arrival, whichever worker holds it, is closed on its own worker's thread.
void Front::Impl::CloseOldestIdle(int64_t arrived) {
  Worker* holder = nullptr;
  int64_t oldest = kNoIdle;
  for (auto& w : workers) {
    const int64_t since = w->oldestIdle.load(std::memory_order_relaxed);
    if (since < oldest) {
      oldest = since;
      holder = w.get();
    }
  }
  if (holder != nullptr && oldest < arrived) {
    net::post(holder->ioc, [holder, arrived] { holder->CloseOldestIdle(arrived); });
  }
}

Front::Front(FrontConfig config, const ServedAreas& areas, const Responder& responder, Metrics& metrics,
             const Clock& clock)
    : impl_(std::make_unique<Impl>(std::move(config), areas, responder, metrics, clock)) {}

Front::~Front() {
  Stop();
  // The acceptor and timers belong to the first worker's context: they go
  // first, then the contexts with the sessions their handlers still hold.
  impl_->acceptor.reset();
  impl_->retry.reset();
  impl_->refusalTimer.reset();
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
  if (ec) throw std::runtime_error("cannot listen on " + where + ": " + ListenErrorText(ec));
  return a.local_endpoint().port();
}

void Front::Start() {
  impl_->running = true;
  impl_->Accept();
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
}

size_t Front::OpenConnections() const { return impl_->shared.limits.Open(); }

}  // namespace gw::bridge
