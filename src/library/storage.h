// What a worker computes in: the engine's per-thread buffers, and the table
// of a table route, taken on first use and grown as plans need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/infoset.h"
#include "engine/record_steps.h"
#include "wdist/plan.h"

namespace wdist {

// A block of bytes aligned to 64 (cache lines, the widest vectors).
struct AlignedBlock {
  void* data = nullptr;
  std::size_t bytes = 0;
  std::size_t align = 0;
  AlignedBlock() = default;
  AlignedBlock(const AlignedBlock&) = delete;
  AlignedBlock& operator=(const AlignedBlock&) = delete;
  AlignedBlock(AlignedBlock&&) = delete;
  AlignedBlock& operator=(AlignedBlock&&) = delete;
  ~AlignedBlock();
  // At least `wanted` bytes; false when they cannot be had.
  bool fit(std::size_t wanted);
};

struct Worker::Storage {
  std::unique_ptr<TallyScratch> tally;
  AlignedBlock group;
  AlignedBlock small_table;
  AlignedBlock table;
  AlignedBlock kernel_scratch;
  void* planes[kLargestFieldOrder] = {};
  // The search by information sets (library/search.cpp): the walks'
  // buffers and a tally, sized for the plan of that identity.
  SearchScratch search;
  SearchTally search_tally;
  std::uint64_t search_sized_for = 0;
  bool search_sized = false;
};

// counts[0..size), every one 0, for a histogram of which few entries are
// ever written (a code of 16 codewords has at most 16 weights among the
// 10^7 + 1 of its length). A large one is fresh pages of the system, which
// hold no memory until a count is written into them: what it costs follows
// the weights that occur, not the length. A small one is ordinary storage.
class ZeroedCounts {
 public:
  ZeroedCounts() = default;
  ZeroedCounts(const ZeroedCounts&) = delete;
  ZeroedCounts& operator=(const ZeroedCounts&) = delete;
  ZeroedCounts(ZeroedCounts&&) = delete;
  ZeroedCounts& operator=(ZeroedCounts&&) = delete;
  ~ZeroedCounts();
  // Takes them (once); false when they cannot be had.
  bool take(std::size_t size);
  [[nodiscard]] std::uint64_t* data() { return counts_; }
  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  std::vector<std::uint64_t> small_;
  std::uint64_t* counts_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_bytes_ = 0;  // of counts_ when it is a mapping of its own
};

// Makes the storage fit the plan: 0 when it does, otherwise the bytes that
// could not be had.
std::uint64_t fit_storage(Worker::Storage& s, const engine::RecordPlan& plan);
engine::Workspace workspace_of(Worker::Storage& s);
// What a worker needs for the plan besides its table.
std::uint64_t worker_bytes(const engine::RecordPlan& plan);

}  // namespace wdist
