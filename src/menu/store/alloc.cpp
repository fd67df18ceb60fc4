#include "menu/store/alloc.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "menu/store/cons_str.h"

namespace wdist {

namespace {

// Tables this large live in their own mapping; backing them with huge pages
// saves most TLB misses of the transforms' long strides.
constexpr std::size_t kHugePageHint = std::size_t{8} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

void* default_block_source(std::size_t bytes) {
  if (bytes < kHugePageHint) return std::malloc(bytes);
  // Large tables start on a huge-page boundary: the kernels' vector loads
  // are then aligned, and the whole block can be backed by huge pages.
  void* block = nullptr;
  if (posix_memalign(&block, kHugePage, bytes) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(block, bytes, MADV_HUGEPAGE);
#endif
  return block;
}

BlockSource g_block_source = default_block_source;

// Byte counts that do not fit size_t can never be had; they fail like any
// other request that yields nothing.
bool byte_count(std::uint64_t entries, std::uint64_t entry_size, std::size_t& bytes) {
  if (entries == 0 || entries > SIZE_MAX / entry_size) return false;
  bytes = static_cast<std::size_t>(entries * entry_size);
  return true;
}

}  // namespace

void set_block_source(BlockSource source) {
  g_block_source = source != nullptr ? source : default_block_source;
}

void* request_block(std::size_t bytes) { return g_block_source(bytes); }

void* request_block_twice(std::size_t bytes) {
  void* block = request_block(bytes);
  if (block == nullptr) block = request_block(bytes);
  return block;
}

Counter* new_counter_array(std::uint64_t m) {
  std::size_t bytes = 0;
  void* r = byte_count(m + 1, sizeof(Counter), bytes) ? request_block_twice(bytes) : nullptr;
  check(nullptr == r, CheckId::counter_array_null);
  return static_cast<Counter*>(r);
}

Count64* new_count64_array(std::uint64_t m) {
  std::size_t bytes = 0;
  void* r = byte_count(m + 1, sizeof(Count64), bytes) ? request_block_twice(bytes) : nullptr;
  check(nullptr == r, CheckId::count64_array_null);
  return static_cast<Count64*>(r);
}

ElemCode* new_byte_row(std::int32_t m) {
  std::size_t bytes = 0;
  auto entries = static_cast<std::int64_t>(m) + 2;
  void* r = entries > 0 && byte_count(static_cast<std::uint64_t>(entries), 1, bytes) ? request_block_twice(bytes)
                                                                                      : nullptr;
  check(r == nullptr, CheckId::byte_row_null);
  return static_cast<ElemCode*>(r) + 1;
}

void free_byte_row(ElemCode*& row) {
  // The row pointer stands one byte past its block; a null row therefore has
  // a block start of "null minus one", which the check reports.
  ElemCode* start = row == nullptr ? nullptr : row - 1;
  std::free(start);
  check(nullptr == start, CheckId::byte_row_release_null);
  row = nullptr;
}

}  // namespace wdist
