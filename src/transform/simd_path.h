// Which vector instruction set the fast kernels use. One binary runs on any
// x86-64: the kernels for wider vectors are compiled for their target alone
// and chosen at run time from what the processor offers. Tests force each
// path the machine has, so every path is checked against the reference.
#pragma once

namespace wdist {

enum class SimdPath { portable, avx2, avx512 };

// The widest path this processor (and this build) supports.
SimdPath best_simd_path();
// The path the kernels use now: the best one unless a test forced another.
SimdPath active_simd_path();
// Forces `path` (clamped to what is supported); returns the path now active.
SimdPath force_simd_path(SimdPath path);
const char* simd_path_name(SimdPath path);

}  // namespace wdist
