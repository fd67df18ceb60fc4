// The library's steps: check, plan, run units, finish; and the one call
// that runs them on threads.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <numeric>
#include <thread>

#include "engine/dual.h"
#include "engine/record_rules.h"
#include "field/fields.h"
#include "library/macwilliams.h"
#include "library/planned_record.h"
#include "library/storage.h"
#include "wdist/hash.h"
#include "wdist/plan.h"

namespace wdist {

std::string bytes_text(std::uint64_t bytes) {
  char text[64];
  if (bytes >= (std::uint64_t{1} << 30))
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / 0x1p30);
  else if (bytes >= (std::uint64_t{1} << 20))
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / 0x1p20);
  else
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  return text;
}

namespace {

Status failure(StatusCode code, std::string message) { return Status{code, std::move(message)}; }

Route public_route(engine::Route route) {
  switch (route) {
    case engine::Route::binary_table: return Route::binary_table;
    case engine::Route::binary_blocks: return Route::binary_blocks;
    case engine::Route::projective_table: return Route::projective_table;
    case engine::Route::projective_blocks: return Route::projective_blocks;
  }
  return Route::none;
}

// The engine's plan of a counted code of dimension `dimension` (> 0).
bool engine_plan(int q, int dimension, std::int64_t n, std::int64_t heaviest, std::uint64_t table_budget,
                 engine::RecordPlan& plan) {
  return engine::plan_record(engine::RecordShape{q, dimension, n, false, heaviest},
                             engine::TablePolicy{table_budget, 0}, plan);
}

double log2_of(double x) { return x > 0 ? std::log2(x) : 0; }

}  // namespace

const char* route_name(Route route) {
  switch (route) {
    case Route::none: return "none";
    case Route::binary_table: return engine::route_name(engine::Route::binary_table);
    case Route::binary_blocks: return engine::route_name(engine::Route::binary_blocks);
    case Route::projective_table: return engine::route_name(engine::Route::projective_table);
    case Route::projective_blocks: return engine::route_name(engine::Route::projective_blocks);
  }
  return "?";
}

std::int64_t min_distance(const Distribution& d) {
  for (std::size_t w = 1; w < d.counts.size(); ++w)
    if (d.counts[w] != 0) return static_cast<std::int64_t>(w);
  return -1;
}

Status check_field(std::int64_t q, const std::string& written) {
  if (engine::field_passes(q)) return Status{};
  char text[160];
  engine::field_refusal(written.empty() ? engine::Decimal(q).text : written.c_str(), text, sizeof text);
  return failure(StatusCode::invalid_code, text);
}

Status check_code(const Code& code) {
  if (Status s = check_field(code.q); !s) return s;
  char text[160];
  if (!engine::dimension_passes(code.k)) {
    engine::dimension_refusal(engine::Decimal(code.k).text, text, sizeof text);
    return failure(StatusCode::invalid_code, text);
  }
  if (!engine::length_passes(code.n)) {
    engine::length_refusal(engine::Decimal(code.n).text, text, sizeof text);
    return failure(StatusCode::invalid_code, text);
  }
  const unsigned long long entries = static_cast<unsigned long long>(code.k) * static_cast<unsigned long long>(code.n);
  if (code.entries.size() != entries) {
    std::snprintf(text, sizeof text, "the matrix holds %llu entries, not k * n = %llu",
                  static_cast<unsigned long long>(code.entries.size()), entries);
    return failure(StatusCode::invalid_code, text);
  }
  // The largest entry first, in a loop without early exit that the
  // compiler vectorises (every small record of a file passes here); the
  // offending entry is looked for only when there is one.
  const ElemCode largest = std::accumulate(code.entries.begin(), code.entries.end(), ElemCode{0},
                                           [](ElemCode a, ElemCode b) { return a > b ? a : b; });
  if (largest < code.q) return Status{};
  for (std::size_t i = 0; i < code.entries.size(); ++i)
    if (code.entries[i] >= code.q) {
      const auto n = static_cast<unsigned long long>(code.n);
      const unsigned long long row = i / n + 1, column = i % n + 1;
      std::snprintf(text, sizeof text, "entry %d in row %llu, column %llu is not below q = %d", code.entries[i], row,
                    column, code.q);
      return failure(StatusCode::invalid_code, text);
    }
  return Status{};
}

namespace {

// The route of a code of rank `rank`: the direct one or the dual, as the
// options ask, with the messages it counts and its cost; too_much_work
// above the work limit.
Status choose_route(const Code& code, const Options& options, int rank, bool& dual, double& messages, double& cost) {
  const int dual_dimension = static_cast<int>(code.n - rank);
  // The two routes: the code's own q^rank messages, or the dual's
  // q^(n - rank) and the MacWilliams identity, priced in messages as
  // well. A tie goes to the direct route, which has nothing to finish.
  const double direct_messages = rank == 0 ? 0 : engine::message_count(code.q, rank);
  const double dual_messages = dual_dimension == 0 ? 0 : engine::message_count(code.q, dual_dimension);
  const double dual_cost = dual_messages + macwilliams_cost(code.q, code.n, dual_dimension);
  dual = false;
  switch (options.dual) {
    case DualRoute::never: dual = false; break;
    case DualRoute::always: dual = true; break;
    case DualRoute::automatic: dual = dual_cost < direct_messages; break;
  }
  messages = dual ? dual_messages : direct_messages;
  cost = dual ? dual_cost : direct_messages;
  if (messages > options.max_work) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "needs about 2^%.1f messages (2^%.1f directly, 2^%.1f through its dual), more than the work "
                  "limit 2^%.1f",
                  log2_of(messages), log2_of(direct_messages), log2_of(dual_messages), log2_of(options.max_work));
    return failure(StatusCode::too_much_work, text);
  }
  return Status{};
}

// The engine's plan of the counted code (dimension > 0) and the summary
// with the plan's identity.
Status plan_counted(const Code& code, const Options& options, std::uint64_t table_budget, const MatrixView& counted,
                    int rank, double messages, double cost, PlannedRecord& r, PlanSummary& s) {
  s.method = r.method;
  s.rank = rank;
  s.dimension = r.dimension;
  s.messages = messages;
  s.cost = cost;
  s.zero_message_counted = engine::layout_counts_zero_message(code.q);
  s.zero_columns_shift = options.projective;
  // The fields of the plan as whole words, each set in one call: the hash
  // takes them a word a step (a plan is a good part of a small record's
  // time, and a field of a few bytes alone would be taken a byte a step).
  Hasher h;
  h.add(kVersion, sizeof kVersion);
  const std::uint64_t shape[] = {static_cast<std::uint64_t>(code.q), static_cast<std::uint64_t>(code.n),
                                 static_cast<std::uint64_t>(r.method), static_cast<std::uint64_t>(r.dimension),
                                 options.projective ? 1u : 0u};
  h.add(shape, sizeof shape);
  if (r.dimension > 0) {
    engine::RecordPlan record_plan{};
    if (!engine_plan(code.q, r.dimension, code.n, engine::heaviest_weight(counted), table_budget, record_plan)) {
      char text[160];
      std::snprintf(text, sizeof text, "a code of dimension %d over F_%d cannot be numbered in 64 bits",
                    r.dimension, code.q);
      return failure(StatusCode::too_much_work, text);
    }
    engine::prepare_record(counted, record_plan, r.prepared);
    r.tally_size = engine::histogram_entries(record_plan);
    s.route = public_route(record_plan.route);
    s.counter_bits = record_plan.counter_bits;
    s.units = record_plan.units;
    s.table_bytes = record_plan.table_bytes;
    s.thread_bytes = worker_bytes(record_plan);
    // The rows' bytes one after another: in one call when they lie so in
    // memory (the hash is the same either way).
    const auto row_bytes = static_cast<std::size_t>(code.n);
    bool adjacent = true;
    for (int i = 1; i < r.dimension && adjacent; ++i)
      adjacent = counted.rows[i] == counted.rows[0] + static_cast<std::size_t>(i) * row_bytes;
    if (adjacent)
      h.add(counted.rows[0], static_cast<std::size_t>(r.dimension) * row_bytes);
    else
      for (int i = 0; i < r.dimension; ++i) h.add(counted.rows[i], row_bytes);
    const std::uint64_t layout[] = {static_cast<std::uint64_t>(record_plan.route), static_cast<std::uint64_t>(record_plan.counter_bits),
                                    record_plan.block_bits, record_plan.blocks, record_plan.blocks_per_unit, record_plan.units};
    h.add(layout, sizeof layout);
  } else {
    r.tally_size = 1;
    s.route = Route::none;
  }
  s.identity = h.value();
  return Status{};
}

// plan_record; with `take` (the code's own entries) not null, the basis is
// reduced in the entries' storage, taken from the code.
Status plan_code(const Code& code, std::vector<ElemCode>* take, const Options& options, std::uint64_t table_budget,
                 Plan& plan) {
  plan = Plan{};
  if (Status s = check_code(code); !s) return s;
  try {
    auto record = std::make_shared<PlannedRecord>();
    PlannedRecord& r = *record;
    r.q = code.q;
    r.k = code.k;
    r.n = code.n;
    r.projective = options.projective;
    // A code of length 0 is the zero code whatever k: its rows hold nothing
    // to reduce, and k may be 2^31 - 1 for a few bytes of input.
    const std::int32_t rows_held = code.n == 0 ? 0 : code.k;
    if (take != nullptr) {
      engine::reduce_in_place(code.q, rows_held, code.n, *take, r.basis);
    } else {
      std::vector<const ElemCode*> rows(static_cast<std::size_t>(rows_held));
      for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
      engine::reduce_to_basis(MatrixView{code.q, rows_held, code.n, rows.data()}, r.basis);
    }
    const int rank = r.basis.rank;
    const int dual_dimension = static_cast<int>(code.n - rank);

    double messages = 0, cost = 0;
    bool dual = false;
    if (Status s = choose_route(code, options, rank, dual, messages, cost); !s) return s;
    r.method = dual ? Method::dual : Method::direct;
    r.dimension = dual ? dual_dimension : rank;
    MatrixView counted{code.q, r.dimension, code.n, nullptr};
    if (dual) {
      engine::dual_generator(r.basis, r.dual_rows);
      r.pointers.resize(static_cast<std::size_t>(dual_dimension));
      for (std::size_t i = 0; i < r.pointers.size(); ++i)
        r.pointers[i] = r.dual_rows.data() + i * static_cast<std::size_t>(code.n);
      counted.rows = r.pointers.data();
    } else {
      counted = engine::view_of(r.basis, r.pointers);
    }

    if (Status st = plan_counted(code, options, table_budget, counted, rank, messages, cost, r, plan.summary); !st)
      return st;
    plan.record = std::move(record);
    return Status{};
  } catch (const std::bad_alloc&) {
    const std::uint64_t matrix = static_cast<std::uint64_t>(code.k) * static_cast<std::uint64_t>(code.n);
    return failure(StatusCode::out_of_memory,
                   "the basis and columns of a code of " + bytes_text(matrix) + " cannot be had");
  }
}

}  // namespace

double direct_messages_bound(const Code& code) {
  return engine::message_count(code.q, std::min<std::int64_t>(code.k, code.n));
}

Status plan_record(const Code& code, const Options& options, Plan& plan) {
  return plan_code(code, nullptr, options, kLibraryTableBudget, plan);
}

Status plan_record(Code&& code, const Options& options, Plan& plan) {
  return plan_code(code, &code.entries, options, kLibraryTableBudget, plan);
}

Status plan_record_with_budget(const Code& code, const Options& options, std::uint64_t table_budget, Plan& plan) {
  return plan_code(code, nullptr, options, table_budget, plan);
}

Tally empty_tally(const Plan& plan) {
  Tally t;
  if (plan.record) t.counts.assign(plan.record->tally_size, 0);
  return t;
}

namespace {

Status tally_not_had(std::uint64_t size) {
  return failure(StatusCode::out_of_memory, "a tally of " + std::to_string(size) + " counts (" +
                                                bytes_text(size * sizeof(std::uint64_t)) + ") cannot be had");
}

}  // namespace

Status reset_tally(const Plan& plan, Tally& tally) {
  const std::uint64_t size = plan.record ? plan.record->tally_size : 0;
  try {
    tally.counts.assign(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    tally.counts = {};
    return tally_not_had(size);
  }
  return Status{};
}

void add_tally(const Tally& from, Tally& into) {
  if (into.counts.size() < from.counts.size()) into.counts.resize(from.counts.size(), 0);
  for (std::size_t i = 0; i < from.counts.size(); ++i) into.counts[i] += from.counts[i];
}

void merge_tally(const Plan& plan, const Tally& from, Tally& into) {
  const SearchLevelUnits* search = plan.record ? plan.record->search.get() : nullptr;
  if (search == nullptr || from.counts.empty()) {
    add_tally(from, into);
    return;
  }
  if (into.counts.size() < from.counts.size()) into.counts.resize(from.counts.size(), 0);
  merge_search_tally(*search->plan, from.counts.data(), into.counts.data());
}

namespace {

// The engine's units of a record (dimension > 0) into hist[0..tally_size).
Status run_units_into(const PlannedRecord& r, std::uint64_t first, std::uint64_t count, Worker& worker,
                      std::uint64_t* hist) {
  Worker::Storage& storage = storage_of(worker);
  const std::uint64_t wanted = fit_storage(storage, r.prepared.plan);
  if (wanted != 0) return failure(StatusCode::out_of_memory, "a worker's " + bytes_text(wanted) + " cannot be had");
  engine::Workspace ws = workspace_of(storage);
  engine::run_units(r.prepared, first, count, ws, storage.planes, hist);
  return Status{};
}

}  // namespace

namespace {

// The preconditions every step after planning states: a plan that holds a
// record (not a default-constructed one), and a tally of its shape.
Status check_planned(const Plan& plan) {
  if (plan.record == nullptr) return failure(StatusCode::invalid_code, "the plan holds no record (plan_record first)");
  return Status{};
}

Status check_tally(const Plan& plan, const Tally& tally, const char* what) {
  const std::uint64_t size = plan.record->tally_size;
  if (tally.counts.size() == size) return Status{};
  return failure(StatusCode::invalid_code, std::string(what) + " of " + std::to_string(tally.counts.size()) +
                                               " counts is not of this plan, whose tallies hold " +
                                               std::to_string(size));
}

}  // namespace

Status run_units(const Plan& plan, std::uint64_t first, std::uint64_t count, Worker& worker, Tally& tally) {
  if (Status s = check_planned(plan); !s) return s;
  const PlannedRecord& r = *plan.record;
  const std::uint64_t units = plan.summary.units;
  if (first > units || count > units - first)
    return failure(StatusCode::invalid_code, "units " + std::to_string(first) + " + " + std::to_string(count) +
                                                 " lie beyond the plan's " + std::to_string(units));
  // An empty tally is grown to the plan's shape; any other must have it.
  if (!tally.counts.empty())
    if (Status s = check_tally(plan, tally, "a tally"); !s) return s;
  if ((r.dimension == 0 && !r.search) || count == 0) return Status{};
  if (tally.counts.size() < r.tally_size) {
    try {
      tally.counts.resize(r.tally_size, 0);
    } catch (const std::bad_alloc&) {
      return tally_not_had(r.tally_size);
    }
  }
  if (r.search) return run_search_units(r, first, count, worker, tally.counts.data());
  return run_units_into(r, first, count, worker, tally.counts.data());
}

namespace {

// The fields of the result besides its counts.
void describe(const PlannedRecord& r, Distribution& result) {
  result = Distribution{};
  result.q = r.q;
  result.n = r.n;
  result.k = r.k;
  result.rank = r.basis.rank;
  result.method = r.method;
  result.projective = r.projective;
}

// The counted code's distribution B[0..n] from the tally counts[0..size):
// every message once (the projective routes leave the zero message out),
// visit(w, B_w) for each nonzero B_w in increasing w. The counts of the
// units add up to q^dimension: no unit lost or counted twice. They are
// below 2^62 (the work limit), so the sum is checked in 128 bits, and a
// q^dimension beyond them means a sum that cannot match.
template <class Visit>
Status counted_distribution(const PlannedRecord& r, const std::uint64_t* counts, std::size_t size, Visit visit) {
  const auto length = static_cast<std::size_t>(r.n) + 1;
  unsigned __int128 sum = 0, expected = 1;
  for (int i = 0; i < r.dimension && expected <= (static_cast<unsigned __int128>(1) << 64); ++i)
    expected *= static_cast<unsigned>(r.q);
  if (r.dimension == 0) {
    visit(std::size_t{0}, std::uint64_t{1});
    sum = 1;
  } else {
    const engine::Route route = r.prepared.plan.route;
    const std::uint64_t zero_message = route == engine::Route::projective_table || route == engine::Route::projective_blocks ? 1 : 0;
    std::uint64_t aliased = 0;
    if (!engine::aliased_top_weight(r.prepared, counts, size, aliased))
      return failure(StatusCode::internal_error, "the weights of the code do not add up to those of its columns");
    // Weight w at index w * scale (an image's words are scale times as heavy).
    const auto scale = static_cast<std::size_t>(r.prepared.plan.weight_scale);
    for (std::size_t w = 0; w < length && w * scale < size; ++w) {
      std::uint64_t B = counts[w * scale] + (w == 0 ? zero_message : 0);
      if (aliased != 0 && w == 0) B -= aliased;
      if (aliased != 0 && w == static_cast<std::size_t>(r.prepared.plan.heaviest)) B += aliased;
      if (B == 0) continue;
      visit(w, B);
      sum += B;
    }
  }
  if (sum != expected)
    return failure(StatusCode::internal_error, "the counts of the " + std::string(r.method == Method::dual ? "dual " : "") +
                                                   "code do not add up to q^" + std::to_string(r.dimension));
  return Status{};
}

Status counted_distribution(const PlannedRecord& r, const Tally& total, std::vector<std::uint64_t>& B) {
  B.assign(static_cast<std::size_t>(r.n) + 1, 0);
  return counted_distribution(r, total.counts.data(), total.counts.size(),
                              [&B](std::size_t w, std::uint64_t count) { B[w] = count; });
}

Status not_divisible() { return failure(StatusCode::internal_error, "a count is not divisible by q - 1"); }

}  // namespace

bool needs_big_counts(const Plan& plan) { return plan.record != nullptr && plan.record->method == Method::dual; }

namespace {

// What a finish that cannot have its memory says: the vectors of counts
// it holds at once, `bytes_per_weight` for each of the n + 1 weights.
Status counts_not_had(const PlannedRecord& r, std::uint64_t bytes_per_weight) {
  const std::uint64_t weights = static_cast<std::uint64_t>(r.n) + 1;
  return failure(StatusCode::out_of_memory, "the counts of a code of length " + std::to_string(r.n) + " (" +
                                                bytes_text(weights * bytes_per_weight) + ") cannot be had");
}

Status finish_big(const PlannedRecord& r, const Tally& total, Distribution& result) {
  describe(r, result);
  static_assert(sizeof(unsigned long) == sizeof(std::uint64_t), "counts convert through mpz_set_ui");
  std::vector<mpz_class> B(static_cast<std::size_t>(r.n) + 1);
  if (Status s = counted_distribution(r, total.counts.data(), total.counts.size(),
                                      [&B](std::size_t w, std::uint64_t count) {
                                        mpz_set_ui(B[w].get_mpz_t(), static_cast<unsigned long>(count));
                                      });
      !s)
    return s;
  if (r.method == Method::dual) {
    std::string error;
    if (!macwilliams_transform(r.q, r.n, r.dimension, B, result.counts, error))
      return failure(StatusCode::internal_error, error);
  } else {
    result.counts = std::move(B);
  }
  if (r.projective) {
    const mpz_class step = r.q - 1;
    for (std::size_t w = 1; w < result.counts.size(); ++w) {
      if (!mpz_divisible_p(result.counts[w].get_mpz_t(), step.get_mpz_t())) return not_divisible();
      mpz_divexact(result.counts[w].get_mpz_t(), result.counts[w].get_mpz_t(), step.get_mpz_t());
    }
    if (!result.counts.empty()) result.counts[0] = 0;
  }
  return Status{};
}

Status finish_small(const PlannedRecord& r, const Tally& total, Distribution& result,
                    std::vector<std::uint64_t>& counts) {
  describe(r, result);
  if (Status s = counted_distribution(r, total, counts); !s) return s;
  if (r.projective) {
    const auto step = static_cast<std::uint64_t>(r.q - 1);
    for (std::size_t w = 1; w < counts.size(); ++w) {
      if (counts[w] % step != 0) return not_divisible();
      counts[w] /= step;
    }
    if (!counts.empty()) counts[0] = 0;
  }
  return Status{};
}

}  // namespace

Status finish_record(const Plan& plan, const Tally& total, Distribution& result) {
  if (Status s = check_planned(plan); !s) return s;
  if (Status s = check_tally(plan, total, "the total"); !s) return s;
  const PlannedRecord& r = *plan.record;
  try {
    return finish_big(r, total, result);
  } catch (const std::bad_alloc&) {
    result.counts = {};
    // The 64-bit counts and the big integers beside them; the dual's
    // MacWilliams sums take as many again.
    return counts_not_had(r, (r.method == Method::dual ? 2 : 1) * sizeof(mpz_class) + sizeof(std::uint64_t));
  }
}

Status finish_record_u64(const Plan& plan, const Tally& total, Distribution& result,
                         std::vector<std::uint64_t>& counts) {
  if (Status s = check_planned(plan); !s) return s;
  if (Status s = check_tally(plan, total, "the total"); !s) return s;
  const PlannedRecord& r = *plan.record;
  if (needs_big_counts(plan)) return failure(StatusCode::internal_error, "the record needs big counts");
  try {
    return finish_small(r, total, result, counts);
  } catch (const std::bad_alloc&) {
    counts = {};
    return counts_not_had(r, sizeof(std::uint64_t));
  }
}

Status count_nonzero(const Plan& plan, Worker& worker, Distribution& result, NonzeroCounts& counts) {
  counts.clear();
  if (Status s = check_planned(plan); !s) return s;
  const PlannedRecord& r = *plan.record;
  if (needs_big_counts(plan)) return failure(StatusCode::internal_error, "the record needs big counts");
  describe(r, result);
  ZeroedCounts hist;
  if (r.dimension > 0) {
    if (!hist.take(static_cast<std::size_t>(r.tally_size)))
      return tally_not_had(r.tally_size);
    if (Status s = run_units_into(r, 0, plan.summary.units, worker, hist.data()); !s) return s;
  }
  try {
    // At most one count per weight, and per message.
    const double messages = engine::message_count(r.q, r.dimension);
    counts.reserve(static_cast<std::size_t>(std::min(static_cast<double>(r.n) + 1, messages)));
    if (Status s = counted_distribution(r, hist.data(), hist.size(),
                                        [&counts](std::size_t w, std::uint64_t count) {
                                          counts.emplace_back(static_cast<std::int64_t>(w), count);
                                        });
        !s)
      return s;
  } catch (const std::bad_alloc&) {
    return counts_not_had(r, sizeof(NonzeroCounts::value_type));
  }
  if (r.projective) {
    // The zero codeword, alone at weight 0, spans no one-dimensional subcode.
    if (!counts.empty() && counts.front().first == 0) counts.erase(counts.begin());
    const auto step = static_cast<std::uint64_t>(r.q - 1);
    for (auto& [w, count] : counts) {
      if (count % step != 0) return not_divisible();
      count /= step;
    }
  }
  return Status{};
}

}  // namespace wdist
