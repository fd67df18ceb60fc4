// Fuzz target: arbitrary bytes as the input of the library (the wdist
// program's path): every record read under both rule sets and computed by
// both routes, with a small work limit and allocations above 16 MiB failing
// (so that a huge head is refused as out of memory, as on a real machine).
// The library must never crash, hang or leak, and every computed
// distribution must add up to q^rank with A_0 = 1.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "wdist/plan.h"
#include "program/records.h"
#include "wdist/wdist.h"

namespace {

constexpr std::size_t kLargestRequest = std::size_t{16} << 20;
// Only the library's requests are bounded, not the fuzzer's own.
bool g_bounded = false;

bool refused(std::size_t size) { return g_bounded && size > kLargestRequest; }

void* allocate(std::size_t size) { return refused(size) ? nullptr : std::malloc(size == 0 ? 1 : size); }

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  if (refused(size)) return nullptr;
  void* p = nullptr;
  return posix_memalign(&p, static_cast<std::size_t>(align), size == 0 ? 1 : size) == 0 ? p : nullptr;
}
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* p = ::operator new(size, align, std::nothrow)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

void check_distribution(const wdist::Distribution& d) {
  if (d.projective) return;
  mpz_class sum = 0, power = 0;
  for (const mpz_class& c : d.counts) sum += c;
  mpz_ui_pow_ui(power.get_mpz_t(), static_cast<unsigned long>(d.q), static_cast<unsigned long>(d.rank));
  if (sum != power || d.counts.empty() || d.counts[0] != 1) __builtin_trap();
}

void compute(const wdist::Code& code) {
  for (wdist::DualRoute route : {wdist::DualRoute::never, wdist::DualRoute::always}) {
    wdist::Options o;
    o.threads = 1;
    o.max_work = 0x1p14;
    o.dual = route;
    wdist::Distribution d;
    if (wdist::weight_distribution(code, o, d)) check_distribution(d);
  }
  wdist::Options projective;
  projective.threads = 1;
  projective.max_work = 0x1p14;
  projective.projective = true;
  wdist::Distribution d;
  (void)wdist::weight_distribution(code, projective, d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_bounded = true;
  using wdist::program::RecordRules;
  for (RecordRules rules : {RecordRules::library, RecordRules::wide_program}) {
    std::FILE* in = std::tmpfile();
    if (in == nullptr) break;
    std::fwrite(data, 1, size, in);
    std::rewind(in);
    wdist::program::ProgramRecordReader reader(in, rules, rules == RecordRules::wide_program);
    wdist::Record record;
    for (int records = 0; records < 64; ++records) {
      const wdist::RecordStatus status = reader.next(record);
      if (status == wdist::RecordStatus::ok) compute(record.code);
      if (status != wdist::RecordStatus::ok && status != wdist::RecordStatus::refused) break;
    }
    std::fclose(in);
  }
  g_bounded = false;
  return 0;
}
