#include "server/Allocator.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace vorlix {

void TuneAllocator(char** argv) {
  // Left to itself, glibc raises this threshold after a big buffer is freed and keeps later
  // ones on its heap: a server that carried one 10 MB value would hold on to that memory.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // Every 4 KiB page of a fresh mapping costs a fault on its first touch; a 10 MB value passes
  // through several such buffers, and the faults were most of its time in the server. With huge
  // pages the same buffers fault 512 times less often.
  const char* tunables = getenv("GLIBC_TUNABLES");
  if (tunables && strstr(tunables, "glibc.malloc.hugetlb=")) return;
  std::string value = "glibc.malloc.hugetlb=1";
  if (tunables && *tunables) value = std::string(tunables) + ":" + value;
  if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
}

}  // namespace vorlix
