#include "bridge/serving/descriptor_limit.h"

#include <algorithm>

namespace gw::bridge {

size_t CapThatFits(size_t wanted, uint64_t descriptorLimit) {
  if (descriptorLimit <= kDescriptorReserve) return 1;
  return static_cast<size_t>(std::min<uint64_t>(wanted, descriptorLimit - kDescriptorReserve));
}

}  // namespace gw::bridge
