// The minimum distance and low-weight counts (wdist/search.h): the search
// by information sets (engine/infoset.h) as a job of the executor whose
// completion hook plans its levels one after another, or the complete
// distribution when that costs less.
#include "wdist/search.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>
#include <string>

#include "library/planned_record.h"
#include "library/storage.h"
#include "wdist/executor.h"
#include "wdist/hash.h"
#include "wdist/plan.h"

namespace wdist {

namespace {

constexpr std::uint64_t kHead = 3;  // weight + 1, level, rank

std::uint64_t word_counts(const SearchPlan& plan) { return (static_cast<std::uint64_t>(plan.n) + 7) / 8; }

std::uint64_t counts_at(const SearchPlan& plan) { return kHead + word_counts(plan); }

std::uint64_t count_entries(const SearchPlan& plan) {
  return plan.goal.count_up_to > 0 ? static_cast<std::uint64_t>(plan.count_up_to) + 1 : 0;
}

// Whether the codeword (weight, level, rank) comes before the one of
// `into` (weight 0 there: none).
bool lighter(const std::uint64_t* from, const std::uint64_t* into) {
  if (from[0] == 0) return false;
  if (into[0] == 0) return true;
  if (from[0] != into[0]) return from[0] < into[0];
  if (from[1] != into[1]) return from[1] < into[1];
  return from[2] < into[2];
}

Status failure(StatusCode code, std::string message) { return Status{code, std::move(message)}; }

}  // namespace

std::uint64_t search_tally_size(const SearchPlan& plan) { return counts_at(plan) + count_entries(plan); }

void encode_search_tally(const SearchPlan& plan, const SearchTally& tally, std::uint64_t* out) {
  const Lightest& l = tally.lightest;
  const std::uint64_t words = word_counts(plan);
  out[0] = l.weight >= 0 ? static_cast<std::uint64_t>(l.weight) + 1 : 0;
  out[1] = l.weight >= 0 ? l.level : 0;
  out[2] = l.weight >= 0 ? l.rank : 0;
  for (std::uint64_t i = 0; i < words; ++i) {
    std::uint64_t w = 0;
    if (l.weight >= 0)
      for (std::uint64_t b = 0; b < 8; ++b) {
        const std::uint64_t j = i * 8 + b;
        if (j < l.word.size()) w |= static_cast<std::uint64_t>(l.word[j]) << (8 * b);
      }
    out[kHead + i] = w;
  }
  const std::uint64_t entries = count_entries(plan);
  for (std::uint64_t w = 0; w < entries; ++w) out[counts_at(plan) + w] = w < tally.counts.size() ? tally.counts[w] : 0;
}

void decode_search_tally(const SearchPlan& plan, const std::uint64_t* in, SearchTally& tally) {
  Lightest& l = tally.lightest;
  l.weight = in[0] == 0 ? -1 : static_cast<std::int64_t>(in[0] - 1);
  l.level = static_cast<std::uint32_t>(in[1]);
  l.rank = in[2];
  l.word.resize(static_cast<std::size_t>(plan.n));
  for (std::size_t j = 0; j < l.word.size(); ++j)
    l.word[j] = static_cast<ElemCode>(in[kHead + j / 8] >> (8 * (j % 8)));
  tally.counts.assign(in + counts_at(plan), in + counts_at(plan) + count_entries(plan));
}

void merge_search_tally(const SearchPlan& plan, const std::uint64_t* from, std::uint64_t* into) {
  if (lighter(from, into)) std::copy(from, from + counts_at(plan), into);
  const std::uint64_t at = counts_at(plan), entries = count_entries(plan);
  for (std::uint64_t w = 0; w < entries; ++w) into[at + w] += from[at + w];
}

Status run_search_units(const PlannedRecord& record, std::uint64_t first, std::uint64_t count, Worker& worker,
                        std::uint64_t* tally) {
  const SearchLevelUnits& units = *record.search;
  const SearchPlan& plan = *units.plan;
  Worker::Storage& storage = storage_of(worker);
  if (!storage.search_sized || storage.search_sized_for != plan.identity) {
    std::string refusal;
    if (!size_search_scratch(plan, storage.search, refusal)) return failure(StatusCode::out_of_memory, refusal);
    try {
      storage.search_tally = empty_search_tally(plan);
    } catch (const std::bad_alloc&) {
      return failure(StatusCode::out_of_memory, "a tally of " + bytes_text(static_cast<std::uint64_t>(plan.n)) +
                                                    " for the lightest codeword cannot be had");
    }
    storage.search_sized = true;
    storage.search_sized_for = plan.identity;
  }
  SearchTally& t = storage.search_tally;
  decode_search_tally(plan, tally, t);
  const std::int64_t hint = units.lightest->load(std::memory_order_relaxed);
  // Units first .. first + count - 1 are one range of ranks.
  const std::uint64_t first_unit = first, last_unit = first + count - 1;
  std::uint64_t first_item = 0, items = 0, last_item = 0, last_count = 0;
  unit_range(plan, units.level, first_unit, first_item, items);
  unit_range(plan, units.level, last_unit, last_item, last_count);
  run_search_unit(plan, units.level, first_item, last_item + last_count - first_item, hint, storage.search, t);
  encode_search_tally(plan, t, tally);
  // A lighter codeword makes the walks of the other units drop more.
  if (t.lightest.weight >= 0) {
    std::int64_t known = units.lightest->load(std::memory_order_relaxed);
    while ((known < 0 || t.lightest.weight < known) &&
           !units.lightest->compare_exchange_weak(known, t.lightest.weight, std::memory_order_relaxed)) {
    }
  }
  return Status{};
}

const char* search_method_name(SearchMethod method) {
  switch (method) {
    case SearchMethod::information_sets: return "information sets";
    case SearchMethod::direct: return "direct";
    case SearchMethod::dual: return "dual";
  }
  return "?";
}

// ---- SearchRun

struct SearchRun::Work {
  int q = 2;
  std::int64_t n = 0;
  int k = 0;
  int rank = 0;
  double max_work = 0;
  std::shared_ptr<const SearchPlan> plan;
  SearchEstimate estimate;
  double step_words = 1;
  bool complete = false;
  Plan complete_plan;
  Distribution distribution;  // the complete route's
  std::int64_t known_distance = -1;
  int weights_up_to = 0;
  std::shared_ptr<std::atomic<std::int64_t>> lightest;

  mutable std::mutex mutex;  // guards what follows
  SearchState state;
  SearchLevel level;
  std::uint64_t level_identity = 0;
  bool in_level = false;
  bool finished = false;
  double words = 0;

  Status level_plan(const SearchLevel& at, Plan& out) const;
  Status advance(Job& job);
};

SearchRun::SearchRun() = default;
SearchRun::~SearchRun() = default;

Status SearchRun::plan(const Code& code, const SearchOptions& options, std::shared_ptr<SearchRun>& run) {
  if (Status s = check_code(code); !s) return s;
  try {
    run = std::make_shared<SearchRun>();
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a search's bookkeeping cannot be had");
  }
  run->work_ = std::make_unique<Work>();
  Work& r = *run->work_;
  r.q = code.q;
  r.n = code.n;
  r.k = code.k;
  r.max_work = options.max_work;
  r.weights_up_to = std::max(0, options.weights_up_to);
  std::vector<const ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (int i = 0; i < code.k; ++i)
    rows[static_cast<std::size_t>(i)] = code.entries.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(code.n);
  SearchGoal goal{options.minimum_distance, std::max(0, options.weights_up_to)};
  // Counts up to the support or beyond are all of them: the complete distribution.
  auto plan = std::make_shared<SearchPlan>();
  std::string refusal;
  try {
    if (!plan_search(MatrixView{code.q, code.k, code.n, rows.data()}, goal, *plan, refusal))
      return failure(StatusCode::out_of_memory, refusal);
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "the information sets of a code of " + bytes_text(code.entries.size()) +
                                                  " cannot be had");
  }
  r.rank = plan->dimension;
  r.plan = plan;
  r.estimate = estimate_search(*plan, -1);
  const double step = r.estimate.items > 0 ? r.estimate.words / r.estimate.items : 1;
  r.step_words = step;
  // A codeword is met no sooner than in the first level, the K messages of
  // weight 1, whatever d the estimate expects.
  r.estimate.words = std::max(r.estimate.words, static_cast<double>(plan->dimension) * step);

  bool complete = options.route == SearchRoute::complete;
  if (options.route == SearchRoute::automatic) {
    // The complete distribution is planned only when it is within the
    // limit and below the search's estimate.
    Options o;
    o.max_work = std::min(options.max_work, r.estimate.reachable ? r.estimate.words : options.max_work);
    Plan p;
    Status s = plan_record(code, o, p);
    if (s && (!r.estimate.reachable || p.summary.cost <= r.estimate.words)) complete = true;
    else if (!s && s.code != StatusCode::too_much_work) return s;
  }
  if (complete) {
    Options o;
    o.max_work = options.max_work;
    o.threads = options.threads;
    o.cancel = options.cancel;
    if (Status s = plan_record(code, o, r.complete_plan); !s) return s;
    r.complete = true;
    // Its witness is sought with the minimum distance alone as the goal.
    if (goal.count_up_to > 0 || !goal.minimum_distance) {
      auto witness_plan = std::make_shared<SearchPlan>();
      try {
        if (!plan_search(MatrixView{code.q, code.k, code.n, rows.data()}, SearchGoal{true, 0}, *witness_plan, refusal))
          return failure(StatusCode::out_of_memory, refusal);
      } catch (const std::bad_alloc&) {
        return failure(StatusCode::out_of_memory, "the information sets of a code of " +
                                                      bytes_text(code.entries.size()) + " cannot be had");
      }
      r.plan = witness_plan;
    }
  }
  if (!r.complete && (!r.estimate.reachable || r.estimate.words > options.max_work))
    return failure(StatusCode::too_much_work,
                   "the search by information sets is estimated at " +
                       std::to_string(static_cast<unsigned long long>(r.estimate.words)) +
                       " words (its expected minimum distance " + std::to_string(r.estimate.distance) +
                       "), above the work limit");
  try {
    begin_search(*r.plan, r.state);
    r.lightest = std::make_shared<std::atomic<std::int64_t>>(-1);
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a search's state cannot be had");
  }
  return Status{};
}

std::uint64_t SearchRun::identity() const {
  const Work& w = *work_;
  Hasher h;
  h.add_value(w.plan->identity);
  h.add_value(w.complete ? w.complete_plan.summary.identity : std::uint64_t{0});
  return h.value();
}

Status SearchRun::Work::level_plan(const SearchLevel& at, Plan& out) const {
  try {
    auto units = std::make_shared<SearchLevelUnits>();
    units->plan = plan;
    units->level = at;
    units->lightest = lightest;
    auto record = std::make_shared<PlannedRecord>();
    record->q = q;
    record->k = k;
    record->n = n;
    record->tally_size = search_tally_size(*plan);
    record->search = units;
    out.record = record;
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "the plan of a search level cannot be had");
  }
  out.summary = PlanSummary{};
  out.summary.rank = rank;
  out.summary.dimension = rank;
  out.summary.units = level_units(*plan, at);
  out.summary.messages = static_cast<double>(at.items);
  out.summary.cost = static_cast<double>(at.items) * step_words;
  Hasher h;
  h.add_value(plan->identity);
  h.add_value(at.index);
  h.add_value(out.summary.units);
  out.summary.identity = h.value();
  return Status{};
}

Status SearchRun::Work::advance(Job& job) {
  std::lock_guard<std::mutex> lock(mutex);
  if (in_level) {
    if (job.plan_identity() != level_identity) return failure(StatusCode::internal_error, "a search level's units of another plan");
    try {
      SearchTally t = empty_search_tally(*plan);
      decode_search_tally(*plan, job.total().counts.data(), t);
      finish_level(*plan, level, t, state);
    } catch (const std::bad_alloc&) {
      return failure(StatusCode::out_of_memory, "a level's tally of " + bytes_text(static_cast<std::uint64_t>(n)) +
                                                    " cannot be had");
    }
    words += static_cast<double>(level.items) * step_words;
    in_level = false;
  }
  if (finished) return Status{};
  if (search_finished(*plan, state) ||
      (known_distance >= 0 && state.total.lightest.weight == known_distance)) {
    finished = true;
    return Status{};
  }
  SearchLevel next;
  switch (next_level(*plan, state, next)) {
    case NextLevel::finished: finished = true; return Status{};
    case NextLevel::beyond_reach:
      return failure(StatusCode::too_much_work, "the next level of the search has more messages than 64 bits number");
    case NextLevel::run: break;
  }
  if (known_distance < 0 && words + static_cast<double>(next.items) * step_words > max_work)
    return failure(StatusCode::too_much_work, "the next level of the search would take the work beyond the limit");
  Plan next_plan;
  if (Status s = level_plan(next, next_plan); !s) return s;
  level = next;
  level_identity = next_plan.summary.identity;
  in_level = true;
  return job.set_plan(std::move(next_plan));
}

bool SearchRun::complete_route() const { return work_->complete; }

const Plan& SearchRun::complete_plan() const { return work_->complete_plan; }

Status SearchRun::seek_witness(const Distribution& distribution) {
  Work& w = *work_;
  std::lock_guard<std::mutex> lock(w.mutex);
  try {
    w.distribution = distribution;
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a copy of the distribution cannot be had");
  }
  w.known_distance = min_distance(distribution);
  // The zero code has no witness to seek.
  if (w.known_distance < 0) w.finished = true;
  return Status{};
}

std::shared_ptr<Job> SearchRun::job(const std::shared_ptr<SearchRun>& run) {
  return std::make_shared<Job>([run](Job& job, Worker&) { return run->work_->advance(job); }, JobSize::large);
}

SearchProgress SearchRun::progress(const Job& job) const {
  const Work& w = *work_;
  SearchProgress p;
  const JobCounts c = job.counts();
  std::lock_guard<std::mutex> lock(w.mutex);
  p.levels_done = w.state.levels;
  p.units_done = c.done;
  p.units_total = c.units;
  distance_bounds(*w.plan, w.state, p.lower_bound, p.upper_bound);
  const std::int64_t seen = w.lightest ? w.lightest->load(std::memory_order_relaxed) : -1;
  if (seen >= 0 && (p.upper_bound < 0 || seen < p.upper_bound)) p.upper_bound = seen;
  return p;
}

Status SearchRun::result(const Job& job, SearchResult& result) const {
  const Work& w = *work_;
  result = SearchResult{};
  result.q = w.q;
  result.n = w.n;
  result.k = w.k;
  result.rank = w.rank;
  std::lock_guard<std::mutex> lock(w.mutex);
  distance_bounds(*w.plan, w.state, result.lower_bound, result.upper_bound);
  result.work = w.words;
  try {
    SearchTally total = w.state.total;
    // A level stopped halfway: the lightest codeword of its units done is a
    // codeword still (its lower bound is not yet the level's).
    if (w.in_level && !w.finished) {
      const UnitProgress p = job.progress();
      if (p.plan_identity == w.level_identity && p.total.counts.size() == search_tally_size(*w.plan)) {
        SearchTally t = empty_search_tally(*w.plan);
        decode_search_tally(*w.plan, p.total.counts.data(), t);
        t.counts.assign(t.counts.size(), 0);
        add_search_tally(total, t);
      }
    }
    if (total.lightest.weight >= 0) {
      result.witness = total.lightest.word;
      if (result.upper_bound < 0 || total.lightest.weight < result.upper_bound) result.upper_bound = total.lightest.weight;
    }
    if (w.complete) {
      // The distribution proves d and the counts; the search only found the witness.
      const Distribution& d = w.distribution;
      result.method = d.method == Method::dual ? SearchMethod::dual : SearchMethod::direct;
      result.distribution = d;
      result.complete = true;
      result.min_distance = min_distance(d);
      result.lower_bound = result.upper_bound = result.min_distance;
      result.work = w.complete_plan.summary.cost;
      if (!result.witness.empty() && total.lightest.weight != result.min_distance) result.witness.clear();
      if (w.weights_up_to > 0) {
        result.counts.assign(static_cast<std::size_t>(w.weights_up_to) + 1, 0);
        for (std::size_t x = 0; x < result.counts.size() && x < d.counts.size(); ++x) result.counts[x] = d.counts[x];
      }
      return Status{};
    }
    result.complete = w.finished;
    if (w.finished) {
      if (w.plan->goal.minimum_distance || result.lower_bound == result.upper_bound)
        result.min_distance = result.lower_bound == result.upper_bound ? result.upper_bound : -1;
      if (w.plan->goal.count_up_to > 0) {
        result.counts.resize(static_cast<std::size_t>(w.plan->goal.count_up_to) + 1);
        for (std::size_t x = 0; x < result.counts.size(); ++x)
          result.counts[x] = x < total.counts.size() ? static_cast<unsigned long>(total.counts[x]) : 0UL;
        // Counts fill the minimum distance when they meet a codeword.
        for (std::size_t x = 1; x < result.counts.size() && result.min_distance < 0; ++x)
          if (result.counts[x] != 0) result.min_distance = static_cast<std::int64_t>(x);
      }
    }
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a result of " + bytes_text(static_cast<std::uint64_t>(w.n)) +
                                                  " cannot be had");
  }
  return Status{};
}

bool SearchRun::current_level(std::uint64_t plan_identity, std::uint32_t& level, std::int64_t& lightest) const {
  const Work& w = *work_;
  std::lock_guard<std::mutex> lock(w.mutex);
  if (!w.in_level || w.finished || w.level_identity != plan_identity) return false;
  level = w.level.index;
  lightest = w.lightest->load(std::memory_order_relaxed);
  return true;
}

Status SearchRun::plan_of_level(std::uint32_t level, Plan& plan) const {
  const Work& w = *work_;
  // The order of the levels depends on the weights walked per set alone
  // (as a resume replays it): nothing met in them changes it.
  SearchLevel at;
  try {
    SearchState replay;
    begin_search(*w.plan, replay);
    for (std::uint32_t l = 0; l <= level; ++l) {
      if (next_level(*w.plan, replay, at) != NextLevel::run)
        return failure(StatusCode::invalid_code, "the search has no level " + std::to_string(level));
      replay.done[static_cast<std::size_t>(at.set)] = at.weight;
      ++replay.levels;
    }
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a search's state cannot be had");
  }
  return w.level_plan(at, plan);
}

void SearchRun::learn_lightest(std::int64_t weight) {
  if (weight < 0) return;
  std::atomic<std::int64_t>& lightest = *work_->lightest;
  std::int64_t known = lightest.load(std::memory_order_relaxed);
  while ((known < 0 || weight < known) && !lightest.compare_exchange_weak(known, weight, std::memory_order_relaxed)) {
  }
}

SearchRun::Saved SearchRun::save(const Job& job) const {
  const Work& w = *work_;
  Saved saved;
  UnitProgress level = job.progress();
  std::lock_guard<std::mutex> lock(w.mutex);
  saved.done = w.state.done;
  saved.levels = w.state.levels;
  saved.total.counts.assign(static_cast<std::size_t>(search_tally_size(*w.plan)), 0);
  encode_search_tally(*w.plan, w.state.total, saved.total.counts.data());
  // A level none of whose units are done is saved as none: its tally is
  // empty, and the resumed search plans the level again.
  if (w.in_level && level.plan_identity == w.level_identity && !level.done.empty()) saved.level = std::move(level);
  return saved;
}

Status SearchRun::resume(const std::shared_ptr<SearchRun>& run, const Saved& saved, std::shared_ptr<Job>& job) {
  Work& w = *run->work_;
  const auto does_not_fit = [](const std::string& why) {
    return failure(StatusCode::invalid_code, "the saved search does not fit this code: " + why);
  };
  Plan level_plan;
  {
    std::lock_guard<std::mutex> lock(w.mutex);
    if (saved.done.size() != w.state.done.size()) return does_not_fit("another number of information sets");
    for (std::size_t i = 0; i < saved.done.size(); ++i)
      if (saved.done[i] < 0 || saved.done[i] > w.plan->dimension) return does_not_fit("a weight beyond the dimension");
    if (saved.total.counts.size() != search_tally_size(*w.plan)) return does_not_fit("a tally of another size");
    // The levels run in a fixed order: replaying the saved number of them
    // must give the saved weights per set.
    SearchState replay;
    try {
      begin_search(*w.plan, replay);
      for (std::uint32_t l = 0; l < saved.levels; ++l) {
        SearchLevel at;
        if (next_level(*w.plan, replay, at) != NextLevel::run) return does_not_fit("more levels than the search has");
        replay.done[static_cast<std::size_t>(at.set)] = at.weight;
        ++replay.levels;
      }
      if (replay.done != saved.done) return does_not_fit("weights per set that its order does not give");
      w.state.done = saved.done;
      w.state.levels = saved.levels;
      decode_search_tally(*w.plan, saved.total.counts.data(), w.state.total);
    } catch (const std::bad_alloc&) {
      return failure(StatusCode::out_of_memory, "a search's state cannot be had");
    }
    if (w.state.total.lightest.weight >= 0) w.lightest->store(w.state.total.lightest.weight);
    if (saved.level.done.empty()) {
      job = SearchRun::job(run);
      return Status{};
    }
    SearchLevel next;
    if (next_level(*w.plan, w.state, next) != NextLevel::run) return does_not_fit("units of a level that does not follow");
    if (Status s = w.level_plan(next, level_plan); !s) return s;
    w.level = next;
    w.level_identity = level_plan.summary.identity;
    w.in_level = true;
  }
  try {
    job = std::make_shared<Job>(std::move(level_plan), [run](Job& j, Worker&) { return run->work_->advance(j); });
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a search's job cannot be had");
  }
  return job->restore(saved.level);
}

UnitProgress SearchRun::save_as_progress(const Job& job) const {
  Saved saved = save(job);
  UnitProgress p;
  p.plan_identity = identity();
  p.units = saved.level.units;
  p.done = std::move(saved.level.done);
  p.busy_seconds = saved.level.busy_seconds;
  // [level plan identity, levels, sets, done per set, state tally, level tally]
  std::vector<std::uint64_t>& c = p.total.counts;
  c.push_back(saved.level.plan_identity);
  c.push_back(saved.levels);
  c.push_back(saved.done.size());
  for (const int d : saved.done) c.push_back(static_cast<std::uint64_t>(d));
  c.insert(c.end(), saved.total.counts.begin(), saved.total.counts.end());
  c.insert(c.end(), saved.level.total.counts.begin(), saved.level.total.counts.end());
  return p;
}

Status SearchRun::resume_from_progress(const std::shared_ptr<SearchRun>& run, const UnitProgress& saved,
                                       std::shared_ptr<Job>& job) {
  const auto does_not_fit = [](const std::string& why) {
    return failure(StatusCode::invalid_code, "the saved search does not fit this code: " + why);
  };
  if (saved.plan_identity != run->identity()) return does_not_fit("it names another search");
  const std::vector<std::uint64_t>& c = saved.total.counts;
  const std::uint64_t size = search_tally_size(*run->work_->plan);
  if (c.size() < 3 || c[2] > c.size() - 3) return does_not_fit("its state is cut short");
  const std::uint64_t sets = c[2];
  const std::uint64_t at = 3 + sets;
  // The level's tally follows when units of it are done. (A level none of
  // whose units were done may come with its tally too: it is left out.)
  const bool in_level = !saved.done.empty();
  if (c.size() != at + size + (in_level ? size : 0) && (in_level || c.size() != at + 2 * size))
    return does_not_fit("its state is of another size");
  Saved s;
  s.levels = static_cast<std::uint32_t>(c[1]);
  for (std::uint64_t i = 0; i < sets; ++i) s.done.push_back(static_cast<int>(std::min<std::uint64_t>(c[3 + i], 1U << 30)));
  s.total.counts.assign(c.begin() + static_cast<std::ptrdiff_t>(at), c.begin() + static_cast<std::ptrdiff_t>(at + size));
  if (in_level) {
    s.level.plan_identity = c[0];
    s.level.units = saved.units;
    s.level.done = saved.done;
    s.level.busy_seconds = saved.busy_seconds;
    s.level.total.counts.assign(c.begin() + static_cast<std::ptrdiff_t>(at + size), c.end());
  }
  return resume(run, s, job);
}

// ---- The library call

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kLookEvery = std::chrono::milliseconds(100);

bool cancelled(const SearchOptions& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

// Runs `job` on `executor` until it finishes or is cancelled; the
// search's progress on the way when `run` is given.
Status run_job(Executor& executor, const std::shared_ptr<Job>& job, const SearchOptions& options,
               const SearchRun* run, SteadyClock::time_point start) {
  executor.add(job);
  while (!executor.compute_until(*job, kLookEvery)) {
    if (cancelled(options)) {
      executor.cancel();
      return Status{StatusCode::cancelled, "cancelled"};
    }
    if (options.progress && run != nullptr) {
      SearchProgress p = run->progress(*job);
      p.elapsed_seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
      options.progress(p);
    }
  }
  return job->status();
}

}  // namespace

Status minimum_distance(const Code& code, const SearchOptions& options, SearchResult& result) {
  result = SearchResult{};
  std::shared_ptr<SearchRun> run;
  if (Status s = SearchRun::plan(code, options, run); !s) return s;
  if (cancelled(options)) return Status{StatusCode::cancelled, "cancelled"};
  const auto start = SteadyClock::now();
  try {
    ThreadsMissing missing;
    Executor executor(std::max(1U, thread_count(options.threads)), missing);
    if (missing.count > 0)
      return Status{StatusCode::out_of_memory, "a thread cannot be started (it needs a stack of " +
                                                   bytes_text(thread_stack_bytes()) + "): " + missing.reason};
    if (run->complete_route()) {
      auto job = std::make_shared<Job>(run->complete_plan());
      if (Status s = run_job(executor, job, options, nullptr, start); !s) return s;
      if (Status s = run->seek_witness(job->take_result()); !s) return s;
    }
    const std::shared_ptr<Job> job = SearchRun::job(run);
    Status s = run_job(executor, job, options, run.get(), start);
    // A stop keeps what is proven: the bounds and the lightest codeword met.
    if (Status r = run->result(*job, result); !r) return r;
    if (options.progress) {
      SearchProgress p = run->progress(*job);
      p.elapsed_seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
      options.progress(p);
    }
    return s;
  } catch (const std::bad_alloc&) {
    return Status{StatusCode::out_of_memory, "the bookkeeping of a search cannot be had"};
  }
}

}  // namespace wdist
