// The per-target entry points of the walks (one set per SIMD path, each
// compiled with its own target flags). Only walk.cpp calls them, after
// choosing the path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "enumerate/walk.h"

namespace wdist::walk_kernels {

#define WDIST_WALK_ENTRY_POINTS(path)                                                                              \
  void walk_binary_##path(const BinaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count,        \
                          int limit, WalkScratch& scratch, WalkVisitor visit, void* context);                     \
  void walk_qary_##path(const QaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit, \
                        WalkScratch& scratch, WalkVisitor visit, void* context);                                  \
  std::size_t first_light_entry_##path(const WalkWord* s, const WalkWord* table, std::size_t words,               \
                                       std::size_t from, std::size_t to, int limit);

WDIST_WALK_ENTRY_POINTS(portable)
#if WDIST_X86_KERNELS
WDIST_WALK_ENTRY_POINTS(avx2)
WDIST_WALK_ENTRY_POINTS(avx512)
#endif

#undef WDIST_WALK_ENTRY_POINTS

}  // namespace wdist::walk_kernels
