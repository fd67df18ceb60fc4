#include "library/storage.h"

#include <sys/mman.h>

#include <new>

namespace wdist {

namespace {

constexpr std::size_t kAlign = 64;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t aligned_up(std::uint64_t bytes) { return static_cast<std::size_t>((bytes + kAlign - 1) / kAlign * kAlign); }

}  // namespace

AlignedBlock::~AlignedBlock() {
  if (data != nullptr) ::operator delete(data, std::align_val_t{align});
}

bool AlignedBlock::fit(std::size_t wanted) {
  if (wanted <= bytes) return true;
  if (data != nullptr) ::operator delete(data, std::align_val_t{align});
  data = nullptr;
  bytes = 0;
  // Tables of several huge pages start on one, so that they can be backed
  // by huge pages (fewer TLB misses on the transforms' long strides).
  align = wanted >= 4 * kHugePage ? kHugePage : kAlign;
  const std::size_t size = (wanted + align - 1) / align * align;
  // Through the C++ allocation function, which a test may replace.
  data = ::operator new(size, std::align_val_t{align}, std::nothrow);
  if (data == nullptr) return false;
#ifdef MADV_HUGEPAGE
  if (align == kHugePage) madvise(data, size, MADV_HUGEPAGE);
#endif
  bytes = size;
  return true;
}

std::uint64_t worker_bytes(const engine::RecordPlan& plan) {
  std::uint64_t bytes = sizeof(TallyScratch);
  if (plan.route == engine::Route::binary_blocks) bytes += kBlockGroupBytes;
  if (plan.route == engine::Route::projective_blocks) bytes += plan.block_bytes;
  return bytes + generic_scratch_bytes(plan);
}

std::uint64_t fit_storage(Worker::Storage& s, const engine::RecordPlan& plan) {
  try {
    if (!s.tally) s.tally = std::make_unique<TallyScratch>();
  } catch (const std::bad_alloc&) {
    return sizeof(TallyScratch);
  }
  if (plan.route == engine::Route::binary_blocks && !s.group.fit(kBlockGroupBytes)) return kBlockGroupBytes;
  if (plan.route == engine::Route::projective_blocks && !s.small_table.fit(aligned_up(plan.block_bytes)))
    return plan.block_bytes;
  if (const std::uint64_t scratch = generic_scratch_bytes(plan); scratch != 0 && !s.kernel_scratch.fit(aligned_up(scratch)))
    return scratch;
  if (plan.route == engine::Route::binary_table || plan.route == engine::Route::projective_table) {
    // One plane per entry of a row (one on the binary route), each starting
    // on a cache line.
    const int planes = plan.route == engine::Route::binary_table ? 1 : plan.point_q;
    const std::size_t plane = aligned_up(plan.table_rows * static_cast<std::uint64_t>(plan.counter_bits / 8));
    if (!s.table.fit(plane * static_cast<std::size_t>(planes))) return plane * static_cast<std::size_t>(planes);
    for (int e = 0; e < planes; ++e) s.planes[e] = static_cast<char*>(s.table.data) + plane * static_cast<std::size_t>(e);
  }
  return 0;
}

ZeroedCounts::~ZeroedCounts() {
  if (mapped_bytes_ != 0) munmap(counts_, mapped_bytes_);
}

bool ZeroedCounts::take(std::size_t size) {
  // Below 64 KiB a histogram costs little anyway, and a file of many small
  // records would pay a mapping and its release for each.
  constexpr std::size_t kMappedFrom = std::size_t{1} << 13;
  size_ = size;
  if (size < kMappedFrom) {
    try {
      small_.assign(size, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    counts_ = small_.data();
    return true;
  }
  const std::size_t bytes = size * sizeof(std::uint64_t);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
#ifdef MADV_NOHUGEPAGE
  // A count written takes one page, not a huge page of them.
  madvise(p, bytes, MADV_NOHUGEPAGE);
#endif
  counts_ = static_cast<std::uint64_t*>(p);
  mapped_bytes_ = bytes;
  return true;
}

engine::Workspace workspace_of(Worker::Storage& s) {
  return engine::Workspace{s.tally.get(), s.group.data, s.small_table.data, s.kernel_scratch.data};
}

Worker::Worker() : storage_(std::make_unique<Storage>()) {}
Worker::~Worker() = default;
// cppcheck-suppress constParameter ; the storage is the worker's, changed through it
Worker::Storage& storage_of(Worker& w) { return *w.storage_; }

}  // namespace wdist
