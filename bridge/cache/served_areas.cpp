#include "bridge/cache/served_areas.h"

namespace gw::bridge {

// A cache holds an atomic and cannot move: the vector is sized once.
ServedAreas::ServedAreas(std::vector<const Area*> areas) : areas_(std::move(areas)), caches_(areas_.size()) {}

size_t ServedAreas::Find(std::string_view name) const {
  for (size_t i = 0; i < areas_.size(); ++i) {
    if (name == areas_[i]->name) return i;
  }
  return kNone;
}

AreaViews::AreaViews(const ServedAreas& areas) : areas_(areas) {
  views_.reserve(areas.size());
  for (size_t i = 0; i < areas.size(); ++i) views_.emplace_back(areas.cache(i));
}

}  // namespace gw::bridge
