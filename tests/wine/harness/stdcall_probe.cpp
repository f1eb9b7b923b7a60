#include "harness/stdcall_probe.h"

// uint32_t gwt_CallCounted(FARPROC fn, uint32_t argc, const uint32_t* argv, int32_t* popped)
// A C-call helper: pushes four guard words (so a callee that removes more
// than it was given eats those, not this frame), then the arguments right to
// left, calls, and reports ESP after the call minus ESP before it. The frame
// pointer and the saved registers put everything back afterwards.
asm(R"(
    .text
    .globl _gwt_CallCounted
_gwt_CallCounted:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $0
    pushl $0
    pushl $0
    pushl $0
    movl  12(%ebp), %ecx
    movl  16(%ebp), %esi
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  movl  %esp, %edi
    call  *8(%ebp)
    movl  %esp, %ecx
    subl  %edi, %ecx
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

extern "C" uint32_t gwt_CallCounted(FARPROC function, uint32_t argc, const uint32_t* argv, int32_t* popped);

namespace gwtest {

ProbedCall CallProbed(FARPROC function, const std::vector<uint32_t>& args) {
  ProbedCall call = {0, 0};
  call.result = gwt_CallCounted(function, static_cast<uint32_t>(args.size()), args.data(), &call.popped);
  return call;
}

}  // namespace gwtest
