#include "transform/histogram.h"

#include <cstddef>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "transform/histogram_kernels.h"
#include "transform/simd_path.h"

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

// The window tally (16-bit counters on a vector path): the values are
// counted a chunk at a time by the window kernel, which counts the indices
// inside a window of consecutive bins in vector lanes and the others one
// by one. Each chunk's window is centred on the mean index of
// kWindowSample values sampled across it: the tables of one record move their mean from
// chunk to chunk (a block of a stabilizer group is a coset, whose mean
// weight is its own), while the spread around it stays small. A chunk
// with more misses than 1 / kWindowMissShare of its values (or of its
// sample, before the chunk is counted) ends the window tally: the rest is
// counted as single values. Measured on this machine class (Zen 3): the
// kernel costs about what the single-value count does per value in
// isolation (0.45 ns), yet takes about a quarter off a whole binary-image
// record (processor time; why is not measured); a miss costs a
// mispredicted branch (about 10 ns), so the window pays only while misses
// stay rare: at 1 in 30 (a binary code of length 200) it was 1.6 times
// slower than the single count, hence the hand-over at 1 in 64.
constexpr Index kWindowBins = simd_kernels::kTallyWindowBins;
constexpr unsigned kWindowStepBitsMax = simd_kernels::kTallyWindowStepBitsMax;
constexpr Index kWindowChunk = Index{1} << 16;
constexpr Index kWindowSample = 256;
constexpr Index kWindowMissShare = 64;
// A window reaches this many standard deviations of its sample either side
// of the mean (at least; its bins come in groups). On a normal spread
// that leaves fewer than 1 value in 300 outside: a mispredicted branch per
// 10 vectors or fewer, against a group of compares saved on every vector.
constexpr double kWindowSpread = 3.0;
// The window tally is offered for tables at least this large: the sizes
// where its gain was measured (one unit of the block-wise route and up);
// on 2^20 values no difference stood out of the noise.
constexpr Index kWindowMinValues = Index{1} << 22;

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
  t = WeightTally{N, shift, hist, &scratch, TallyMode::plain, 0, 0, 0, 0, 0, 0};
  const bool window_kernel = active_simd_path() != SimdPath::portable && values >= kWindowMinValues;
  if constexpr (sizeof(U) == 1) {
    // Values modulo 256: every index (N - x mod 256) >> shift is below
    // 2^(8 - shift), whatever N is; the caller has made sure they are the
    // weights (histogram.h), which lie in the histogram's 0..(2N >> shift).
    const Index top = N < 0 ? 0 : static_cast<Index>(2 * N) >> shift;
    const Index bins = std::min(Index{256} >> shift, top + 1);
    t.bins = bins;
    if (window_kernel && bins >= kWindowBins) {
      t.mode = TallyMode::window;
    } else if (values >= kBatch && values >= kPayOff * bins) {
      t.mode = TallyMode::singles;
      clear_singles(scratch, bins);
    }
    return;
  }
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
  } else if (sizeof(U) == 2 && window_kernel && bins >= kWindowBins) {
    // Fewer bins than 2^kPairBitsMax are counted in pairs above; the window
    // kernel covers 16-bit counters only.
    t.mode = TallyMode::window;
  } else if (values >= kBatch && bins <= kSubBins && values >= kPayOff * bins) {
    t.mode = TallyMode::singles;
    clear_singles(scratch, bins);
  }
}

namespace {

// The window kernel of the active path, for 16-bit values and for bytes.
Index count_window_chunk(const std::uint16_t* v, Index count, std::uint16_t n, unsigned shift, Index base,
                         unsigned step_bits, unsigned bins, std::uint64_t* hist) {
#if WDIST_X86_KERNELS
  return simd_kernels::tally_window_avx2(v, count, n, shift, static_cast<std::uint16_t>(base), step_bits, bins, hist);
#else
  (void)v, (void)count, (void)n, (void)shift, (void)base, (void)step_bits, (void)bins, (void)hist;
  return count;
#endif
}
Index count_window_chunk(const std::uint8_t* v, Index count, std::uint8_t n, unsigned shift, Index base,
                         unsigned step_bits, unsigned bins, std::uint64_t* hist) {
#if WDIST_X86_KERNELS
  return simd_kernels::tally_window_bytes_avx2(v, count, n, shift, static_cast<std::uint8_t>(base), step_bits, bins,
                                               hist);
#else
  (void)v, (void)count, (void)n, (void)shift, (void)base, (void)step_bits, (void)bins, (void)hist;
  return count;
#endif
}

// The window for v[0..count), from a sample spread over the chunk with an
// odd stride (neighbouring values of a transformed table differ in its
// lowest rows only; no rows are left out this way): its step is the
// largest power of two (up to 2^kWindowStepBitsMax) that all differences
// of sampled indices share, its bins centred on the sample's mean and
// aligned with the sampled indices, within the bins in use. Returns how
// many sampled values the window misses.
template <class U>
Index place_window(WeightTally& t, const U* v, Index count) {
  const Index stride = count < 2 * kWindowSample ? 1 : ((count / kWindowSample) - 1) | 1;
  const Index sample = count < kWindowSample ? count : kWindowSample;
  const auto n = static_cast<U>(t.N);
  const auto index = [&](Index i) { return Index{static_cast<U>(n - v[i * stride])} >> t.shift; };
  const Index first = sample == 0 ? 0 : index(0);
  Index sum = 0, differ = 0;
  double squares = 0;  // of the sampled indices' distances from the first
  for (Index i = 0; i < sample; ++i) {
    sum += index(i);
    differ |= index(i) ^ first;
    const double d = static_cast<double>(index(i)) - static_cast<double>(first);
    squares += d * d;
  }
  unsigned step = 0;
  while (step < kWindowStepBitsMax && t.shift + step < 8 && (differ >> step & 1) == 0 && differ != 0 &&
         (kWindowBins << (step + 1)) <= t.bins)
    ++step;
  // As few bins as keep misses rare: kWindowSpread standard deviations of
  // the sample on either side of its mean, in groups of the kernel's.
  const double spread =
      sample == 0 ? 0
                  : std::sqrt(std::max(0.0, squares / static_cast<double>(sample) -
                                                std::pow(static_cast<double>(sum) / static_cast<double>(sample) -
                                                             static_cast<double>(first), 2)));
  const auto wanted = 2 * static_cast<Index>(std::ceil(kWindowSpread * spread / static_cast<double>(Index{1} << step))) + 1;
  const Index group = simd_kernels::kTallyWindowGroup;
  t.window_bins = static_cast<unsigned>(std::min(kWindowBins, (wanted + group - 1) / group * group));
  // The window's last bin, base + reach, must lie below bins.
  const Index span = Index{t.window_bins} << step, reach = span - (Index{1} << step);
  const Index mean = sample == 0 ? 0 : sum / sample;
  Index base = mean > span / 2 ? mean - span / 2 : 0;
  if (base + reach >= t.bins) base = t.bins - 1 - reach;
  // On the sample's grid, moved down a step if that passes the last bin.
  const Index low = (Index{1} << step) - 1;
  base = (base & ~low) | (first & low);
  if (base + reach >= t.bins) base -= Index{1} << step;
  t.window = base;
  t.window_step_bits = step;
  Index misses = 0;
  for (Index i = 0; i < sample; ++i) {
    const Index rel = index(i) - base;  // wraps to a miss below base
    misses += (rel & low) != 0 || rel >> step >= t.window_bins ? Index{1} : Index{0};
  }
  return misses;
}

// The window tally of v[0..count); returns how many values it counted
// (fewer than count if it handed over to the single-value count).
template <class U>
Index count_in_window(WeightTally& t, const U* v, Index count) {
  const auto n = static_cast<U>(t.N);
  Index done = 0;
  while (done < count && t.mode == TallyMode::window) {
    const Index step = count - done < kWindowChunk ? count - done : kWindowChunk;
    if (step < kWindowSample) {
      // Too few values to judge the window by: counted one by one.
      count_plain(v + done, step, n, t.shift, t.hist);
      done += step;
      continue;
    }
    // A chunk whose sample already misses too often is not tried.
    const Index sampled = step < kWindowSample ? step : kWindowSample;
    Index misses = place_window(t, v + done, step);
    if (misses * kWindowMissShare <= sampled) {
      misses = count_window_chunk(v + done, step, n, t.shift, t.window, t.window_step_bits, t.window_bins, t.hist);
      done += step;
    } else {
      misses = step;
    }
    if (misses * kWindowMissShare > step) {
      t.mode = TallyMode::singles;
      clear_singles(*t.scratch, t.bins);
    }
  }
  return done;
}

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
  Index done = 0;
  if constexpr (sizeof(U) <= 2) {
    if (t.mode == TallyMode::window) done = count_in_window(t, u, count);
  }
  // The 32-bit sub-counts are folded before any could pass 2^30.
  const Index fast = t.mode == TallyMode::plain ? done : count - (count - done) % kBatch;
  while (done < fast) {
    if (t.pending == kFoldEvery) fold_tally(t);
    Index step = fast - done;
    if (step > kFoldEvery - t.pending) step = kFoldEvery - t.pending;
    if constexpr (sizeof(U) > 1) {
      if (t.mode == TallyMode::pairs) {
        count_pairs(*t.scratch, u + done, step, n, t.shift, t.bits);
      } else {
        count_singles(*t.scratch, u + done, step, n, t.shift);
      }
    } else {
      count_singles(*t.scratch, u + done, step, n, t.shift);
    }
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
template void begin_weight_tally<std::int8_t>(WeightTally&, TallyScratch&, std::int64_t, unsigned, std::uint64_t,
                                              std::uint64_t*);
template void add_to_weight_tally<std::int8_t>(WeightTally&, const std::int8_t*, std::uint64_t);

}  // namespace wdist
