// Lack of memory on demand: the test program replaces the global operator
// new, and while an AllocationLimit is alive every single allocation larger
// than its limit fails with std::bad_alloc, as large allocations do in a
// 32-bit mail client whose address space has run out.
#pragma once

#include <cstddef>

namespace gwtest {

class AllocationLimit {
 public:
  explicit AllocationLimit(std::size_t maxBytes);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

  // How many allocations the limit has refused so far.
  static std::size_t Refused();
};

}  // namespace gwtest
