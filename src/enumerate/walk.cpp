#include "enumerate/walk.h"

#include "enumerate/walk_kernels.h"
#include "transform/simd_path.h"

namespace wdist {

namespace {

// The path the walks take: the kernels' active path, except that the
// AVX-512 walks also need VPOPCNTQ and the AVX2 ones the popcnt
// instruction (every AVX2 processor has it; checked all the same).
SimdPath walk_path() {
  SimdPath path = active_simd_path();
#if WDIST_X86_KERNELS
  static const bool has_vpopcntdq = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512vpopcntdq") != 0;
  }();
  static const bool has_popcnt = __builtin_cpu_supports("popcnt") != 0;
  if (path == SimdPath::avx512 && !has_vpopcntdq) path = SimdPath::avx2;
  if (path == SimdPath::avx2 && !has_popcnt) path = SimdPath::portable;
#endif
  return path;
}

}  // namespace

void size_walk_scratch(const BinaryWalkTables* binary, const QaryWalkTables* qary, int most_weight,
                       WalkScratch& scratch) {
  const auto w = static_cast<std::size_t>(most_weight < 1 ? 1 : most_weight);
  scratch.ints.resize(3 * (w + 1));
  if (binary != nullptr) {
    const std::size_t words = (w + 2) * binary->words;
    if (scratch.words.size() < words) scratch.words.resize(words);
  }
  if (qary != nullptr) {
    const std::size_t bytes = (w + 3) * static_cast<std::size_t>(qary->planes) * qary->length + w;
    if (scratch.bytes.size() < bytes) scratch.bytes.resize(bytes);
  }
}

void walk_binary(const BinaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
                 WalkScratch& scratch, WalkVisitor visit, void* context) {
  switch (walk_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512:
      walk_kernels::walk_binary_avx512(tables, w, first, count, limit, scratch, visit, context);
      return;
    case SimdPath::avx2:
      walk_kernels::walk_binary_avx2(tables, w, first, count, limit, scratch, visit, context);
      return;
#endif
    default:
      walk_kernels::walk_binary_portable(tables, w, first, count, limit, scratch, visit, context);
      return;
  }
}

void walk_qary(const QaryWalkTables& tables, int w, std::uint64_t first, std::uint64_t count, int limit,
               WalkScratch& scratch, WalkVisitor visit, void* context) {
  switch (walk_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512:
      walk_kernels::walk_qary_avx512(tables, w, first, count, limit, scratch, visit, context);
      return;
    case SimdPath::avx2:
      walk_kernels::walk_qary_avx2(tables, w, first, count, limit, scratch, visit, context);
      return;
#endif
    default:
      walk_kernels::walk_qary_portable(tables, w, first, count, limit, scratch, visit, context);
      return;
  }
}

std::size_t first_light_entry(const WalkWord* s, const WalkWord* table, std::size_t words, std::size_t from,
                              std::size_t to, int limit) {
  switch (walk_path()) {
#if WDIST_X86_KERNELS
    case SimdPath::avx512: return walk_kernels::first_light_entry_avx512(s, table, words, from, to, limit);
    case SimdPath::avx2: return walk_kernels::first_light_entry_avx2(s, table, words, from, to, limit);
#endif
    default: return walk_kernels::first_light_entry_portable(s, table, words, from, to, limit);
  }
}

}  // namespace wdist
