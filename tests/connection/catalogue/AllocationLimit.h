// Makes large allocations of this test program fail, as they do when the process runs out of
// memory. The program replaces the global operator new to do so; every other allocation goes
// on as usual.
#pragma once

#include <cstddef>

namespace vorlix::test {

// While it lives, an operator new of more than `bytes` throws std::bad_alloc.
class AllocationLimit {
 public:
  explicit AllocationLimit(size_t bytes);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
};

}  // namespace vorlix::test
