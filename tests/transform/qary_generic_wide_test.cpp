// The generic q-ary kernel's body on 64-byte vectors, the avx512 path's
// shapes (32-lane tiles of 16-bit counters, its plans), compiled here
// without target flags so that every machine checks its logic against the
// reference; the avx512 build itself runs in qary_generic_test.cpp where
// the processor has it.
#define WDIST_QARY_GENERIC_VECTOR_BYTES 64
#include "transform/qary_generic_body.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "support/plane_tables.h"
#include "support/qary_ref.h"
#include "transform/qary_generic.h"
#include "transform/qary_generic_kernels.h"

namespace {

using wdist_test::Row;

// The reference's additions per table at most (a tenth in unoptimised
// sanitizer builds).
#ifdef NDEBUG
constexpr double kReferenceBudget = 6e7;
#else
constexpr double kReferenceBudget = 6e6;
#endif

template <class C>
class QaryGenericWideTest : public ::testing::Test {};

using CounterTypes = ::testing::Types<std::int16_t, std::int32_t>;
TYPED_TEST_SUITE(QaryGenericWideTest, CounterTypes);

// Primes whose shapes differ on 64-byte vectors: 2 and 3 (copies deeper
// than T(3)), 11 and 13 (copies of T(3) on 64 or 32 bytes), 17..31 (T(2)
// on 32 lanes of 16-bit counters only from 31 on), 61 and 97 (copies on
// narrower vectors than the levels'), 67 and 103 (across entries in one or
// both widths).
TYPED_TEST(QaryGenericWideTest, MatchesReference) {
  using C = TypeParam;
  using U = std::make_unsigned_t<C>;
  for (int p : {2, 3, 11, 13, 17, 29, 31, 61, 67, 97, 103})
    for (int k = 2; static_cast<double>(wdist_test::theta_ref(p, k)) * p * p * (k - 1) <= kReferenceBudget; ++k) {
      SCOPED_TRACE(testing::Message() << "p = " << p << ", k = " << k << ", " << 8 * sizeof(C) << "-bit");
      const Row P = wdist_test::theta_ref(p, k);
      const std::vector<C> input = wdist_test::random_rows<C>(p, P, k % 2 == 0, static_cast<std::uint64_t>(300 * p + k));
      std::vector<C> expected = input;
      std::vector<C> reference_scratch((static_cast<Row>(p) + 1) * static_cast<Row>(p), C{0});
      wdist_test::qary_transform_ref(expected.data(), reference_scratch.data(), p, k);
      wdist_test::Planes<C> t = wdist_test::to_planes(input, p, P, 70);
      const std::uint64_t bytes = wdist::qary_generic_scratch_bytes(p, 8 * sizeof(C));
      wdist_test::Scratch scratch(bytes);
      wdist::simd_kernels::GenericQaryPlan plan{};
      ASSERT_TRUE(wdist::simd_kernels::plan_generic_qary(p, k, 64, sizeof(C), scratch.data(), plan));
      std::vector<U*> planes;
      for (C* plane : t.planes) planes.push_back(reinterpret_cast<U*>(plane));
      wdist::generic_transform(plan, planes.data());
      EXPECT_TRUE(scratch.canary_intact()) << "written beyond the scratch of " << bytes << " bytes";
      wdist_test::expect_same_table(t, expected);
      if (testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace
