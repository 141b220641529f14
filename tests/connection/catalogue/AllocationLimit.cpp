#include "tests/connection/catalogue/AllocationLimit.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace vorlix::test {
namespace {

std::atomic<size_t> limit{std::numeric_limits<size_t>::max()};

void* Allocate(size_t bytes) {
  if (bytes > limit.load()) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes ? bytes : 1)) return memory;
  throw std::bad_alloc();
}

}  // namespace

AllocationLimit::AllocationLimit(size_t bytes) {
  limit = bytes;
}

AllocationLimit::~AllocationLimit() {
  limit = std::numeric_limits<size_t>::max();
}

}  // namespace vorlix::test

void* operator new(size_t bytes) {
  return vorlix::test::Allocate(bytes);
}
void* operator new[](size_t bytes) {
  return vorlix::test::Allocate(bytes);
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return vorlix::test::Allocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](size_t bytes, const std::nothrow_t& nothrow) noexcept {
  return operator new(bytes, nothrow);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, size_t) noexcept {
  std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
