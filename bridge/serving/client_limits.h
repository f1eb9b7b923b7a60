// Who may open another connection: at most --max-connections on each
// listener and --max-connections-per-client from any one client across the
// whole process (every listener counts into one table), so that one address
// (a flood, a broken script, a slowloris) cannot take every place and others
// keep being served. A connection over either cap is refused on arrival.
// Loopback addresses are clients like any other.
#pragma once

#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace gw::bridge {

enum class Admission { kAdmitted, kOverClientCap, kOverConnectionCap };

// The connections each client holds, on every listener of the process.
class ClientTable {
 public:
  explicit ClientTable(size_t maxPerClient) : maxPerClient_(maxPerClient) {}

  // Counts one more connection from `client` when it has room.
  bool TryAdd(const std::string& client);
  // Counts one out; false when `client` held none.
  bool Remove(const std::string& client);
  size_t OpenFrom(const std::string& client) const;
  size_t maxPerClient() const { return maxPerClient_; }

 private:
  const size_t maxPerClient_;
  mutable std::mutex mutex_;  // taken once per connection, not per request
  std::unordered_map<std::string, size_t> open_;
};

// One listener's count, with the process's table of clients.
class ClientLimits {
 public:
  ClientLimits(size_t maxConnections, std::shared_ptr<ClientTable> clients);

  // Counts a new connection from `client` in when it fits both caps.
  Admission Admit(const std::string& client);
  // Counts an admitted connection out when it closes.
  void Release(const std::string& client);

  size_t Open() const;
  size_t OpenFrom(const std::string& client) const { return clients_->OpenFrom(client); }
  // True when so few places are left that connections waiting for a request
  // (idle keep-alive ones, and new ones that have sent nothing yet) should
  // make room for new clients: within a sixteenth of the cap.
  bool Crowded() const { return ClosesForRoom() > 0; }
  // How many such connections each arrival closes: one at the edge of that
  // margin, two inside it, so that the margin comes back after a burst of
  // arrivals that took it faster than the closed connections freed it.
  size_t ClosesForRoom() const;

  size_t maxConnections() const { return max_; }
  size_t maxPerClient() const { return clients_->maxPerClient(); }

 private:
  const size_t max_;
  const std::shared_ptr<ClientTable> clients_;
  mutable std::mutex mutex_;
  size_t open_ = 0;
};

// A client may hold at most a quarter of a listener's places: with more, a
// few addresses could fill it. Returns the per-client cap that keeps to this
// under `listenerCap`; when that is below `wanted`, `note` gets one line for
// the log saying so and why.
size_t FitClientCap(size_t wanted, size_t listenerCap, std::string* note);

// The name a client is counted under: its IPv4 address (also when it comes
// mapped into IPv6), or the /64 network of an IPv6 address, since one IPv6
// host commonly holds a whole /64 and could otherwise count as many clients.
std::string ClientKey(const boost::asio::ip::address& address);

}  // namespace gw::bridge
