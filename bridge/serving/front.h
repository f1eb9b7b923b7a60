// The HTTP front: Boost.Beast on Boost.Asio, event-driven, so that idle
// keep-alive connections cost memory but no thread. Every phase has a bound:
// the request line and headers (16 KiB), the time a new connection may take
// to send them (5 s, 2 s when the listener is crowded), the time a kept-alive
// connection may wait for its next request (10 s) and an answer may take to
// leave, the number of open connections in all and from any one client, and
// what is read of a body before closing (1 MiB or 2 s). A slow or silent
// client holds its own connection for seconds and nothing else; near the
// cap, the connections that have waited longest without sending anything
// (silent new ones, idle keep-alive ones) make room; a connection over a cap
// is closed at once, unread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bridge/cache/metrics.h"
#include "bridge/cache/served_areas.h"
#include "bridge/reading/japan_time.h"
#include "bridge/serving/responder.h"

namespace gw::bridge {

constexpr size_t kHeaderLimitBytes = 16 * 1024;
constexpr int kIdleSeconds = 10;
constexpr int kHeadSeconds = 5;
constexpr int kHeadSecondsCrowded = 2;

class ClientTable;

struct FrontConfig {
  std::string address = "127.0.0.1";
  uint16_t port = 8080;  // 0: any free port
  size_t maxConnections = 1024;
  int threads = 2;
  size_t maxConnectionsPerClient = 64;
  // Connections per client counted across every listener of the process,
  // with that table's cap; when null, this listener counts its own clients
  // under the cap above.
  std::shared_ptr<ClientTable> clients;
};

class Front {
 public:
  Front(FrontConfig config, const ServedAreas& areas, const Responder& responder, Metrics& metrics,
        const Clock& clock);
  ~Front();
  Front(const Front&) = delete;
  Front& operator=(const Front&) = delete;

  // Binds and listens; returns the port. Throws std::runtime_error naming
  // the address and the cause when it cannot.
  uint16_t Listen();
  // Serves on the configured number of threads until Stop().
  void Start();
  // Closes the listener and every connection, and joins the threads.
  void Stop();

  size_t OpenConnections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace gw::bridge
