// Calls an exported function with given 32-bit arguments and measures how
// many bytes of arguments the callee removed from the stack: 4 * N for a
// standard-call function of N arguments, 0 for a C-call one. The stack is
// restored whatever the callee did, so a wrong convention is reported, not
// crashed on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace gwtest {

struct ProbedCall {
  uint32_t result;
  int32_t popped;  // bytes
};

ProbedCall CallProbed(FARPROC function, const std::vector<uint32_t>& args);

}  // namespace gwtest
