// Stabilizer codes and additive codes over F_4 through the library
// (wdist/stabilizer.h): known codes, random groups against the count from
// the definition (support/pauli_ref.h), both routes, the generators'
// notation and every refusal.
#include "wdist/stabilizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/pauli_ref.h"
#include "support/stabilizer_codes.h"
#include "wdist/plan.h"

namespace {

using namespace wdist_test;

wdist::PauliGenerators generators_of(const PauliList& list) {
  wdist::PauliGenerators g;
  g.n = list.n;
  g.r = static_cast<int>(list.ops.size());
  g.bits = symplectic_bits(list);
  return g;
}

wdist::PauliGenerators parsed(const std::vector<std::string>& texts, std::int64_t n = 0) {
  wdist::PauliGenerators g;
  const wdist::Status s = wdist::parse_generators(texts, n, g);
  EXPECT_TRUE(s) << s.message;
  return g;
}

std::vector<std::uint64_t> as_u64(const std::vector<mpz_class>& counts) {
  std::vector<std::uint64_t> out;
  for (const mpz_class& c : counts) out.push_back(c.get_ui());
  return out;
}

// The nonzero counts as "w:count" words, for readable comparisons.
std::string nonzero_text(const std::vector<mpz_class>& counts) {
  std::string text;
  for (std::size_t w = 0; w < counts.size(); ++w)
    if (counts[w] != 0) {
      if (!text.empty()) text += ' ';
      text += std::to_string(w);
      text += ':';
      text += counts[w].get_str();
    }
  return text;
}

wdist::Options with_dual(wdist::DualRoute dual, unsigned threads = 1) {
  wdist::Options o;
  o.dual = dual;
  o.threads = threads;
  return o;
}

wdist::StabilizerEnumerators enumerators(const wdist::PauliGenerators& g, const wdist::Options& o = with_dual(wdist::DualRoute::automatic)) {
  wdist::StabilizerEnumerators e;
  const wdist::Status s = wdist::stabilizer_enumerators(g, o, e);
  EXPECT_TRUE(s) << s.message;
  return e;
}

// A stabilizer group of the given rank on n qubits: Z on the first `rank`
// qubits carried through random symplectic transvections v -> v + <v,h> h,
// which keep every commutation; listed with `extra` random products of its
// generators (the identity among them at times), shuffled.
PauliList random_stabilizer(std::mt19937_64& rng, int n, int rank, int extra) {
  PauliList list{n, {}};
  for (int i = 0; i < rank; ++i) list.ops.push_back(PauliOp{0, std::uint32_t{1} << i});
  const std::uint32_t mask = (std::uint32_t{1} << n) - 1;
  for (int t = 0; t < 4 * n; ++t) {
    const PauliOp h{static_cast<std::uint32_t>(rng()) & mask, static_cast<std::uint32_t>(rng()) & mask};
    for (PauliOp& op : list.ops)
      if (!commute(op, h)) {
        op.x ^= h.x;
        op.z ^= h.z;
      }
  }
  const std::size_t base = list.ops.size();
  for (int e = 0; e < extra; ++e) {
    PauliOp product;
    for (std::size_t i = 0; i < base; ++i)
      if (rng() % 2 != 0) {
        product.x ^= list.ops[i].x;
        product.z ^= list.ops[i].z;
      }
    list.ops.push_back(product);
  }
  std::shuffle(list.ops.begin(), list.ops.end(), rng);
  if (list.ops.empty()) list.ops.push_back(PauliOp{});
  return list;
}

PauliList random_operators(std::mt19937_64& rng, int n, int r) {
  PauliList list{n, {}};
  const std::uint32_t mask = (std::uint32_t{1} << n) - 1;
  for (int i = 0; i < r; ++i)
    list.ops.push_back(PauliOp{static_cast<std::uint32_t>(rng()) & mask, static_cast<std::uint32_t>(rng()) & mask});
  return list;
}

// ---- Known codes ----

TEST(KnownStabilizerCodes, FiveQubitAndSteaneEnumerators) {
  const wdist::StabilizerEnumerators five = enumerators(parsed(five_qubit_code()));
  EXPECT_EQ(nonzero_text(five.A), "0:1 4:15");
  EXPECT_EQ(nonzero_text(five.B), "0:1 3:30 4:15 5:18");
  EXPECT_EQ(five.rank, 4);
  EXPECT_EQ(five.generators, 4);
  const wdist::StabilizerEnumerators steane = enumerators(parsed(steane_code()));
  EXPECT_EQ(nonzero_text(steane.A), "0:1 4:21 6:42");
  // N(S): pairs of Hamming codewords, 2^8 operators; the weight-3 lines of
  // the Fano plane meet pairwise, so no logical operator has weight 4 or 6.
  EXPECT_EQ(nonzero_text(steane.B), "0:1 3:21 4:21 5:126 6:42 7:45");
}

TEST(KnownStabilizerCodes, ParametersDistanceAndDegeneracy) {
  for (const KnownStabilizer& code : known_stabilizer_codes()) {
    SCOPED_TRACE(code.name);
    const wdist::PauliGenerators g = parsed(code.generators);
    const wdist::StabilizerEnumerators e = enumerators(g, with_dual(wdist::DualRoute::automatic, 2));
    EXPECT_EQ(e.n, code.n);
    EXPECT_EQ(e.k, code.k);
    EXPECT_EQ(e.rank, code.n - code.k);
    EXPECT_EQ(e.distance, code.distance);
    EXPECT_FALSE(e.distance_in_stabilizer);
    EXPECT_EQ(e.degenerate, code.degenerate);
    EXPECT_EQ(e.method, wdist::Method::direct);
    // From the definition where the group or the normalizer is small enough.
    if (code.generators.size() <= 18) {
      PauliList list{static_cast<int>(code.n), {}};
      for (const std::string& t : code.generators) list.ops.push_back(pauli_of(t));
      const GroupRef ref = group_ref(list, code.n <= 9);
      EXPECT_EQ(as_u64(e.A), ref.A);
      if (code.n <= 9) {
        EXPECT_EQ(as_u64(e.B), ref.B);
        EXPECT_EQ(e.distance, ref.distance);
        EXPECT_EQ(e.degenerate, ref.degenerate);
      }
    }
  }
}

TEST(KnownStabilizerCodes, TheGolayRowsSpanTheGolayCode) {
  // The quantum Golay code is only as right as the classical code it is
  // built from: [23, 12] with A_7 = 253, A_8 = 506.
  wdist::Code code{2, 12, 23, {}};
  for (const auto& row : golay_code_rows())
    for (const int b : row) code.entries.push_back(static_cast<wdist::ElemCode>(b));
  wdist::Distribution d;
  ASSERT_TRUE(wdist::weight_distribution(code, {}, d));
  EXPECT_EQ(d.rank, 12);
  EXPECT_EQ(wdist::min_distance(d), 7);
  EXPECT_EQ(d.counts[7], 253);
  EXPECT_EQ(d.counts[8], 506);
}

TEST(KnownStabilizerCodes, AStabilizerStateHasTheLeastWeightOfItsGroup) {
  // k = 0: N(S) = S, so A = B; the distance is that of S itself.
  const wdist::StabilizerEnumerators bell = enumerators(parsed({"XX", "ZZ"}));
  EXPECT_EQ(bell.k, 0);
  EXPECT_TRUE(bell.distance_in_stabilizer);
  EXPECT_EQ(bell.distance, 2);
  EXPECT_FALSE(bell.degenerate);
  EXPECT_EQ(nonzero_text(bell.A), "0:1 2:3");
  EXPECT_EQ(bell.A, bell.B);
  // The five-qubit code with its logical Z: a state whose group holds ZZZZZ.
  std::vector<std::string> state = five_qubit_code();
  state.push_back("ZZZZZ");
  const wdist::StabilizerEnumerators e = enumerators(parsed(state));
  EXPECT_EQ(e.k, 0);
  EXPECT_TRUE(e.distance_in_stabilizer);
  EXPECT_EQ(e.distance, 3);  // ZZZZZ times XZZXI is YIIYZ
}

TEST(KnownStabilizerCodes, NoGeneratorButTheIdentity) {
  // S = {I}: B counts every operator, the distance is 1.
  const wdist::StabilizerEnumerators e = enumerators(parsed({"III"}));
  EXPECT_EQ(e.rank, 0);
  EXPECT_EQ(e.k, 3);
  EXPECT_EQ(nonzero_text(e.A), "0:1");
  EXPECT_EQ(nonzero_text(e.B), "0:1 1:9 2:27 3:27");
  EXPECT_EQ(e.distance, 1);
}

// ---- Routes ----

TEST(StabilizerRoutes, TheNormalizerCountedGivesTheSameEnumerators) {
  for (const KnownStabilizer& code : known_stabilizer_codes()) {
    if (code.n + code.k > 26) continue;  // 2^(n + k) elements of N(S)
    SCOPED_TRACE(code.name);
    const wdist::PauliGenerators g = parsed(code.generators);
    const wdist::StabilizerEnumerators direct = enumerators(g, with_dual(wdist::DualRoute::never));
    const wdist::StabilizerEnumerators dual = enumerators(g, with_dual(wdist::DualRoute::always, 2));
    EXPECT_EQ(direct.method, wdist::Method::direct);
    EXPECT_EQ(dual.method, wdist::Method::dual);
    EXPECT_EQ(direct.A, dual.A);
    EXPECT_EQ(direct.B, dual.B);
    EXPECT_EQ(direct.distance, dual.distance);
    EXPECT_EQ(direct.degenerate, dual.degenerate);
  }
}

TEST(StabilizerRoutes, TheImageIsCountedDirectlyAndItsPlanIsTheGroupsSize) {
  // The binary code of 3n columns has 2^rank codewords; its own dual
  // (dimension 3n - rank) is never what is counted, even when asked.
  const wdist::PauliGenerators g = parsed(rotated_surface_code(5));
  for (const wdist::DualRoute route : {wdist::DualRoute::automatic, wdist::DualRoute::never}) {
    wdist::GroupImage image;
    ASSERT_TRUE(wdist::image_of(g, wdist::GroupKind::stabilizer, with_dual(route), image));
    EXPECT_EQ(image.method, wdist::Method::direct);
    EXPECT_EQ(image.code.q, 2);
    EXPECT_EQ(image.code.n, 75);
    EXPECT_EQ(image.code.k, 24);
    wdist::Options o = with_dual(wdist::DualRoute::never);
    wdist::Plan plan;
    ASSERT_TRUE(wdist::plan_record(image.code, o, plan));
    EXPECT_EQ(plan.summary.method, wdist::Method::direct);
    EXPECT_EQ(plan.summary.dimension, 24);
    // Left to itself the engine would count the image directly as well:
    // 2^24 against 2^51.
    o.dual = wdist::DualRoute::automatic;
    ASSERT_TRUE(wdist::plan_record(image.code, o, plan));
    EXPECT_EQ(plan.summary.method, wdist::Method::direct);
  }
}

TEST(StabilizerRoutes, InStepsAsInOneCall) {
  const wdist::PauliGenerators g = parsed(quantum_golay_code());
  const wdist::Options options = with_dual(wdist::DualRoute::automatic, 2);
  wdist::GroupImage image;
  ASSERT_TRUE(wdist::image_of(g, wdist::GroupKind::stabilizer, options, image));
  wdist::Options o = options;
  o.dual = wdist::DualRoute::never;
  wdist::Plan plan;
  ASSERT_TRUE(wdist::plan_record(std::move(image.code), o, plan));
  wdist::Worker worker;
  wdist::Tally total = wdist::empty_tally(plan);
  for (std::uint64_t u = plan.summary.units; u-- > 0;) ASSERT_TRUE(wdist::run_units(plan, u, 1, worker, total));
  wdist::Distribution counted;
  ASSERT_TRUE(wdist::finish_record(plan, total, counted));
  wdist::StabilizerEnumerators steps;
  ASSERT_TRUE(wdist::finish_stabilizer(image, counted, steps));
  const wdist::StabilizerEnumerators one = enumerators(g, options);
  EXPECT_EQ(steps.A, one.A);
  EXPECT_EQ(steps.B, one.B);
  EXPECT_EQ(steps.distance, 7);
  // A CSS group {X^a Z^b : a, b in E} over the even Golay subcode E has an
  // element of weight |a or b| for each pair: 2^22 pairs of masks.
  std::vector<std::uint32_t> even = {0};
  const std::vector<std::vector<int>> rows = golay_code_rows();
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    std::uint32_t row = 0;
    for (std::size_t j = 0; j < 23; ++j) row |= static_cast<std::uint32_t>(rows[i][j] ^ rows[i + 1][j]) << j;
    const std::size_t size = even.size();
    for (std::size_t c = 0; c < size; ++c) even.push_back(even[c] ^ row);
  }
  std::vector<std::uint64_t> A(24, 0);
  for (const std::uint32_t a : even)
    for (const std::uint32_t b : even) ++A[static_cast<std::size_t>(std::popcount(a | b))];
  EXPECT_EQ(as_u64(steps.A), A);
  EXPECT_EQ(nonzero_text(steps.A), "0:1 8:1518 12:110124 14:425040 16:1298649 18:1530144 20:743820 22:85008");
}

// ---- Random groups against the definition ----

TEST(RandomStabilizerGroups, EnumeratorsDistanceAndDegeneracyAsDefined) {
  std::mt19937_64 rng(2201);
  for (int trial = 0; trial < 300; ++trial) {
    const int n = 1 + static_cast<int>(rng() % 7);
    const int rank = static_cast<int>(rng() % static_cast<std::uint64_t>(n + 1));
    const int extra = static_cast<int>(rng() % 4);
    const PauliList list = random_stabilizer(rng, n, rank, extra);
    const GroupRef ref = group_ref(list, true);
    const wdist::PauliGenerators g = generators_of(list);
    SCOPED_TRACE(::testing::PrintToString(pauli_texts(list)));
    ASSERT_TRUE(wdist::check_commuting(g));
    const wdist::DualRoute route = trial % 3 == 0 ? wdist::DualRoute::always : wdist::DualRoute::automatic;
    const wdist::StabilizerEnumerators e = enumerators(g, with_dual(route, static_cast<unsigned>(1 + trial % 2)));
    EXPECT_EQ(e.rank, ref.rank);
    EXPECT_EQ(e.k, n - ref.rank);
    EXPECT_EQ(as_u64(e.A), ref.A);
    EXPECT_EQ(as_u64(e.B), ref.B);
    EXPECT_EQ(e.distance, ref.distance);
    EXPECT_EQ(e.degenerate, ref.degenerate);
    EXPECT_EQ(e.distance_in_stabilizer, ref.rank == n);
  }
}

TEST(RandomAdditiveCodes, CountsAsDefinedOnEveryRoute) {
  std::mt19937_64 rng(2202);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 1 + static_cast<int>(rng() % 7);
    const int r = 1 + static_cast<int>(rng() % static_cast<std::uint64_t>(2 * n + 2));
    const PauliList list = random_operators(rng, n, r);
    const GroupRef ref = group_ref(list, false);
    SCOPED_TRACE(::testing::PrintToString(pauli_texts(list)));
    for (const wdist::DualRoute route :
         {wdist::DualRoute::never, wdist::DualRoute::always, wdist::DualRoute::automatic}) {
      wdist::AdditiveDistribution d;
      const wdist::Status s = wdist::additive_distribution(generators_of(list), with_dual(route), d);
      ASSERT_TRUE(s) << s.message;
      EXPECT_EQ(d.rank, ref.rank);
      EXPECT_EQ(d.n, n);
      EXPECT_EQ(d.generators, r);
      EXPECT_EQ(as_u64(d.counts), ref.A);
      if (route != wdist::DualRoute::automatic) {
        EXPECT_EQ(d.method, route == wdist::DualRoute::always ? wdist::Method::dual : wdist::Method::direct);
      }
    }
  }
}

TEST(RandomAdditiveCodes, AHighRankCodeIsCountedThroughItsSymplecticDual) {
  // Rank 24 on 12 coordinates: the whole space F_4^12, its dual {0}.
  std::mt19937_64 rng(2203);
  PauliList list{12, {}};
  for (int i = 0; i < 12; ++i) {
    list.ops.push_back(PauliOp{std::uint32_t{1} << i, 0});
    list.ops.push_back(PauliOp{0, std::uint32_t{1} << i});
  }
  // Mixed so that no row is a unit vector.
  for (int t = 0; t < 200; ++t) {
    const std::size_t a = rng() % list.ops.size(), b = rng() % list.ops.size();
    if (a == b) continue;
    list.ops[a].x ^= list.ops[b].x;
    list.ops[a].z ^= list.ops[b].z;
  }
  wdist::AdditiveDistribution d;
  ASSERT_TRUE(wdist::additive_distribution(generators_of(list), with_dual(wdist::DualRoute::automatic), d));
  EXPECT_EQ(d.method, wdist::Method::dual);
  EXPECT_EQ(d.rank, 24);
  // C(12, w) 3^w codewords of weight w.
  mpz_class binomial = 1, power = 1;
  for (int w = 0; w <= 12; ++w) {
    EXPECT_EQ(d.counts[static_cast<std::size_t>(w)], binomial * power) << "w = " << w;
    binomial = binomial * (12 - w) / (w + 1);
    power *= 3;
  }
}

TEST(RandomStabilizerGroups, TheSameOnAnyNumberOfThreadsAndInBlocks) {
  std::mt19937_64 rng(2204);
  // Rank 16 on 16 qubits and rank 20 on 24 (a binary code of dimension 20
  // goes block by block): results for 1, 2 and 3 threads alike.
  for (const auto& [n, rank] : {std::pair{16, 16}, std::pair{24, 20}}) {
    PauliList list{n, {}};
    for (int i = 0; i < rank; ++i) list.ops.push_back(PauliOp{0, std::uint32_t{1} << i});
    const std::uint32_t mask = n == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << n) - 1;
    for (int t = 0; t < 4 * n; ++t) {
      const PauliOp h{static_cast<std::uint32_t>(rng()) & mask, static_cast<std::uint32_t>(rng()) & mask};
      for (PauliOp& op : list.ops)
        if (!commute(op, h)) {
          op.x ^= h.x;
          op.z ^= h.z;
        }
    }
    const wdist::PauliGenerators g = generators_of(list);
    const wdist::StabilizerEnumerators one = enumerators(g, with_dual(wdist::DualRoute::automatic, 1));
    for (const unsigned threads : {2U, 3U}) {
      const wdist::StabilizerEnumerators many = enumerators(g, with_dual(wdist::DualRoute::automatic, threads));
      EXPECT_EQ(many.A, one.A);
      EXPECT_EQ(many.B, one.B);
    }
    if (n == 16) {
      EXPECT_EQ(as_u64(one.A), group_ref(list, false).A);
    }
  }
}

// 64 qubits and 21 generators, X and Z on every qubit among them: the
// image is counted in byte lanes, where elements of weight 64 fall on the
// identity's count until the record settles them. Each generator acts on
// whole pairs of qubits (2j, 2j + 1), so any two commute. Against a
// Gray-code walk over the group.
TEST(StabilizerRoutes, ElementsOfWeight64InByteLanes) {
  std::mt19937_64 rng(2205);
  constexpr int n = 64, r = 21;
  const auto pairs = [](std::uint64_t half) {
    std::uint64_t mask = 0;
    for (int j = 0; j < 32; ++j)
      if ((half >> j & 1) != 0) mask |= std::uint64_t{3} << (2 * j);
    return mask;
  };
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ops{{~std::uint64_t{0}, 0}, {0, ~std::uint64_t{0}}};
  while (ops.size() < r) ops.emplace_back(pairs(rng()), pairs(rng()));
  wdist::PauliGenerators g;
  g.n = n;
  g.r = r;
  for (const auto& [x, z] : ops) {
    for (int j = 0; j < n; ++j) g.bits.push_back(static_cast<std::uint8_t>(x >> j & 1));
    for (int j = 0; j < n; ++j) g.bits.push_back(static_cast<std::uint8_t>(z >> j & 1));
  }
  std::vector<std::uint64_t> walked(n + 1, 0);
  std::uint64_t x = 0, z = 0;
  for (std::uint64_t step = 0;;) {
    ++walked[static_cast<std::size_t>(std::popcount(x | z))];
    if (++step == std::uint64_t{1} << r) break;
    const auto& op = ops[static_cast<std::size_t>(std::countr_zero(step))];
    x ^= op.first;
    z ^= op.second;
  }
  const std::uint64_t identity = walked[0];  // products giving the identity: 2^(r - rank)
  for (std::uint64_t& a : walked) a /= identity;
  ASSERT_GT(walked[n], 0u);
  const wdist::StabilizerEnumerators e = enumerators(g, with_dual(wdist::DualRoute::never, 2));
  EXPECT_EQ(as_u64(e.A), walked);
}

// ---- Checks ----

TEST(GeneratorChecks, TheFirstPairThatDoesNotCommuteIsNamed) {
  std::mt19937_64 rng(2205);
  int refused = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + static_cast<int>(rng() % 12);
    // Mostly commuting lists with one operator changed, and plain random ones.
    PauliList list = trial % 2 == 0 ? random_stabilizer(rng, n, static_cast<int>(rng() % static_cast<std::uint64_t>(n + 1)), 3)
                                    : random_operators(rng, n, 1 + static_cast<int>(rng() % 6));
    if (trial % 4 == 0) list.ops[rng() % list.ops.size()].z ^= std::uint32_t{1} << (rng() % static_cast<std::uint64_t>(n));
    const std::string pair = first_anticommuting_pair(list);
    const wdist::Status s = wdist::check_commuting(generators_of(list));
    SCOPED_TRACE(::testing::PrintToString(pauli_texts(list)));
    if (pair.empty()) {
      EXPECT_TRUE(s) << s.message;
    } else {
      ++refused;
      const std::size_t space = pair.find(' ');
      EXPECT_EQ(s.code, wdist::StatusCode::invalid_code);
      EXPECT_EQ(s.message, "generators " + pair.substr(0, space) + " and " + pair.substr(space + 1) + " do not commute");
    }
  }
  EXPECT_GT(refused, 100);
}

TEST(GeneratorChecks, NonCommutingGeneratorsAreRefusedByTheStabilizerCallOnly) {
  const wdist::PauliGenerators g = parsed({"XZZXI", "IXZZX", "ZIIII", "XIXZZ"});
  wdist::StabilizerEnumerators e;
  const wdist::Status s = wdist::stabilizer_enumerators(g, {}, e);
  EXPECT_EQ(s.code, wdist::StatusCode::invalid_code);
  EXPECT_EQ(s.message, "generators 1 and 3 do not commute");
  wdist::AdditiveDistribution d;
  ASSERT_TRUE(wdist::additive_distribution(g, {}, d));
  EXPECT_EQ(d.rank, 4);
}

TEST(GeneratorChecks, ValuesOutsideTheShapeAreRefused) {
  const auto refusal = [](const wdist::PauliGenerators& g) { return wdist::check_generators(g).message; };
  EXPECT_EQ(refusal({0, 1, {}}), "n = 0, the number of qubits must lie in 1 .. 715827882");
  EXPECT_EQ(refusal({715827883, 1, {}}), "n = 715827883, the number of qubits must lie in 1 .. 715827882");
  EXPECT_EQ(refusal({2, 0, {}}), "r = 0, the number of generators must be at least 1");
  EXPECT_EQ(refusal({2, 2, {0, 1, 0, 1}}), "the generators hold 4 bits, not r * 2n = 8");
  EXPECT_EQ(refusal({2, 2, {0, 1, 0, 1, 1, 0, 2, 1}}), "bit 3 of generator 2 is 2, not 0 or 1");
  wdist::StabilizerEnumerators e;
  EXPECT_EQ(wdist::stabilizer_enumerators({2, 1, {0, 1}}, {}, e).code, wdist::StatusCode::invalid_code);
  wdist::AdditiveDistribution d;
  EXPECT_EQ(wdist::additive_distribution({2, 1, {0, 1}}, {}, d).code, wdist::StatusCode::invalid_code);
}

TEST(GeneratorChecks, WorkBeyondTheLimitIsRefusedBeforeAnyWork) {
  const wdist::PauliGenerators golay = parsed(quantum_golay_code());
  wdist::Options o;
  o.max_work = 0x1p20;
  wdist::StabilizerEnumerators e;
  wdist::Status s = wdist::stabilizer_enumerators(golay, o, e);
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work);
  EXPECT_EQ(s.message,
            "needs 2^22 elements counted (2^22 of the group, 2^24 of its symplectic dual), more than the work limit "
            "2^20.0");
  o.dual = wdist::DualRoute::always;
  s = wdist::stabilizer_enumerators(golay, o, e);
  EXPECT_EQ(s.message,
            "needs 2^24 elements counted (2^22 of the group, 2^24 of its symplectic dual), more than the work limit "
            "2^20.0");
  // Two elements on 100000 qubits, but B_0..B_n of up to 200000 bits each.
  wdist::PauliGenerators wide;
  wide.n = 100000;
  wide.r = 1;
  wide.bits.assign(200000, 0);
  wide.bits[100000] = 1;  // Z on the first qubit
  o = wdist::Options{};
  o.max_work = 0x1p30;
  s = wdist::stabilizer_enumerators(wide, o, e);
  EXPECT_EQ(s.code, wdist::StatusCode::too_much_work);
  EXPECT_EQ(s.message.rfind("the exact MacWilliams identity on 100000 qubits needs about 2^", 0), 0U) << s.message;
  // An additive code counted directly needs no identity.
  wdist::AdditiveDistribution d;
  ASSERT_TRUE(wdist::additive_distribution(wide, o, d));
  EXPECT_EQ(nonzero_text(d.counts), "0:1 1:1");
}

TEST(GeneratorChecks, ACancelledCountIsAStatus) {
  const std::atomic<bool> cancel{true};
  wdist::Options o;
  o.cancel = &cancel;
  wdist::StabilizerEnumerators e;
  EXPECT_EQ(wdist::stabilizer_enumerators(parsed(quantum_golay_code()), o, e).code, wdist::StatusCode::cancelled);
}

TEST(GeneratorChecks, ACountedCodeThatIsNotTheImageIsAnInternalError) {
  wdist::GroupImage image;
  ASSERT_TRUE(wdist::image_of(parsed(five_qubit_code()), wdist::GroupKind::stabilizer, {}, image));
  wdist::Distribution counted;
  ASSERT_TRUE(wdist::weight_distribution(image.code, {}, counted));
  wdist::StabilizerEnumerators e;
  ASSERT_TRUE(wdist::finish_stabilizer(image, counted, e));

  wdist::Distribution odd = counted;
  odd.counts[8] -= 1;
  odd.counts[7] += 1;
  wdist::Status s = wdist::finish_stabilizer(image, odd, e);
  EXPECT_EQ(s.code, wdist::StatusCode::internal_error);
  EXPECT_EQ(s.message, "the group's image has a codeword of odd weight 7");
  // Counts that sum right but are no group's: the identity leaves a remainder.
  wdist::Distribution moved = counted;
  moved.counts[8] -= 1;
  moved.counts[6] += 1;
  s = wdist::finish_stabilizer(image, moved, e);
  EXPECT_EQ(s.code, wdist::StatusCode::internal_error);
  EXPECT_EQ(s.message.rfind("the normalizer's MacWilliams sum at weight ", 0), 0U) << s.message;
  wdist::Distribution other = counted;
  other.rank = 3;
  EXPECT_EQ(wdist::finish_stabilizer(image, other, e).message, "the counted binary code is not the group's image");
  wdist::AdditiveDistribution d;
  EXPECT_EQ(wdist::finish_additive(image, counted, d).code, wdist::StatusCode::internal_error);
}

// ---- Notation ----

TEST(GeneratorText, EveryWayOfWritingAnOperator) {
  // XZY_I on five qubits: x = 10100, z = 01100.
  const std::vector<std::uint8_t> expected = {1, 0, 1, 0, 0, 0, 1, 1, 0, 0};
  for (const char* text : {"XZYII", "xzyii", "XZY_.", "+XZYII", "-XZYII", "iXZYII", "+iXZYII", "-iXZYII",
                           "  XZYII\t\r", "1010001100", "-1010001100", "-i1010001100", " \t1010001100\r"}) {
    std::vector<std::uint8_t> bits = {7};
    const wdist::Status s = wdist::parse_generator(text, 5, bits);
    ASSERT_TRUE(s) << text << ": " << s.message;
    EXPECT_EQ(std::vector<std::uint8_t>(bits.begin() + 1, bits.end()), expected) << text;
  }
  // A leading 'i' is the identity when n letters are there without it.
  std::vector<std::uint8_t> bits;
  ASSERT_TRUE(wdist::parse_generator("iXZYI", 5, bits));
  EXPECT_EQ(bits, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 0, 0, 1, 1, 0}));
}

TEST(GeneratorText, TheNumberOfQubitsFromTheTexts) {
  wdist::PauliGenerators g = parsed({"iXZ", "iZX"});
  EXPECT_EQ(g.n, 3);
  EXPECT_EQ(wdist::pauli_string(g, 0), "IXZ");
  g = parsed({"iXZ", "XZ"});
  EXPECT_EQ(g.n, 2);
  EXPECT_EQ(wdist::pauli_string(g, 0), "XZ");
  g = parsed({"0110", "-ZY"});
  EXPECT_EQ(g.n, 2);
  EXPECT_EQ(wdist::pauli_string(g, 0), "ZX");
  EXPECT_EQ(wdist::pauli_string(g, 1), "ZY");
  // Every string printed reads back as itself.
  std::mt19937_64 rng(2206);
  const PauliList list = random_operators(rng, 9, 20);
  g = parsed(pauli_texts(list));
  EXPECT_EQ(g.bits, symplectic_bits(list));
  for (int i = 0; i < g.r; ++i) EXPECT_EQ(wdist::pauli_string(g, i), pauli_texts(list)[static_cast<std::size_t>(i)]);
}

TEST(GeneratorText, MalformedGeneratorsAreNamedWithColumnAndCharacter) {
  const auto refusal = [](std::string_view text, std::int64_t n) {
    std::vector<std::uint8_t> bits = {1, 0};
    const wdist::Status s = wdist::parse_generator(text, n, bits);
    EXPECT_EQ(bits.size(), 2U) << "the bits are kept as they were";
    return s.code == wdist::StatusCode::invalid_code ? s.message : "<not refused>";
  };
  EXPECT_EQ(refusal("XZQXI", 5), "column 3: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("  XZ ZX", 4), "column 5: ' ' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("XZ\x01", 3), "column 3: '\\x01' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("XZ'", 3), "column 3: '\\'' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("X\xc3\x97Z", 3), "column 2: '\\xc3' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("+-XZ", 2), "column 2: '-' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal("10X1", 2),
            "column 3: 'X' is not 0 or 1 (a generator starting with a digit is in the binary form)");
  EXPECT_EQ(refusal("1021", 2), "column 3: '2' is not 0 or 1 (a generator starting with a digit is in the binary form)");
  EXPECT_EQ(refusal("XZZX", 5), "has 4 letters, not n = 5");
  EXPECT_EQ(refusal("XZZXII", 5), "has 6 letters, not n = 5");
  EXPECT_EQ(refusal("-", 5), "has 0 letters, not n = 5");
  EXPECT_EQ(refusal("101", 2), "has 3 binary digits, not 2n = 4");
  EXPECT_EQ(refusal("  \r", 2), "is empty");
  EXPECT_EQ(refusal("", 2), "is empty");
  EXPECT_EQ(refusal("XX", 0), "n = 0, the number of qubits must lie in 1 .. 715827882");
  // A bad character is named before a wrong length.
  EXPECT_EQ(refusal("XZQ", 5), "column 3: 'Q' is not a Pauli letter (I, X, Y, Z)");
}

TEST(GeneratorText, MalformedListsNameTheGenerator) {
  const auto refusal = [](const std::vector<std::string>& texts, std::int64_t n) {
    wdist::PauliGenerators g;
    const wdist::Status s = wdist::parse_generators(texts, n, g);
    EXPECT_EQ(g.r, 0);
    return s.code == wdist::StatusCode::invalid_code ? s.message : "<not refused>";
  };
  EXPECT_EQ(refusal({"XZZXI", "IXQZX"}, 0), "generator 2, column 3: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal({"XZZXI", "IXQZX"}, 5), "generator 2, column 3: 'Q' is not a Pauli letter (I, X, Y, Z)");
  EXPECT_EQ(refusal({"XZZXI", "IXZZ"}, 5), "generator 2 has 4 letters, not n = 5");
  EXPECT_EQ(refusal({"XZZXI", "IXZZ"}, 0), "generator 2 is an operator on 4 qubits, generator 1 on 5");
  EXPECT_EQ(refusal({"XZZXI", "101"}, 0), "generator 2 has an odd number of binary digits");
  EXPECT_EQ(refusal({"+"}, 0), "generator 1 holds no Pauli letters");
  EXPECT_EQ(refusal({"XZ", ""}, 2), "generator 2 is empty");
  EXPECT_EQ(refusal({}, 0), "there are no generators");
  EXPECT_EQ(refusal({"XZ"}, -1), "n = -1, the number of qubits must lie in 1 .. 715827882");
}

}  // namespace
