#include "support/allocation_limit.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace gwtest {
namespace {

// No limit while 0. Read on every allocation of every thread.
std::atomic<std::size_t> g_limit{0};
std::atomic<std::size_t> g_refused{0};

void* Allocate(std::size_t size) {
  std::size_t limit = g_limit.load(std::memory_order_relaxed);
  if (limit != 0 && size > limit) {
    ++g_refused;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

AllocationLimit::AllocationLimit(std::size_t maxBytes) { g_limit.store(maxBytes); }
AllocationLimit::~AllocationLimit() { g_limit.store(0); }
std::size_t AllocationLimit::Refused() { return g_refused.load(); }

}  // namespace gwtest

// The replaced forms; the sized and nothrow forms of the library end in these.
void* operator new(std::size_t size) { return gwtest::Allocate(size); }
void* operator new[](std::size_t size) { return gwtest::Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
