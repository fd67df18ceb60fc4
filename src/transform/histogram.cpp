#include "transform/histogram.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace wdist {

namespace {

using Index = std::uint64_t;  // an entry index into the transformed table

// The binary extraction. A scalar histogram spends its time on the chain
// load-add-store of each count, and a count that is hit twice in a row has
// to wait for its own store. Two measures cut that down:
// - the histogram indices are formed a vector at a time into a small buffer,
//   in the unsigned width of the counter: N - W lies in 0..2N, which fits;
// - the counts go to several sub-histograms of 32-bit counts, used in turn,
//   so consecutive updates never wait for each other. When the index range
//   is small, one update counts a pair of consecutive values (pair index
//   a * 2^s + b), halving the updates; the pairs are unfolded at the end.
// The sub-histograms live in the tally's scratch: one pass uses at most
// kSubBins counts per sub-histogram, sized to stay within L2.

constexpr int kVectorBytes = 16;
constexpr Index kBatch = 512;  // values whose indices are formed per round

// Sub-histograms of single values: enough bins for every narrow length.
constexpr int kSubCount = kTallySubCount;
constexpr Index kSubBins = kTallySubBins;
// Pair histograms: a pair of indices a, b (each below 2^s, s at most
// kPairBitsMax) is counted at a * 2^s + b. Beyond 2^6 bins pairs measured
// no faster than single counts on this machine class.
constexpr int kPairCount = kTallyPairCount;
constexpr unsigned kPairBitsMax = kTallyPairBitsMax;
// How many times the table must outnumber the counts that a path clears and
// folds before that path is taken.
constexpr Index kPayOff = 8;
// Values counted before the 32-bit counts are folded into the histogram; a
// count then never exceeds 2^30 on any path.
constexpr Index kFoldEvery = Index{1} << 30;

// The scratch of count_binary_weights, the single-threaded convenience.
TallyScratch g_scratch;

template <class U>
struct IndexVector {
  typedef U type __attribute__((vector_size(kVectorBytes)));
};

// idx[i] = (N - v[i]) >> shift for kBatch values, in the unsigned width U.
template <class U>
void form_indices(const U* v, U n, unsigned shift, U* idx) {
  using V = typename IndexVector<U>::type;
  constexpr Index lanes = kVectorBytes / sizeof(U);
  const V nv = V{} + n;
  for (Index i = 0; i < kBatch; i += lanes) {
    V x;
    std::memcpy(&x, v + i, sizeof x);
    const V d = (nv - x) >> shift;
    std::memcpy(idx + i, &d, sizeof d);
  }
}

template <class U>
void count_plain(const U* v, Index count, U n, unsigned shift, std::uint64_t* hist) {
  for (Index u = 0; u < count; ++u) ++hist[static_cast<U>(n - v[u]) >> shift];
}

void clear_singles(TallyScratch& x, Index bins) {
  for (int s = 0; s < kSubCount; ++s) std::memset(x.sub[s], 0, bins * sizeof(std::uint32_t));
}

void fold_singles(const TallyScratch& x, Index bins, std::uint64_t* hist) {
  for (Index b = 0; b < bins; ++b) hist[b] += std::uint64_t{x.sub[0][b]} + x.sub[1][b] + x.sub[2][b] + x.sub[3][b];
}

// `count` is a multiple of kBatch.
template <class U>
void count_singles(TallyScratch& x, const U* v, Index count, U n, unsigned shift) {
  alignas(64) U idx[kBatch];
  for (Index u = 0; u < count; u += kBatch) {
    form_indices(v + u, n, shift, idx);
    for (Index i = 0; i < kBatch; i += kSubCount) {
      ++x.sub[0][idx[i]];
      ++x.sub[1][idx[i + 1]];
      ++x.sub[2][idx[i + 2]];
      ++x.sub[3][idx[i + 3]];
    }
  }
}

// Pair cells: values 2i and 2i + 1 of the batch, with indices a and b,
// count in cell a * 2^bits + b. The two indices sit side by side in one
// lane of twice their width, so the cell is formed a vector at a time too.
template <class U>
struct PairOf;
template <>
struct PairOf<std::uint16_t> {
  using type = std::uint32_t;
};
template <>
struct PairOf<std::uint32_t> {
  using type = std::uint64_t;
};

template <class U>
void form_pair_cells(const U* v, U n, unsigned shift, unsigned bits, typename PairOf<U>::type* cell) {
  using P = typename PairOf<U>::type;
  using V = typename IndexVector<U>::type;
  using W = typename IndexVector<P>::type;
  constexpr Index lanes = kVectorBytes / sizeof(U);
  constexpr unsigned half = 8 * sizeof(U);
  const V nv = V{} + n;
  const P low_mask = static_cast<P>(static_cast<U>(~U{0}));
  for (Index i = 0; i < kBatch; i += lanes) {
    V x;
    std::memcpy(&x, v + i, sizeof x);
    const V d = (nv - x) >> shift;
    W y;
    std::memcpy(&y, &d, sizeof y);
    const W a = y & low_mask;
    const W c = (a << bits) | (y >> half);
    std::memcpy(cell + i / 2, &c, sizeof c);
  }
}

void clear_pairs(TallyScratch& x, Index bins, unsigned bits) {
  const Index cells = bins << bits;
  for (int s = 0; s < kPairCount; ++s) std::memset(x.pair[s], 0, cells * sizeof(std::uint32_t));
}

// Cell (a, b) holds pairs whose first value has index a and second b.
void fold_pairs(const TallyScratch& x, Index bins, unsigned bits, std::uint64_t* hist) {
  const Index row = Index{1} << bits;
  for (Index a = 0; a < bins; ++a)
    for (Index b = 0; b < bins; ++b) {
      const std::uint64_t c = std::uint64_t{x.pair[0][a * row + b]} + x.pair[1][a * row + b];
      hist[a] += c;
      hist[b] += c;
    }
}

// `count` is a multiple of kBatch.
template <class U>
void count_pairs(TallyScratch& x, const U* v, Index count, U n, unsigned shift, unsigned bits) {
  using P = typename PairOf<U>::type;
  alignas(64) P cell[kBatch / 2];
  for (Index u = 0; u < count; u += kBatch) {
    form_pair_cells(v + u, n, shift, bits, cell);
    for (Index i = 0; i < kBatch / 2; i += 2) {
      ++x.pair[0][cell[i]];
      ++x.pair[1][cell[i + 1]];
    }
  }
}

}  // namespace

template <class C>
void begin_weight_tally(WeightTally& t, TallyScratch& scratch, std::int64_t N, unsigned shift, std::uint64_t values,
                        std::uint64_t* hist) {
  using U = std::make_unsigned_t<C>;
  t = WeightTally{N, shift, hist, &scratch, TallyMode::plain, 0, 0, 0};
  // Every value lies in -N..N, so N - W lies in 0..2N: formed in the
  // counter's unsigned width it is exact as long as 2N fits, which the
  // announced limits on n ensure. Outside them the plain loop counts in 64
  // bits, like the definition.
  if (N < 0 || static_cast<Index>(N) > (Index{static_cast<U>(~U{0})} >> 1)) {
    t.mode = TallyMode::wide_plain;
    return;
  }
  const Index bins = (static_cast<Index>(2 * N) >> shift) + 1;
  unsigned bits = 0;
  while ((Index{1} << bits) < bins) ++bits;
  t.bins = bins;
  t.bits = bits;
  // The sub-histograms pay for themselves once the table is several times
  // larger than what they clear and fold.
  if (values >= kBatch && bits <= kPairBitsMax && values >= kPayOff * (bins << bits)) {
    t.mode = TallyMode::pairs;
    clear_pairs(scratch, bins, bits);
  } else if (values >= kBatch && bins <= kSubBins && values >= kPayOff * bins) {
    t.mode = TallyMode::singles;
    clear_singles(scratch, bins);
  }
}

namespace {

void fold_tally(WeightTally& t) {
  if (t.mode == TallyMode::pairs) {
    fold_pairs(*t.scratch, t.bins, t.bits, t.hist);
    clear_pairs(*t.scratch, t.bins, t.bits);
  } else if (t.mode == TallyMode::singles) {
    fold_singles(*t.scratch, t.bins, t.hist);
    clear_singles(*t.scratch, t.bins);
  }
  t.pending = 0;
}

}  // namespace

template <class C>
void add_to_weight_tally(WeightTally& t, const C* v, std::uint64_t count) {
  using U = std::make_unsigned_t<C>;
  const auto* u = reinterpret_cast<const U*>(v);
  const std::int64_t N = t.N;
  if (t.mode == TallyMode::wide_plain) {
    for (Index i = 0; i < count; ++i) ++t.hist[(N - static_cast<std::int64_t>(v[i])) >> t.shift];
    return;
  }
  const auto n = static_cast<U>(N);
  // The 32-bit sub-counts are folded before any could pass 2^30.
  Index done = 0;
  const Index fast = t.mode == TallyMode::plain ? 0 : count - count % kBatch;
  while (done < fast) {
    if (t.pending == kFoldEvery) fold_tally(t);
    Index step = fast - done;
    if (step > kFoldEvery - t.pending) step = kFoldEvery - t.pending;
    if (t.mode == TallyMode::pairs)
      count_pairs(*t.scratch, u + done, step, n, t.shift, t.bits);
    else
      count_singles(*t.scratch, u + done, step, n, t.shift);
    t.pending += step;
    done += step;
  }
  count_plain(u + done, count - done, n, t.shift, t.hist);
}

void finish_weight_tally(WeightTally& t) { fold_tally(t); }

template <class C>
void count_binary_weights(const C* v, unsigned K, std::int64_t N, unsigned shift, std::uint64_t* hist) {
  const Index size = Index{1} << K;
  std::memset(hist, 0, static_cast<std::size_t>(N + 1) * sizeof *hist);
  WeightTally t{};
  begin_weight_tally<C>(t, g_scratch, N, shift, size, hist);
  add_to_weight_tally(t, v, size);
  finish_weight_tally(t);
}

// NOLINTBEGIN(bugprone-macro-parentheses): C is a type
#define WDIST_INSTANTIATE_HISTOGRAM(C)                                                                     \
  template void count_binary_weights<C>(const C*, unsigned, std::int64_t, unsigned, std::uint64_t*);       \
  template void begin_weight_tally<C>(WeightTally&, TallyScratch&, std::int64_t, unsigned, std::uint64_t, \
                                      std::uint64_t*);                                                     \
  template void add_to_weight_tally<C>(WeightTally&, const C*, std::uint64_t);
// NOLINTEND(bugprone-macro-parentheses)
WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE_HISTOGRAM)

}  // namespace wdist
