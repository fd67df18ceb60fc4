// What a worker computes in: the engine's per-thread buffers, and the table
// of a table route, taken on first use and grown as plans need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

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
  void* planes[8] = {};
};

// Makes the storage fit the plan: 0 when it does, otherwise the bytes that
// could not be had.
std::uint64_t fit_storage(Worker::Storage& s, const RecordPlan& plan);
Workspace workspace_of(Worker::Storage& s);
// What a worker needs for the plan besides its table.
std::uint64_t worker_bytes(const RecordPlan& plan);

}  // namespace wdist
