// Running a kernel test once per vector path the processor offers.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "transform/simd_path.h"

namespace wdist_test {

// Every path up to the best this processor supports.
inline std::vector<wdist::SimdPath> offered_paths() {
  using wdist::SimdPath;
  std::vector<SimdPath> paths{SimdPath::portable};
  if (static_cast<int>(wdist::best_simd_path()) >= static_cast<int>(SimdPath::avx2)) paths.push_back(SimdPath::avx2);
  if (wdist::best_simd_path() == SimdPath::avx512) paths.push_back(SimdPath::avx512);
  return paths;
}

// Forces one path for the life of a scope and restores the best one.
struct ForcedPath {
  explicit ForcedPath(wdist::SimdPath path) { EXPECT_EQ(wdist::force_simd_path(path), path); }
  ~ForcedPath() { wdist::force_simd_path(wdist::SimdPath::avx512); }
  ForcedPath(const ForcedPath&) = delete;
  ForcedPath& operator=(const ForcedPath&) = delete;
};

}  // namespace wdist_test
