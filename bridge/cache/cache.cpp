#include "bridge/cache/cache.h"

namespace gw::bridge {

void Cache::Publish(std::shared_ptr<const Snapshot> snapshot) {
  std::atomic_store(&current_, std::move(snapshot));
  generation_.fetch_add(1, std::memory_order_acq_rel);
}

// The generation is read before the pointer: a snapshot published in between
// is taken now and simply taken again on the next call.
const std::shared_ptr<const Snapshot>& CacheView::Get() {
  uint64_t generation = cache_.Generation();
  if (generation != seen_) {
    seen_ = generation;
    snapshot_ = cache_.Current();
  }
  return snapshot_;
}

}  // namespace gw::bridge
