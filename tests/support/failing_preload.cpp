// Failures a whole program meets, for its end-to-end tests: preloaded into
// it (LD_PRELOAD), this library replaces the C++ allocation functions and
// pthread_create, and fails them as the environment asks:
//
//   WDIST_TEST_NEW_FAILS_FROM=N  every operator new of N bytes or more
//                                fails (std::bad_alloc; null for nothrow),
//                                and so does every anonymous mmap of as
//                                many bytes (the program's own maps: the C
//                                library's allocator maps without this)
//   WDIST_TEST_THREADS_START=N   the first N threads started start, every
//                                later one fails with EAGAIN
//
// The same seam as the allocation tests' own operator new
// (support/failing_new.h), for a program run as its users run it.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// A setting of the environment; `none` when it is not set.
std::size_t setting(const char* name, std::size_t none) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return none;
  return static_cast<std::size_t>(std::strtoull(text, nullptr, 10));
}

std::size_t fails_from() {
  static const std::size_t from = setting("WDIST_TEST_NEW_FAILS_FROM", SIZE_MAX);
  return from;
}

void* allocate(std::size_t size, std::size_t align) {
  if (size >= fails_from()) return nullptr;
  void* p = nullptr;
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) != 0) return nullptr;
  return p;
}

std::atomic<std::size_t> g_started{0};

}  // namespace

// The C library's free() releases what these return, as it does for the
// allocation functions they replace: the deallocation functions stay.
void* operator new(std::size_t size) {
  if (void* p = allocate(size, alignof(std::max_align_t))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* p = allocate(size, static_cast<std::size_t>(align))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return ::operator new(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, alignof(std::max_align_t)); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(align));
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  static const std::size_t allowed = setting("WDIST_TEST_THREADS_START", SIZE_MAX);
  if (real == nullptr || g_started.fetch_add(1) >= allowed) return EAGAIN;
  return real(thread, attr, start, arg);
}

extern "C" void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
  using Map = void* (*)(void*, std::size_t, int, int, int, off_t);
  static const auto real = reinterpret_cast<Map>(dlsym(RTLD_NEXT, "mmap"));
  if (real == nullptr || ((flags & MAP_ANONYMOUS) != 0 && length >= fails_from())) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  return real(address, length, protection, flags, fd, offset);
}
