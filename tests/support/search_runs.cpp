#include "support/search_runs.h"

#include <algorithm>
#include <numeric>

#include "support/brute_force.h"
#include "support/code_families.h"

namespace wdist_test {

using wdist::ElemCode;

wdist::MatrixView view_of_code(const wdist::Code& code, std::vector<const ElemCode*>& pointers) {
  pointers.resize(static_cast<std::size_t>(code.k));
  for (int i = 0; i < code.k; ++i) pointers[static_cast<std::size_t>(i)] = code.entries.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(code.n);
  return wdist::MatrixView{code.q, code.k, code.n, pointers.data()};
}

SearchOutcome search_code(const wdist::Code& code, const wdist::SearchGoal& goal, const SearchShape& shape) {
  SearchOutcome out;
  std::vector<const ElemCode*> pointers;
  wdist::SearchPlan plan;
  if (!wdist::plan_search(view_of_code(code, pointers), goal, plan, out.refusal)) return out;
  out.planned = true;
  out.sets = static_cast<int>(plan.sets.size());
  if (shape.drop_pair_tables)
    for (wdist::InformationSet& s : plan.sets) s.pair_words.clear();
  std::mt19937_64 rng(shape.seed);
  wdist::SearchScratch scratch;
  if (!wdist::size_search_scratch(plan, scratch, out.refusal)) return out;
  wdist::SearchState state;
  wdist::begin_search(plan, state);
  wdist::SearchLevel level;
  wdist::NextLevel next;
  while ((next = wdist::next_level(plan, state, level)) == wdist::NextLevel::run) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    switch (shape.split) {
      case SearchShape::Split::planned:
        for (std::uint64_t u = 0; u < wdist::level_units(plan, level); ++u) {
          std::uint64_t first = 0, count = 0;
          wdist::unit_range(plan, level, u, first, count);
          ranges.emplace_back(first, count);
        }
        break;
      case SearchShape::Split::single_items:
        if (level.items <= 4096) {
          for (std::uint64_t first = 0; first < level.items; ++first) ranges.emplace_back(first, 1);
          break;
        }
        [[fallthrough]];
      case SearchShape::Split::random_ranges:
        for (std::uint64_t first = 0; first < level.items;) {
          const std::uint64_t count = std::min<std::uint64_t>(level.items - first, 1 + rng() % (level.items / 32 + 2));
          ranges.emplace_back(first, count);
          first += count;
        }
        break;
    }
    std::vector<wdist::SearchTally> tallies;
    if (shape.shared_tallies) {
      std::shuffle(ranges.begin(), ranges.end(), rng);
      tallies.assign(3, wdist::empty_search_tally(plan));
    }
    for (const auto& [first, count] : ranges) {
      std::int64_t hint = state.total.lightest.weight;
      if (shape.random_hints) hint = rng() % 3 == 0 ? -1 : shape.hint_floor + static_cast<std::int64_t>(rng() % 4);
      if (shape.shared_tallies) {
        wdist::run_search_unit(plan, level, first, count, hint, scratch, tallies[rng() % 3]);
        continue;
      }
      wdist::SearchTally t = wdist::empty_search_tally(plan);
      wdist::run_search_unit(plan, level, first, count, hint, scratch, t);
      tallies.push_back(std::move(t));
    }
    if (shape.shuffle_merges) std::shuffle(tallies.begin(), tallies.end(), rng);
    wdist::SearchTally level_tally = wdist::empty_search_tally(plan);
    for (const wdist::SearchTally& t : tallies) wdist::add_search_tally(level_tally, t);
    wdist::finish_level(plan, level, level_tally, state);
    out.items += static_cast<double>(level.items);
  }
  out.finished = next == wdist::NextLevel::finished;
  wdist::distance_bounds(plan, state, out.lower, out.upper);
  if (state.total.lightest.weight >= 0) out.witness = state.total.lightest.word;
  out.counts = state.total.counts;
  out.levels = state.levels;
  return out;
}

wdist::Code reed_muller_code(int r, int m) {
  const std::int64_t n = std::int64_t{1} << m;
  std::vector<unsigned> monomials;  // variable sets of size <= r
  for (unsigned s = 0; s < (1U << m); ++s)
    if (__builtin_popcount(s) <= r) monomials.push_back(s);
  wdist::Code code{2, static_cast<int>(monomials.size()), n, {}};
  for (const unsigned s : monomials)
    for (std::int64_t x = 0; x < n; ++x) code.entries.push_back((static_cast<unsigned>(x) & s) == s ? 1 : 0);
  return code;
}

std::uint64_t reed_muller_minimum_words(int r, int m) {
  // The numerator stays below 2^40 for m <= 8 and the quotient is exact.
  unsigned __int128 num = std::uint64_t{1} << r, den = 1;
  for (int i = 0; i <= m - r - 1; ++i) {
    num *= (std::uint64_t{1} << (m - i)) - 1;
    den *= (std::uint64_t{1} << (m - r - i)) - 1;
  }
  return static_cast<std::uint64_t>(num / den);
}

wdist::Code quadratic_residue_code(int p) {
  std::vector<int> square(static_cast<std::size_t>(p), 0);
  for (int x = 1; x < p; ++x) square[static_cast<std::size_t>(x * x % p)] = 1;
  for (int flip = 0; flip < 2; ++flip) {
    std::vector<int> e(square);
    if (flip == 1) e[0] ^= 1;
    wdist::Code code{2, p, p, std::vector<ElemCode>(static_cast<std::size_t>(p) * static_cast<std::size_t>(p))};
    for (int i = 0; i < p; ++i)
      for (int j = 0; j < p; ++j)
        code.entries[static_cast<std::size_t>(i) * static_cast<std::size_t>(p) + static_cast<std::size_t>((i + j) % p)] =
            static_cast<ElemCode>(e[static_cast<std::size_t>(j)]);
    std::vector<const ElemCode*> pointers;
    wdist::SearchPlan plan;
    std::string refusal;
    wdist::SearchGoal nothing{false, 0};
    if (wdist::plan_search(view_of_code(code, pointers), nothing, plan, refusal) && plan.dimension == (p + 1) / 2)
      return code;
  }
  return {};
}

wdist::Code random_code(int q, int k, std::int64_t n, std::mt19937_64& rng) {
  wdist::Code code{q, k, n, std::vector<ElemCode>(static_cast<std::size_t>(k) * static_cast<std::size_t>(n))};
  for (ElemCode& e : code.entries) e = static_cast<ElemCode>(rng() % static_cast<unsigned>(q));
  return code;
}

wdist::Code awkward_random_code(int q, int k, std::int64_t n, std::mt19937_64& rng) {
  wdist::Code code = random_code(q, k, n, rng);
  const auto at = [&code](int i, std::int64_t j) -> ElemCode& {
    return code.entries[static_cast<std::size_t>(i) * static_cast<std::size_t>(code.n) + static_cast<std::size_t>(j)];
  };
  for (int i = 1; i < k; ++i) {
    const unsigned kind = rng() % 8;
    if (kind == 0) {  // a combination of two earlier rows
      const int a = static_cast<int>(rng() % static_cast<unsigned>(i)), b = static_cast<int>(rng() % static_cast<unsigned>(i));
      const int x = static_cast<int>(rng() % static_cast<unsigned>(q));
      for (std::int64_t j = 0; j < n; ++j) at(i, j) = static_cast<ElemCode>(field_add(q, at(a, j), field_mul(q, x, at(b, j))));
    } else if (kind == 1) {
      for (std::int64_t j = 0; j < n; ++j) at(i, j) = 0;
    }
  }
  for (std::int64_t j = 0; j < n; ++j) {
    const auto kind = static_cast<unsigned>(rng() % 6);
    if (kind == 0) {
      for (int i = 0; i < k; ++i) at(i, j) = 0;
    } else if (kind == 1 && j > 0) {
      const auto from = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(j));
      for (int i = 0; i < k; ++i) at(i, j) = at(i, from);
    }
  }
  return code;
}

bool is_codeword(const wdist::Code& code, const std::vector<wdist::ElemCode>& word) {
  std::vector<wdist::ElemCode> rows = code.entries;
  const int rank = rank_ref(code.q, code.n, rows);
  rows.insert(rows.end(), word.begin(), word.end());
  return rank_ref(code.q, code.n, rows) == rank;
}

std::int64_t weight_of(const std::vector<wdist::ElemCode>& word) {
  return std::count_if(word.begin(), word.end(), [](wdist::ElemCode x) { return x != 0; });
}

}  // namespace wdist_test
