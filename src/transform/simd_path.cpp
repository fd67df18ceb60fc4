#include "transform/simd_path.h"

namespace wdist {

namespace {

SimdPath detect() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return SimdPath::avx512;
  if (__builtin_cpu_supports("avx2")) return SimdPath::avx2;
#endif
  return SimdPath::portable;
}

SimdPath g_forced = SimdPath::avx512;  // no limit below the processor's

}  // namespace

SimdPath best_simd_path() {
  static const SimdPath best = detect();
  return best;
}

SimdPath active_simd_path() {
  const SimdPath best = best_simd_path();
  return static_cast<int>(g_forced) < static_cast<int>(best) ? g_forced : best;
}

SimdPath force_simd_path(SimdPath path) {
  g_forced = path;
  return active_simd_path();
}

const char* simd_path_name(SimdPath path) {
  switch (path) {
    case SimdPath::portable: return "portable";
    case SimdPath::avx2: return "avx2";
    case SimdPath::avx512: return "avx512";
  }
  return "?";
}

}  // namespace wdist
