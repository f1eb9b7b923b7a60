#include "bridge/serving/client_limits.h"

#include <algorithm>
#include <boost/asio/ip/address_v6.hpp>

namespace gw::bridge {

bool ClientTable::TryAdd(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t& mine = open_[client];
  if (mine >= maxPerClient_) {
    if (mine == 0) open_.erase(client);
    return false;
  }
  ++mine;
  return true;
}

bool ClientTable::Remove(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = open_.find(client);
  if (it == open_.end()) return false;
  if (--it->second == 0) open_.erase(it);
  return true;
}

size_t ClientTable::OpenFrom(const std::string& client) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = open_.find(client);
  return it == open_.end() ? 0 : it->second;
}

ClientLimits::ClientLimits(size_t maxConnections, std::shared_ptr<ClientTable> clients)
    : max_(maxConnections), clients_(std::move(clients)) {}

Admission ClientLimits::Admit(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ >= max_) return Admission::kOverConnectionCap;
  if (!clients_->TryAdd(client)) return Admission::kOverClientCap;
  ++open_;
  return Admission::kAdmitted;
}

void ClientLimits::Release(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ > 0 && clients_->Remove(client)) --open_;
}

size_t ClientLimits::Open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

size_t ClientLimits::ClosesForRoom() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t margin = max_ / 16;
  return open_ + margin < max_ ? 0 : open_ + margin == max_ ? 1 : 2;
}

size_t FitClientCap(size_t wanted, size_t listenerCap, std::string* note) {
  note->clear();
  const size_t cap = std::min(wanted, std::max<size_t>(1, listenerCap / 4));
  if (cap < wanted) {
    *note = "--max-connections-per-client lowered from " + std::to_string(wanted) + " to " + std::to_string(cap) +
            ": one client may hold at most a quarter of a listener's " + std::to_string(listenerCap) +
            " connections, so that a few addresses cannot fill it";
  }
  return cap;
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
