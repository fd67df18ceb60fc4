#include "engine/infoset.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <utility>

#include "enumerate/combinations.h"

namespace wdist {

namespace {

// A unit is about this many 64-bit words of walking (a few milliseconds
// on one core at the binary walk's rate): short enough for progress,
// checkpoints and cancellation to follow at once, long enough that
// dealing units out costs nothing. A level has at most kMostLevelUnits.
constexpr std::uint64_t kUnitWords = std::uint64_t{1} << 24;
constexpr std::uint64_t kMostLevelUnits = std::uint64_t{1} << 20;

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// C(K, w) (q - 1)^(w - 1), the messages of a level; UINT64_MAX when it
// does not fit 64 bits.
std::uint64_t level_size(int q, int K, int w) {
  const std::uint64_t combinations = binomial(K, w);
  if (combinations == UINT64_MAX) return UINT64_MAX;
  unsigned __int128 items = combinations;
  for (int i = 1; i < w; ++i) {
    items *= static_cast<unsigned>(q - 1);
    if (items >= UINT64_MAX) return UINT64_MAX;
  }
  return static_cast<std::uint64_t>(items);
}

double level_size_estimate(int q, int K, int w) {
  double items = 1;
  for (int i = 1; i <= w; ++i) items = items * static_cast<double>(K - w + i) / static_cast<double>(i);
  return items * std::pow(static_cast<double>(q - 1), w - 1);
}

// The order of the levels, from the sets' deficiencies K - r_i alone, so
// that it is the same wherever the plan is made.
struct LevelOrder {
  int q;
  int K;
  std::int64_t support;
  std::vector<int> deficiency;
};

std::int64_t bound_of(const LevelOrder& o, const std::vector<int>& done) {
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < done.size(); ++i) {
    if (done[i] >= o.K) return o.support + 1;  // this set has met every codeword
    sum += std::max(0, done[i] + 1 - o.deficiency[i]);
  }
  return std::min(sum, o.support + 1);
}

// The set whose next levels raise the bound by one at the least cost
// (levels below a set's deficiency raise nothing and are paid for by the
// first that does); ties go to the lowest index. -1 when every set is done.
int next_set(const LevelOrder& o, const std::vector<int>& done) {
  int best = -1;
  std::uint64_t best_cost = UINT64_MAX;
  for (std::size_t i = 0; i < done.size(); ++i) {
    if (done[i] >= o.K) continue;
    const int last = std::max(done[i] + 1, std::min(o.deficiency[i], o.K));
    std::uint64_t cost = 0;
    for (int w = done[i] + 1; w <= last; ++w) cost = saturating_add(cost, level_size(o.q, o.K, w));
    if (best < 0 || cost < best_cost) {
      best = static_cast<int>(i);
      best_cost = cost;
    }
  }
  return best;
}

LevelOrder order_of(const SearchPlan& plan) {
  LevelOrder o{plan.q, plan.dimension, plan.support, {}};
  for (const InformationSet& s : plan.sets) o.deficiency.push_back(plan.dimension - s.own);
  return o;
}

// ---- Elimination.

// Brings rows[0..count) (n entries each) into systematic form on the
// columns of `order`, taken in turn: a column with a nonzero entry in a row
// that is not yet a pivot row makes that row its pivot row (moved up to
// the next place, scaled to 1, the column cleared in every other row).
// pivots[i] is then the column of row i; rows past the rank end zero.
void systematic_form(const FieldOps& f, std::vector<std::uint8_t>& a, int count, std::int64_t n,
                     const std::vector<std::int64_t>& order, std::vector<std::int64_t>& pivots) {
  const auto width = static_cast<std::size_t>(n);
  const auto row = [&a, width](int i) { return a.data() + static_cast<std::size_t>(i) * width; };
  pivots.clear();
  int rank = 0;
  for (const std::int64_t column : order) {
    if (rank == count) break;
    const auto c = static_cast<std::size_t>(column);
    int r = rank;
    while (r < count && row(r)[c] == 0) ++r;
    if (r == count) continue;
    if (r != rank) std::swap_ranges(row(r), row(r) + width, row(rank));
    std::uint8_t* pivot = row(rank);
    if (pivot[c] != 1) {
      const int scale = f.inv[pivot[c]];
      for (std::size_t j = 0; j < width; ++j) pivot[j] = field_mul(f, scale, pivot[j]);
    }
    for (int i = 0; i < count; ++i) {
      std::uint8_t* target = row(i);
      const int x = target[c];
      if (i == rank || x == 0) continue;
      if (f.q == 2) {
        for (std::size_t j = 0; j < width; ++j) target[j] = static_cast<std::uint8_t>(target[j] ^ pivot[j]);
      } else {
        for (std::size_t j = 0; j < width; ++j) target[j] = field_sub(f, target[j], field_mul(f, x, pivot[j]));
      }
    }
    pivots.push_back(column);
    ++rank;
  }
}

// ---- Tables.

void build_binary_tables(const SearchPlan& plan, const std::vector<std::uint8_t>& a, InformationSet& set) {
  const auto K = static_cast<std::size_t>(plan.dimension);
  const std::size_t W = plan.words;
  const auto width = static_cast<std::size_t>(plan.n);
  set.row_words.assign((K + kTablePadding) * W, 0);
  for (std::size_t j = 0; j < K; ++j) {
    const std::uint8_t* row = a.data() + j * width;
    WalkWord* out = set.row_words.data() + j * W;
    for (std::size_t t = 0; t < set.redundancy_columns.size(); ++t)
      out[t / 64] |= WalkWord{row[set.redundancy_columns[t]]} << (t % 64);
  }
  const std::uint64_t pairs = binomial(plan.dimension, 2);
  if (pairs == 0 || pairs * W * sizeof(WalkWord) > kPairTableBytes) return;
  set.pair_words.assign((pairs + kTablePadding) * W, 0);
  WalkWord* out = set.pair_words.data();
  for (std::size_t x = 0; x < K; ++x)
    for (std::size_t y = x + 1; y < K; ++y, out += W)
      for (std::size_t b = 0; b < W; ++b) out[b] = set.row_words[x * W + b] ^ set.row_words[y * W + b];
}

void build_qary_tables(const SearchPlan& plan, const std::vector<std::uint8_t>& a, InformationSet& set) {
  const FieldOps& f = plan.field;
  const auto K = static_cast<std::size_t>(plan.dimension);
  const auto width = static_cast<std::size_t>(plan.n);
  const std::size_t stride = static_cast<std::size_t>(plan.planes) * plan.length;
  const auto multiples = static_cast<std::size_t>(f.q - 1);
  set.multiples.assign(K * multiples * stride, 0);
  for (std::size_t j = 0; j < K; ++j) {
    const std::uint8_t* row = a.data() + j * width;
    for (std::size_t b = 1; b <= multiples; ++b) {
      std::uint8_t* out = set.multiples.data() + (j * multiples + b - 1) * stride;
      for (std::size_t t = 0; t < set.redundancy_columns.size(); ++t) {
        const int code = field_mul(f, static_cast<int>(b), row[set.redundancy_columns[t]]);
        if (f.p == 2) {
          out[t] = static_cast<std::uint8_t>(code);
          continue;
        }
        for (int u = 0; u < plan.planes; ++u)
          out[static_cast<std::size_t>(u) * plan.length + t] = static_cast<std::uint8_t>(f.p - field_digit(f, code, u));
      }
    }
  }
}

std::uint64_t fnv_step(std::uint64_t h, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    h ^= (value >> (8 * i)) & 0xff;
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::uint64_t identity_of(const MatrixView& m, const SearchGoal& goal) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  // The choices that fix the sets, the order of the levels and the units:
  // a version of their construction and its constants.
  h = fnv_step(h, 0x696e666f73657431ULL);
  h = fnv_step(h, static_cast<std::uint64_t>(kMostSets));
  h = fnv_step(h, kUnitWords);
  h = fnv_step(h, kMostLevelUnits);
  h = fnv_step(h, static_cast<std::uint64_t>(m.q));
  h = fnv_step(h, static_cast<std::uint64_t>(m.k));
  h = fnv_step(h, static_cast<std::uint64_t>(m.n));
  h = fnv_step(h, goal.minimum_distance ? 1 : 0);
  h = fnv_step(h, static_cast<std::uint64_t>(goal.count_up_to));
  for (int i = 0; i < m.k; ++i) {
    const ElemCode* row = m.rows[i];
    for (std::int64_t j = 0; j < m.n; j += 8) {
      std::uint64_t v = 0;
      for (std::int64_t t = 0; t < 8 && j + t < m.n; ++t) v |= std::uint64_t{row[j + t]} << (8 * t);
      h = fnv_step(h, v);
    }
  }
  return h;
}

// Planes of a vector over F_q: one of codes for p = 2, else one per digit.
void vector_shape(int q, int& planes) {
  int p = 2;
  while (q % p != 0) ++p;
  planes = 1;
  if (p == 2) return;
  for (int rest = q / p; rest > 1; rest /= p) ++planes;
}

std::size_t padded_length(std::int64_t redundancy) {
  const auto r = static_cast<std::size_t>(std::max<std::int64_t>(redundancy, 1));
  return (r + 63) / 64 * 64;
}

SearchEstimate simulate(const LevelOrder& o, int count_up_to, bool minimum, std::int64_t distance,
                        std::uint64_t item_words) {
  SearchEstimate e;
  e.distance = distance;
  if (o.K == 0) return e;
  std::vector<int> done(o.deficiency.size(), 0);
  for (;;) {
    const std::int64_t bound = bound_of(o, done);
    const bool counted = count_up_to == 0 || bound > count_up_to;
    const bool closed = !minimum || bound >= distance;
    if (bound > o.support || (counted && closed)) break;
    const int i = next_set(o, done);
    if (i < 0) break;
    const int w = ++done[static_cast<std::size_t>(i)];
    if (level_size(o.q, o.K, w) == UINT64_MAX) e.reachable = false;
    e.items += level_size_estimate(o.q, o.K, w);
    ++e.levels;
  }
  e.words = e.items * static_cast<double>(item_words);
  return e;
}

// The 64-bit words one step of a walk handles: the binary redundancy
// words, or the bytes of a q-ary vector in eights.
std::uint64_t item_words_of(int q, std::int64_t support, int K) {
  const std::int64_t redundancy = support - K;
  if (q == 2) return static_cast<std::uint64_t>(std::max<std::int64_t>(1, (redundancy + 63) / 64));
  int planes = 1;
  vector_shape(q, planes);
  return static_cast<std::uint64_t>(planes) * padded_length(redundancy) / 8;
}

// ---- Units.

struct UnitRun {
  const SearchPlan* plan;
  int set;
  const SearchLevel* level;
  std::int64_t hint;
  SearchTally* tally;
  ElemCode* word;
};

// The codeword of a hit, in the code's own columns.
void word_of_hit(const SearchPlan& plan, const InformationSet& set, int w, const WalkHit& hit, ElemCode* word) {
  std::fill(word, word + plan.n, ElemCode{0});
  for (int l = 0; l < w; ++l)
    word[set.info_columns[static_cast<std::size_t>(hit.positions[l])]] =
        hit.coefficients != nullptr ? hit.coefficients[l] : ElemCode{1};
  const std::vector<std::int64_t>& red = set.redundancy_columns;
  if (plan.q == 2) {
    for (std::size_t t = 0; t < red.size(); ++t) word[red[t]] = static_cast<ElemCode>((hit.redundancy[t / 64] >> (t % 64)) & 1);
    return;
  }
  const FieldOps& f = plan.field;
  for (std::size_t t = 0; t < red.size(); ++t) {
    if (f.p == 2) {
      word[red[t]] = hit.vector[t];
      continue;
    }
    int code = 0;
    for (int u = plan.planes - 1; u >= 0; --u) code = code * f.p + hit.vector[static_cast<std::size_t>(u) * plan.length + t];
    word[red[t]] = static_cast<ElemCode>(code);
  }
}

// Whether set i is the first to meet the codeword within its count limit.
bool first_met_here(const SearchPlan& plan, int i, const ElemCode* word) {
  for (int j = 0; j < i; ++j) {
    const InformationSet& s = plan.sets[static_cast<std::size_t>(j)];
    const auto weight = std::count_if(s.info_columns.begin(), s.info_columns.end(), [word](std::int64_t c) { return word[c] != 0; });
    if (weight <= s.count_limit) return false;
  }
  return true;
}

bool comes_before(std::int64_t weight, std::uint32_t level, std::uint64_t rank, const Lightest& other) {
  if (other.weight < 0 || weight != other.weight) return other.weight < 0 || weight < other.weight;
  return level != other.level ? level < other.level : rank < other.rank;
}

// The heaviest codeword the rest of the unit must report, from rank
// `next` on: for the minimum, none heavier than the hint, and none as
// heavy as the lightest kept when that one comes earlier; for counts,
// none up to the count limit is dropped.
int limit_of(const UnitRun& run, std::uint64_t next) {
  const SearchPlan& plan = *run.plan;
  std::int64_t limit = -1;
  if (plan.goal.minimum_distance) {
    limit = run.hint >= 0 ? std::min(run.hint, plan.support) : plan.support;
    const Lightest& best = run.tally->lightest;
    if (best.weight >= 0) {
      const bool earlier = best.level != run.level->index ? best.level < run.level->index : best.rank < next;
      limit = std::min(limit, earlier ? best.weight - 1 : best.weight);
    }
  }
  if (run.level->counts) limit = std::max<std::int64_t>(limit, plan.count_up_to);
  return static_cast<int>(limit);
}

int on_hit(void* context, const WalkHit& hit) {
  UnitRun& run = *static_cast<UnitRun*>(context);
  const SearchPlan& plan = *run.plan;
  const SearchLevel& level = *run.level;
  word_of_hit(plan, plan.sets[static_cast<std::size_t>(run.set)], level.weight, hit, run.word);
  SearchTally& tally = *run.tally;
  if (level.counts && static_cast<std::size_t>(hit.weight) < tally.counts.size() && first_met_here(plan, run.set, run.word))
    tally.counts[static_cast<std::size_t>(hit.weight)] += static_cast<std::uint64_t>(plan.q - 1);
  if (comes_before(hit.weight, level.index, hit.rank, tally.lightest)) {
    tally.lightest.weight = hit.weight;
    tally.lightest.level = level.index;
    tally.lightest.rank = hit.rank;
    tally.lightest.word.assign(run.word, run.word + plan.n);
  }
  return limit_of(run, hit.rank + 1);
}

// Integers only: a checkpoint names units by their index, so the split
// must be the same wherever the plan is made.
std::uint64_t items_per_unit(const SearchPlan& plan, const SearchLevel& level) {
  const std::uint64_t per_unit = std::max<std::uint64_t>(1, kUnitWords / item_words_of(plan.q, plan.support, plan.dimension));
  const std::uint64_t least = level.items / kMostLevelUnits + (level.items % kMostLevelUnits != 0 ? 1 : 0);
  return std::max(per_unit, least);
}

// The columns of the k x width matrix `a` that are not zero in every row,
// in column order.
std::vector<std::int64_t> nonzero_columns(const std::vector<std::uint8_t>& a, int k, std::size_t width) {
  std::vector<std::int64_t> nonzero;
  for (std::size_t j = 0; j < width; ++j)
    for (int i = 0; i < k; ++i)
      if (a[static_cast<std::size_t>(i) * width + j] != 0) {
        nonzero.push_back(static_cast<std::int64_t>(j));
        break;
      }
  return nonzero;
}

// The Gray code's coefficient steps (q > 2): the field difference from the
// element of each nonzero code to that of the code above and below it.
void fill_steps(SearchPlan& plan) {
  const auto values = static_cast<std::size_t>(plan.q - 1);
  plan.step_up.assign(values, 0);
  plan.step_down.assign(values, 0);
  for (std::size_t g = 0; g < values; ++g) {
    const auto code = static_cast<int>(g + 1);
    if (g + 1 < values) plan.step_up[g] = field_sub(plan.field, code + 1, code);
    if (g > 0) plan.step_down[g] = field_sub(plan.field, code - 1, code);
  }
}

// The counting levels: the order up to the first bound above the limit.
void choose_counting_levels(SearchPlan& plan) {
  const LevelOrder o = order_of(plan);
  std::vector<int> done(plan.sets.size(), 0);
  while (bound_of(o, done) <= plan.count_up_to) {
    const int i = next_set(o, done);
    if (i < 0) break;
    ++done[static_cast<std::size_t>(i)];
    ++plan.counting_levels;
  }
  for (std::size_t i = 0; i < done.size(); ++i) plan.sets[i].count_limit = done[i];
}

}  // namespace

bool plan_search(const MatrixView& m, const SearchGoal& goal, SearchPlan& plan, std::string& refusal) {
  plan = SearchPlan{};
  plan.q = m.q;
  plan.n = m.n;
  plan.goal = goal;
  if (m.k < 0 || m.n < 0 || goal.count_up_to < 0) {
    refusal = "a matrix or goal of negative size";
    return false;
  }
  if (!load_field_ops(m.q, plan.field)) {
    refusal = "no information-set search over F_" + std::to_string(m.q);
    return false;
  }
  const auto width = static_cast<std::size_t>(m.n);
  std::uint64_t bytes = static_cast<std::uint64_t>(m.k) * width;
  try {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(bytes));
    for (int i = 0; i < m.k; ++i) std::copy(m.rows[i], m.rows[i] + m.n, a.data() + static_cast<std::size_t>(i) * width);
    const std::vector<std::int64_t> nonzero = nonzero_columns(a, m.k, width);
    plan.support = static_cast<std::int64_t>(nonzero.size());
    plan.count_up_to = static_cast<int>(std::min<std::int64_t>(goal.count_up_to, plan.support));
    plan.identity = identity_of(m, goal);

    // The sets: own columns first, in column order, then earlier sets'.
    std::vector<char> used(width, 0);
    std::vector<std::int64_t> order, pivots;
    int rows = m.k;
    while (static_cast<int>(plan.sets.size()) < kMostSets) {
      const auto is_used = [&used](std::int64_t c) { return used[static_cast<std::size_t>(c)] != 0; };
      order.clear();
      std::copy_if(nonzero.begin(), nonzero.end(), std::back_inserter(order), [&is_used](std::int64_t c) { return !is_used(c); });
      if (order.empty()) break;
      std::copy_if(nonzero.begin(), nonzero.end(), std::back_inserter(order), is_used);
      systematic_form(plan.field, a, rows, m.n, order, pivots);
      if (plan.sets.empty()) {
        rows = static_cast<int>(pivots.size());
        plan.dimension = rows;
        a.resize(static_cast<std::size_t>(rows) * width);
        if (rows == 0) break;
      }
      InformationSet set;
      for (const std::int64_t c : pivots) {
        if (used[static_cast<std::size_t>(c)] != 0) break;  // own pivots come first
        ++set.own;
      }
      for (int j = 0; j < set.own; ++j) used[static_cast<std::size_t>(pivots[static_cast<std::size_t>(j)])] = 1;
      set.info_columns = pivots;
      std::vector<char> is_info(width, 0);
      for (const std::int64_t c : pivots) is_info[static_cast<std::size_t>(c)] = 1;
      for (const std::int64_t c : nonzero)
        if (is_info[static_cast<std::size_t>(c)] == 0) set.redundancy_columns.push_back(c);
      if (plan.sets.empty()) {
        const std::int64_t redundancy = plan.support - plan.dimension;
        plan.words = m.q == 2 ? static_cast<std::size_t>(std::max<std::int64_t>(1, (redundancy + 63) / 64)) : 1;
        if (m.q != 2) {
          vector_shape(m.q, plan.planes);
          plan.length = padded_length(redundancy);
        }
      }
      bytes = static_cast<std::uint64_t>(plan.dimension) *
              (m.q == 2 ? plan.words * sizeof(WalkWord) * static_cast<std::uint64_t>(plan.dimension + 1) / 2
                        : static_cast<std::uint64_t>(m.q - 1) * static_cast<std::uint64_t>(plan.planes) * plan.length);
      if (m.q == 2)
        build_binary_tables(plan, a, set);
      else
        build_qary_tables(plan, a, set);
      plan.table_bytes += (set.row_words.size() + set.pair_words.size()) * sizeof(WalkWord) + set.multiples.size();
      plan.sets.push_back(std::move(set));
    }
    if (m.q != 2) fill_steps(plan);
  } catch (const std::bad_alloc&) {
    refusal = "the information sets' tables (" + std::to_string(bytes) + " bytes for the largest) cannot be had";
    plan = SearchPlan{};
    return false;
  }

  if (plan.count_up_to > 0 && plan.dimension > 0) choose_counting_levels(plan);
  return true;
}

SearchTally empty_search_tally(const SearchPlan& plan) {
  SearchTally t;
  t.lightest.word.resize(static_cast<std::size_t>(plan.n));
  if (plan.goal.count_up_to > 0) t.counts.assign(static_cast<std::size_t>(plan.count_up_to) + 1, 0);
  return t;
}

void add_search_tally(SearchTally& into, const SearchTally& from) {
  for (std::size_t w = 0; w < from.counts.size() && w < into.counts.size(); ++w) into.counts[w] += from.counts[w];
  const Lightest& f = from.lightest;
  if (f.weight >= 0 && comes_before(f.weight, f.level, f.rank, into.lightest)) {
    into.lightest.weight = f.weight;
    into.lightest.level = f.level;
    into.lightest.rank = f.rank;
    into.lightest.word.assign(f.word.begin(), f.word.end());
  }
}

void begin_search(const SearchPlan& plan, SearchState& state) {
  state.done.assign(plan.sets.size(), 0);
  state.levels = 0;
  state.total = empty_search_tally(plan);
  if (!state.total.counts.empty()) state.total.counts[0] = 1;
}

std::int64_t unseen_lower_bound(const SearchPlan& plan, const SearchState& state) {
  if (plan.dimension == 0) return plan.support + 1;
  return bound_of(order_of(plan), state.done);
}

void distance_bounds(const SearchPlan& plan, const SearchState& state, std::int64_t& lower, std::int64_t& upper) {
  upper = state.total.lightest.weight;
  if (plan.dimension == 0) {
    lower = -1;
    return;
  }
  const std::int64_t unseen = unseen_lower_bound(plan, state);
  lower = upper >= 0 ? std::min(unseen, upper) : unseen;
}

bool search_finished(const SearchPlan& plan, const SearchState& state) {
  if (plan.dimension == 0) return true;
  const std::int64_t bound = unseen_lower_bound(plan, state);
  if (bound > plan.support) return true;
  const bool counted = plan.count_up_to == 0 || bound > plan.count_up_to;
  const std::int64_t upper = state.total.lightest.weight;
  const bool closed = !plan.goal.minimum_distance || (upper >= 0 && bound >= upper);
  return counted && closed;
}

NextLevel next_level(const SearchPlan& plan, const SearchState& state, SearchLevel& level) {
  if (search_finished(plan, state)) return NextLevel::finished;
  const int i = next_set(order_of(plan), state.done);
  if (i < 0) return NextLevel::finished;
  const int w = state.done[static_cast<std::size_t>(i)] + 1;
  const std::uint64_t items = level_size(plan.q, plan.dimension, w);
  if (items == UINT64_MAX) return NextLevel::beyond_reach;
  level = SearchLevel{state.levels, i, w, items, state.levels < plan.counting_levels};
  return NextLevel::run;
}

std::uint64_t level_units(const SearchPlan& plan, const SearchLevel& level) {
  const std::uint64_t per_unit = items_per_unit(plan, level);
  return level.items / per_unit + (level.items % per_unit != 0 ? 1 : 0);
}

void unit_range(const SearchPlan& plan, const SearchLevel& level, std::uint64_t unit, std::uint64_t& first,
                std::uint64_t& count) {
  const std::uint64_t per_unit = items_per_unit(plan, level);
  first = unit * per_unit;
  count = first < level.items ? std::min(per_unit, level.items - first) : 0;
}

bool size_search_scratch(const SearchPlan& plan, SearchScratch& scratch, std::string& refusal) {
  const int most = std::max(1, plan.dimension);
  BinaryWalkTables binary;
  binary.words = plan.words;
  QaryWalkTables qary;
  qary.planes = plan.planes;
  qary.length = plan.length;
  try {
    size_walk_scratch(plan.q == 2 ? &binary : nullptr, plan.q == 2 ? nullptr : &qary, most, scratch.walk);
    scratch.word.resize(static_cast<std::size_t>(plan.n));
  } catch (const std::bad_alloc&) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(most + 3) *
                                (plan.q == 2 ? plan.words * sizeof(WalkWord) : static_cast<std::uint64_t>(plan.planes) * plan.length);
    refusal = "a thread's " + std::to_string(bytes + static_cast<std::uint64_t>(plan.n)) + " bytes for the walks cannot be had";
    return false;
  }
  return true;
}

void run_search_unit(const SearchPlan& plan, const SearchLevel& level, std::uint64_t first, std::uint64_t count,
                     std::int64_t hint, SearchScratch& scratch, SearchTally& tally) {
  if (count == 0 || level.set < 0 || static_cast<std::size_t>(level.set) >= plan.sets.size()) return;
  const InformationSet& set = plan.sets[static_cast<std::size_t>(level.set)];
  UnitRun run{&plan, level.set, &level, hint, &tally, scratch.word.data()};
  const int limit = limit_of(run, first);
  if (plan.q == 2) {
    BinaryWalkTables t;
    t.rows = plan.dimension;
    t.words = plan.words;
    t.row_words = set.row_words.data();
    t.pair_words = set.pair_words.empty() ? nullptr : set.pair_words.data();
    walk_binary(t, level.weight, first, count, limit, scratch.walk, on_hit, &run);
    return;
  }
  QaryWalkTables t;
  t.rows = plan.dimension;
  t.q = plan.q;
  t.p = plan.field.p;
  t.planes = plan.planes;
  t.length = plan.length;
  t.multiples = set.multiples.data();
  t.step_up = plan.step_up.data();
  t.step_down = plan.step_down.data();
  walk_qary(t, level.weight, first, count, limit, scratch.walk, on_hit, &run);
}

void finish_level(const SearchPlan& plan, const SearchLevel& level, const SearchTally& level_tally,
                  SearchState& state) {
  (void)plan;
  add_search_tally(state.total, level_tally);
  state.done[static_cast<std::size_t>(level.set)] = level.weight;
  ++state.levels;
}

std::int64_t expected_min_distance(int q, std::int64_t support, int dimension) {
  if (dimension <= 0) return -1;
  const std::int64_t singleton = support - dimension + 1;
  // A random code has (q^K - 1)/(q - 1) one-dimensional subcodes, each of
  // weight w with probability C(n', w) (q - 1)^w / q^n'; the count of
  // those of weight <= d is about Poisson, so the median of the minimum
  // is the least d where its mean reaches ln 2. In logarithms:
  const double lq = std::log(static_cast<double>(q));
  const double lq1 = std::log(static_cast<double>(q - 1));
  const double subcodes = static_cast<double>(dimension) * lq + std::log1p(-std::pow(static_cast<double>(q), -dimension)) - lq1;
  const double base = subcodes - static_cast<double>(support) * lq;
  const auto n = static_cast<double>(support);
  double sum = 0;
  for (std::int64_t w = 1; w < singleton; ++w) {
    const auto x = static_cast<double>(w);
    sum += std::exp(base + std::lgamma(n + 1) - std::lgamma(x + 1) - std::lgamma(n - x + 1) + x * lq1);
    if (sum >= std::log(2.0)) return w;
  }
  return std::max<std::int64_t>(1, singleton);
}

SearchEstimate estimate_search(const SearchPlan& plan, std::int64_t distance) {
  if (distance < 0) distance = expected_min_distance(plan.q, plan.support, plan.dimension);
  return simulate(order_of(plan), plan.count_up_to, plan.goal.minimum_distance, distance,
                  item_words_of(plan.q, plan.support, plan.dimension));
}

SearchEstimate estimate_search_shape(int q, std::int64_t support, int dimension, const SearchGoal& goal,
                                     std::int64_t distance) {
  LevelOrder o{q, dimension, support, {}};
  if (dimension > 0) {
    std::int64_t left = support;
    while (left > 0 && static_cast<int>(o.deficiency.size()) < kMostSets) {
      const std::int64_t rank = std::min<std::int64_t>(left, dimension);
      o.deficiency.push_back(dimension - static_cast<int>(rank));
      left -= rank;
    }
  }
  if (distance < 0) distance = expected_min_distance(q, support, dimension);
  const int up_to = static_cast<int>(std::min<std::int64_t>(goal.count_up_to, support));
  return simulate(o, up_to, goal.minimum_distance, distance, item_words_of(q, support, dimension));
}

}  // namespace wdist
