#include "bench/Pin.h"

#include <sched.h>

#include <stdexcept>
#include <string>

namespace vorlix {

int Pin(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  sched_getaffinity(0, sizeof set, &set);
  if (cpu < 0) {
    for (int c = 0; c < CPU_SETSIZE; ++c) {
      if (CPU_ISSET(c, &set)) cpu = c;
    }
  }
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  if (sched_setaffinity(0, sizeof set, &set) != 0) {
    throw std::runtime_error("cannot pin to CPU " + std::to_string(cpu));
  }
  return cpu;
}

}  // namespace vorlix
