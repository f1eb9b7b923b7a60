// Who may open another connection: at most --max-connections in all and
// --max-connections-per-client from any one client, so that one address (a
// flood, a broken script, a slowloris) cannot take every place and others
// keep being served. A connection over either cap is refused on arrival.
// Loopback addresses are clients like any other.
#pragma once

#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace gw::bridge {

enum class Admission { kAdmitted, kOverClientCap, kOverConnectionCap };

class ClientLimits {
 public:
  ClientLimits(size_t maxConnections, size_t maxPerClient);

  // Counts a new connection from `client` in when it fits both caps.
  Admission Admit(const std::string& client);
  // Counts an admitted connection out when it closes.
  void Release(const std::string& client);

  size_t Open() const;
  size_t OpenFrom(const std::string& client) const;
  // True when so few places are left that idle keep-alive connections
  // should make room for new clients: within a sixteenth of the cap.
  bool Crowded() const;

  size_t maxConnections() const { return max_; }
  size_t maxPerClient() const { return maxPerClient_; }

 private:
  const size_t max_, maxPerClient_;
  mutable std::mutex mutex_;  // taken once per connection, not per request
  size_t open_ = 0;
  std::unordered_map<std::string, size_t> perClient_;
};

// The name a client is counted under: its IPv4 address (also when it comes
// mapped into IPv6), or the /64 network of an IPv6 address, since one IPv6
// host commonly holds a whole /64 and could otherwise count as many clients.
std::string ClientKey(const boost::asio::ip::address& address);

}  // namespace gw::bridge
