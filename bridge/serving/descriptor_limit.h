// Every connection holds a file descriptor. Under the usual `ulimit -n 1024`
// a cap of 1024 connections cannot be reached: accept() would fail with
// clients left waiting in the queue, and the upstream fetch could not open
// its socket. So at start the soft limit is raised toward the hard one, and
// when the cap still does not fit beside a reserve it is lowered to fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gw::bridge {

// Descriptors kept for everything but client connections: the standard
// streams, the listeners, each serving thread's event queue and wake-up
// descriptors, the upstream fetches (a socket and the resolver's), the
// fonts while drawing, a log file.
constexpr uint64_t kDescriptorReserve = 128;

// The cap that fits under a descriptor limit with the reserve kept.
size_t CapThatFits(size_t wanted, uint64_t descriptorLimit);

// Raises this process's descriptor limit as far as `wanted` connections need
// (never beyond the hard limit) and returns the cap that fits. When that is
// below `wanted`, `note` gets one line for the log saying so and why.
size_t FitConnectionCap(size_t wanted, std::string* note);

}  // namespace gw::bridge
