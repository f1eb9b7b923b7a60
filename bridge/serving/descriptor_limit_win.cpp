#include "bridge/serving/descriptor_limit.h"

namespace gw::bridge {

// Windows sockets are handles, not entries of a small per-process table:
// there is no limit to raise and the cap stays as asked.
size_t FitConnectionCap(size_t wanted, std::string* note) {
  note->clear();
  return wanted;
}

}  // namespace gw::bridge
