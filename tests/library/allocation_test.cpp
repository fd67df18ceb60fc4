// Memory that cannot be had is an error value like any other: the
// allocation function of this test binary fails on request (the seam every
// allocation of the library goes through), and the library answers with
// out_of_memory naming the amount, then works again once memory returns.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "support/library_codes.h"
#include "wdist/plan.h"
#include "wdist/records.h"
#include "wdist/wdist.h"

namespace {

// Requests of this many bytes or more fail while it is not 0.
std::atomic<std::size_t> g_fail_from{0};
// The largest request since it was last set to 0 (read where one thread
// allocates).
std::atomic<std::size_t> g_largest{0};

bool refused(std::size_t size) {
  if (size > g_largest.load(std::memory_order_relaxed)) g_largest.store(size, std::memory_order_relaxed);
  const std::size_t from = g_fail_from.load();
  return from != 0 && size >= from;
}

void* allocate(std::size_t size, std::size_t align) {
  if (refused(size)) return nullptr;
  void* p = nullptr;
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) != 0) return nullptr;
  return p;
}

struct FailFrom {
  explicit FailFrom(std::size_t bytes) { g_fail_from = bytes; }
  ~FailFrom() { g_fail_from = 0; }
  FailFrom(const FailFrom&) = delete;
  FailFrom& operator=(const FailFrom&) = delete;
};

}  // namespace

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

namespace {

using namespace wdist_test;

TEST(OutOfMemory, AWorkersTableThatCannotBeHadIsAStatus) {
  std::mt19937_64 rng(5);
  // Binary k = 20, n = 9000: a whole table of 2^20 narrow counters (2 MiB).
  const wdist::Code code = to_code(random_code(rng, 2, 20, 9000, false, 0));
  wdist::Options one;
  one.threads = 1;
  one.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(code, one, plan));
  ASSERT_EQ(plan.summary.route, "binary table");
  wdist::Distribution d;
  {
    const FailFrom fail(std::size_t{1} << 20);
    const wdist::Status s = wdist::weight_distribution(code, one, d);
    EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
    EXPECT_EQ(s.message, "a worker's 2.0 MiB cannot be had");
  }
  EXPECT_TRUE(wdist::weight_distribution(code, one, d));
  one.threads = 2;  // the same through the executor's workers
  {
    const FailFrom fail(std::size_t{1} << 20);
    EXPECT_EQ(wdist::weight_distribution(code, one, d).code, wdist::StatusCode::out_of_memory);
  }
}

TEST(OutOfMemory, ABasisThatCannotBeHadIsAStatus) {
  std::mt19937_64 rng(6);
  const wdist::Code code = to_code(random_code(rng, 3, 40, 40000, false, 0));
  wdist::Plan plan;
  const FailFrom fail(std::size_t{1} << 15);
  const wdist::Status s = wdist::plan_record(code, {}, plan);
  EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
  EXPECT_EQ(s.message, "the basis and columns of a code of 1.5 MiB cannot be had");
}

TEST(OutOfMemory, AMatrixThatCannotBeHadRefusesItsRecordAndReadingGoesOn) {
  std::FILE* in = std::tmpfile();
  std::fputs("? 2 100000 2\n", in);
  for (int row = 0; row < 2; ++row) {
    for (int j = 0; j < 100000; ++j) std::fputc('1', in);
    std::fputc('\n', in);
  }
  std::fputs("? 1 3 2\n101\n", in);
  std::rewind(in);
  wdist::RecordReader reader(in);
  wdist::Record r;
  {
    const FailFrom fail(std::size_t{1} << 16);
    ASSERT_EQ(reader.next(r), wdist::RecordStatus::refused);
    EXPECT_EQ(r.reason, "its matrix of 200000 bytes cannot be had");
  }
  ASSERT_EQ(reader.next(r), wdist::RecordStatus::ok);
  EXPECT_EQ(r.number, 2);
  EXPECT_EQ(r.code.n, 3);
  std::fclose(in);
}

// A head claims k * n entries, but only the rows that follow are storage:
// a record cut short costs what was read (here at most a few times the
// 3000 entries that came), however much its head claimed. Requests
// beyond 64 MiB fail, so that a reader sized by the head could not take
// the machine's memory first.
TEST(OutOfMemory, StorageGrowsWithTheRowsReadNotWithTheHead) {
  const std::string rows = std::string(1000, '1') + "\n" + std::string(1000, '0') + "\n" + std::string(1000, '1');
  for (const char* head : {"? 1 2147483647 2\n", "? 4 2147483647 2\n", "? 1000 20000000 2\n", "? 3 2000 2\n"}) {
    SCOPED_TRACE(head);
    std::FILE* in = std::tmpfile();
    std::fputs(head, in);
    std::fputs(rows.c_str(), in);
    std::rewind(in);
    wdist::RecordReader reader(in);
    wdist::Record r;
    {
      const FailFrom fail(std::size_t{64} << 20);
      g_largest = 0;
      EXPECT_EQ(reader.next(r), wdist::RecordStatus::truncated);
      EXPECT_LE(g_largest.load(), std::size_t{1} << 16);
    }
    std::fclose(in);
  }
}

}  // namespace
