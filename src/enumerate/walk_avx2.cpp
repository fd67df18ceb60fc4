// The walks on the avx2 path: AVX2 and the popcnt instruction.
#define WDIST_WALK_PATH 1
#include "enumerate/walk_body.h"
#include "enumerate/walk_kernels.h"

namespace wdist::walk_kernels {

void walk_binary_avx2(const BinaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
                 WalkScratch& scratch, WalkVisitor visit, void* context) {
  if (tables.words == 1)
    walk_binary_body<true>(tables, w, first, count, limit, scratch, visit, context);
  else
    walk_binary_body<false>(tables, w, first, count, limit, scratch, visit, context);
}

void walk_qary_avx2(const QaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
               WalkScratch& scratch, WalkVisitor visit, void* context) {
  walk_qary_body(tables, w, first, count, limit, scratch, visit, context);
}

std::size_t first_light_entry_avx2(const WalkWord* s, const WalkWord* table, std::size_t words, std::size_t from,
                              std::size_t to, int limit) {
  return light_entry(s, table, words, from, to, limit);
}

}  // namespace wdist::walk_kernels
