#include "server/StackSwitch.h"

#include <cstdint>

#if defined(__x86_64__)

// The System V registers a function must keep (rbp, rbx, r12-r15) and the floating-point
// control words, pushed on the stack left; its stack pointer goes to *from, to's is taken.
extern "C" void VorlixSwitchStack(void** from, void* to);
asm(R"(
  .pushsection .text
  .globl VorlixSwitchStack
  .type VorlixSwitchStack, @function
VorlixSwitchStack:
  pushq %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  subq $8, %rsp
  stmxcsr (%rsp)
  fnstcw 4(%rsp)
  movq %rsp, (%rdi)
  movq %rsi, %rsp
  ldmxcsr (%rsp)
  fldcw 4(%rsp)
  addq $8, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size VorlixSwitchStack, .-VorlixSwitchStack
  .popsection
)");

namespace vorlix {

void PrepareStack(StackPoint* point, void* memory, size_t size, void (*entry)()) {
  // What the first switch pops, from the top down: a return address for entry (none: it never
  // returns) that leaves the stack aligned as a call would, entry itself, zeroed registers (a
  // zero frame pointer ends every backtrace there) and the control words in force now.
  auto top = (reinterpret_cast<uintptr_t>(memory) + size) & ~uintptr_t{15};
  auto* slot = reinterpret_cast<uint64_t*>(top);
  *--slot = 0;
  *--slot = reinterpret_cast<uint64_t>(entry);
  for (int i = 0; i < 6; ++i)
    *--slot = 0;
  uint32_t controls[2] = {0, 0};
  asm volatile("stmxcsr %0; fnstcw %1" : "=m"(controls[0]), "=m"(controls[1]));
  *--slot = controls[0] | (uint64_t{controls[1]} << 32);
  point->sp = slot;
}

void SwitchStack(StackPoint* from, const StackPoint* to) {
  VorlixSwitchStack(&from->sp, to->sp);
}

}  // namespace vorlix

#else
#error "StackSwitch.cpp has a switch for x86-64 only"
#endif
