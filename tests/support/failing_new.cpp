#include "support/failing_new.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Requests of this many bytes or more fail while it is not 0.
std::atomic<std::size_t> g_fail_from{0};
// The largest request since reset_largest_request().
std::atomic<std::size_t> g_largest{0};

bool refused(std::size_t size) {
  std::size_t largest = g_largest.load(std::memory_order_relaxed);
  while (size > largest && !g_largest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
  }
  const std::size_t from = g_fail_from.load();
  return from != 0 && size >= from;
}

void* allocate(std::size_t size, std::size_t align) {
  if (refused(size)) return nullptr;
  void* p = nullptr;
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) != 0) return nullptr;
  return p;
}

}  // namespace

namespace wdist_test {

FailFrom::FailFrom(std::size_t bytes) { g_fail_from = bytes; }
FailFrom::~FailFrom() { g_fail_from = 0; }

void reset_largest_request() { g_largest = 0; }
std::size_t largest_request() { return g_largest.load(); }

}  // namespace wdist_test

void* operator new(std::size_t size) {
  if (void* p = allocate(size, alignof(std::max_align_t))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* p = allocate(size, static_cast<std::size_t>(align))) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, alignof(std::max_align_t)); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(align));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
