#include <sys/resource.h>

#include <algorithm>

#include "bridge/serving/descriptor_limit.h"

namespace gw::bridge {

size_t FitConnectionCap(size_t wanted, std::string* note) {
  note->clear();
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t needed = static_cast<rlim_t>(wanted) + kDescriptorReserve;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const uint64_t have = limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : limit.rlim_cur;
  const size_t cap = CapThatFits(wanted, have);
  if (cap < wanted) {
    *note = "--max-connections lowered from " + std::to_string(wanted) + " to " + std::to_string(cap) +
            ": the file descriptor limit is " + std::to_string(have) + " (ulimit -n, hard limit included), and " +
            std::to_string(kDescriptorReserve) + " are kept for the upstream, the log and the listeners";
  }
  return cap;
}

}  // namespace gw::bridge
