// The per-target entry points of the generic q-ary kernel (qary_generic.h)
// and the plan they follow. qary_generic.cpp decides every shape (which way
// the additions run, the vector width of each level, the scratch layout)
// for the path it is about to call, and the kernels only carry it out: a
// decision computed in a file compiled for a wider target could otherwise
// be merged into the portable path by the linker.
#pragma once

#include <cstdint>

namespace wdist::simd_kernels {

inline constexpr int kGenericLargestPrime = 251;
inline constexpr int kGenericMaxDepth = 32;
// The largest prime whose groups may run a vector of groups at a time: the
// kernels' rows of values, vectors and pointers per entry are this long.
inline constexpr int kGenericLargestChunkedPrime = 101;
// Across entries: vectors of entries summed per pass, kept in registers.
inline constexpr int kGenericEntryChunkVectors = 4;

struct GenericQaryPlan {
  int p;
  int k;
  bool by_entries;     // additions across the entries of one group (large p)
  int chunk;           // across groups: entries summed per pass, kept in registers
  int low_depth;       // across groups: levels 2..low_depth run on transposed copies of T(low_depth)
  int low_vector_bytes;  // the vectors of those copies, one copy per lane
  int region_depth;    // across groups: a copy of T(region_depth) gets all its levels before the next
  int level_vector_bytes[kGenericMaxDepth + 2];  // across groups: the vectors of level m (A = theta_(m-1))
  std::uint64_t theta[kGenericMaxDepth + 2];     // theta_j, j = 0..k
  // Doubled rows: row b of a group starts row_stride vectors (across
  // groups) or counters (across entries) after row b - 1.
  std::uint64_t row_stride;
  // Scratch, 64-byte aligned: across groups, the doubled rows of a group,
  // the overlapping last group and the transposed copies; across entries,
  // the doubled rows and the output row.
  void* rows;
  void* last;
  void* low;
};

// The plan for a table of dimension k over F_p on vectors of vector_bytes
// (16, 32 or 64) and counters of counter_bytes (2 or 4), its scratch
// carved from `scratch` (qary_generic_scratch_bytes of them); false, with
// nothing to do, for a p or k qary_generic_transform leaves alone. The
// tests plan the widest vectors with it on any machine.
bool plan_generic_qary(int p, int k, int vector_bytes, int counter_bytes, void* scratch, GenericQaryPlan& plan);

// The kernels: planes[e] for e = 0..p-1.
void qary_generic_portable(std::uint16_t* const* planes, const GenericQaryPlan& plan);
void qary_generic_portable(std::uint32_t* const* planes, const GenericQaryPlan& plan);
#if WDIST_X86_KERNELS
void qary_generic_avx2(std::uint16_t* const* planes, const GenericQaryPlan& plan);
void qary_generic_avx2(std::uint32_t* const* planes, const GenericQaryPlan& plan);
void qary_generic_avx512(std::uint16_t* const* planes, const GenericQaryPlan& plan);
void qary_generic_avx512(std::uint32_t* const* planes, const GenericQaryPlan& plan);
#endif

}  // namespace wdist::simd_kernels
