// Moving the thread between stacks: the loop's and those of paused calls (PausableCalls).
// swapcontext also saves and restores the signal mask, a system call each way, which cost a
// small call more than the rest of its serving put together; the server never changes its
// signal mask, so a switch here saves and restores only the registers a function must keep.
#pragma once

#include <cstddef>

namespace vorlix {

// A stack not running now: where its stack pointer was left.
struct StackPoint {
  void* sp = nullptr;
};

// Makes point start entry on the stack of size bytes at memory, at the first switch to it.
// entry must never return.
void PrepareStack(StackPoint* point, void* memory, size_t size, void (*entry)());

// Leaves the running stack, saved in from, for to; returns when a switch comes back to from.
void SwitchStack(StackPoint* from, const StackPoint* to);

}  // namespace vorlix
