// Pinning a benchmark to one CPU: on this virtual machine, wake-ups across CPUs make calls
// between processes bimodal, so a benchmark and the servers it starts all share one.
#pragma once

namespace vorlix {

// Pins this process, and so everything it starts from now on, to cpu (-1: the last CPU it may
// run on); answers which. Throws std::runtime_error when it cannot.
int Pin(int cpu);

}  // namespace vorlix
