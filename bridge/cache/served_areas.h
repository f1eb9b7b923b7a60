// The areas one process serves, each with its own cache of documents, and a
// serving thread's view of them all. A listener serves one of them to the
// plug-in; every listener serves all of them through the per-area API.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "bridge/cache/cache.h"
#include "bridge/reading/areas.h"

namespace gw::bridge {

class ServedAreas {
 public:
  // `areas`: distinct, in the order /areas.json and /healthz list them.
  explicit ServedAreas(std::vector<const Area*> areas);
  ServedAreas(const ServedAreas&) = delete;
  ServedAreas& operator=(const ServedAreas&) = delete;

  static constexpr size_t kNone = ~size_t{0};

  size_t size() const { return areas_.size(); }
  const Area& area(size_t i) const { return *areas_.at(i); }
  Cache& cache(size_t i) { return caches_.at(i); }
  const Cache& cache(size_t i) const { return caches_.at(i); }
  // The place of the area so named, or kNone when it is not served.
  size_t Find(std::string_view name) const;

 private:
  std::vector<const Area*> areas_;
  std::vector<Cache> caches_;
};

// A serving thread's view of every served area's cache. Not shared between
// threads.
class AreaViews {
 public:
  explicit AreaViews(const ServedAreas& areas);
  const ServedAreas& areas() const { return areas_; }
  const std::shared_ptr<const Snapshot>& Get(size_t i) { return views_[i].Get(); }

 private:
  const ServedAreas& areas_;
  std::vector<CacheView> views_;
};

}  // namespace gw::bridge
