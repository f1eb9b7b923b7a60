#include "bridge/serving/client_limits.h"

#include <boost/asio/ip/address_v6.hpp>

namespace gw::bridge {

ClientLimits::ClientLimits(size_t maxConnections, size_t maxPerClient)
    : max_(maxConnections), maxPerClient_(maxPerClient) {}

Admission ClientLimits::Admit(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ >= max_) return Admission::kOverConnectionCap;
  size_t& mine = perClient_[client];
  if (mine >= maxPerClient_) {
    if (mine == 0) perClient_.erase(client);
    return Admission::kOverClientCap;
  }
  ++mine;
  ++open_;
  return Admission::kAdmitted;
}

void ClientLimits::Release(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = perClient_.find(client);
  if (it == perClient_.end()) return;
  --open_;
  if (--it->second == 0) perClient_.erase(it);
}

size_t ClientLimits::Open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

size_t ClientLimits::OpenFrom(const std::string& client) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = perClient_.find(client);
  return it == perClient_.end() ? 0 : it->second;
}

bool ClientLimits::Crowded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ + max_ / 16 >= max_;
}

std::string ClientKey(const boost::asio::ip::address& address) {
  if (address.is_v4()) return address.to_string();
  const boost::asio::ip::address_v6 v6 = address.to_v6();
  if (v6.is_v4_mapped()) return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, v6).to_string();
  boost::asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
  for (size_t i = 8; i < bytes.size(); ++i) bytes[i] = 0;
  return boost::asio::ip::address_v6(bytes).to_string() + "/64";
}

}  // namespace gw::bridge
