#include "cli/search_mode.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>

#include "cli/items.h"
#include "cli/progress.h"
#include "cli/run_checkpoint.h"
#include "cli/signals.h"

namespace wdist::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;

void append_bound(std::string& out, std::int64_t v) { out += v < 0 ? "null" : std::to_string(v); }

std::string witness_json(const SearchResult& r) {
  if (r.witness.empty()) return "null";
  std::string out = "[";
  for (std::size_t j = 0; j < r.witness.size(); ++j) {
    if (j > 0) out += ", ";
    out += std::to_string(r.witness[j]);
  }
  return out + "]";
}

std::string witness_text(const SearchResult& r) {
  std::string out;
  for (const ElemCode e : r.witness) out += static_cast<char>('0' + e);
  return out;
}

// "stopped at the time limit", ...: the text of a stop's Status.
std::string stop_reason(const Status& s, bool timed_out, int signal) {
  if (signal != 0) return "stopped by signal " + std::to_string(signal);
  if (timed_out) return "stopped at the time limit";
  if (s.code == StatusCode::too_much_work) return "stopped at the work limit: " + s.message;
  return "stopped";
}

}  // namespace

std::string search_output(Format format, const RecordOrigin& origin, const SearchResult& r, int weights_up_to,
                          const std::string& stopped) {
  const bool exact = stopped.empty() && r.complete;
  std::string out;
  if (format == Format::json) {
    out += "{\"file\": ";
    append_json_name(out, origin.file);
    out += ", \"record\": " + std::to_string(origin.number) + ", \"q\": " + std::to_string(r.q) +
           ", \"n\": " + std::to_string(r.n) + ", \"k\": " + std::to_string(r.k) + ", \"rank\": " + std::to_string(r.rank);
    out += ", \"min_distance\": ";
    append_bound(out, exact ? r.min_distance : -1);
    out += R"(, "method": ")";
    out += search_method_name(r.method);
    out += R"(", "projective": false)";
    if (!exact) {
      out += ", \"lower_bound\": ";
      append_bound(out, r.lower_bound);
      out += ", \"upper_bound\": ";
      append_bound(out, r.upper_bound);
    }
    out += ", \"witness\": " + witness_json(r);
    if (weights_up_to > 0 && exact) {
      out += ", \"distribution\": [";
      bool first = true;
      for (std::size_t w = 0; w < r.counts.size(); ++w) {
        if (r.counts[w] == 0) continue;
        out += first ? "[" : ", [";
        first = false;
        out += std::to_string(w) + ", " + r.counts[w].get_str() + "]";
      }
      out += "]";
    }
    out += "}\n";
    return out;
  }
  out += origin.file + " record " + std::to_string(origin.number) + ": q=" + std::to_string(r.q) +
         " n=" + std::to_string(r.n) + " k=" + std::to_string(r.k) + " rank=" + std::to_string(r.rank);
  if (exact) {
    out += r.min_distance < 0 ? " d=-" : " d=" + std::to_string(r.min_distance);
  } else {
    out += " " + std::to_string(r.lower_bound) + " <= d";
    if (r.upper_bound >= 0) out += " <= " + std::to_string(r.upper_bound);
  }
  out += " (";
  out += search_method_name(r.method);
  if (!exact) out += "; " + (stopped.empty() ? std::string("stopped") : stopped);
  out += ")\n";
  if (!r.witness.empty()) out += "  witness " + witness_text(r) + "\n";
  if (weights_up_to > 0 && exact)
    for (std::size_t w = 0; w < r.counts.size(); ++w)
      if (r.counts[w] != 0) out += "  " + std::to_string(w) + " " + r.counts[w].get_str() + "\n";
  out += "\n";
  return out;
}

SearchOptions search_options(const Settings& s) {
  SearchOptions o;
  o.minimum_distance = s.min_distance;
  o.weights_up_to = s.weights_up_to;
  o.threads = s.threads;
  o.max_work = s.max_work;
  return o;
}

int run_search(const Settings& s, const SearchHelpers& helpers) {
  block_stop_signals();
  ThreadsMissing missing;
  Executor executor(thread_count(s.threads), missing);
  take_stop_signals();
  if (missing.count > 0)
    std::fprintf(stderr, "wdist: %u threads could not be started: %s\n", missing.count, missing.reason.c_str());
  // What the other processes of an MPI job are dealt from.
  SearchInFlight now;
  if (helpers.serve)
    executor.set_owner_poll([&executor, &now, serve = helpers.serve] { serve(executor, now); }, helpers.every);
  ProgressLine progress(!s.quiet && (s.progress || isatty(STDERR_FILENO) != 0));
  const auto start = SteadyClock::now();
  const auto deadline = start + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(s.time_limit));
  // With --checkpoint: the records finished are in its output (written
  // again here), and the record in progress keeps its search's state.
  RunCheckpoint checkpoint(s);
  if (checkpoint.enabled() && !checkpoint.open()) return 2;
  const auto emit = [&](char stream, const std::string& text) {
    if (stream == 'e') {
      std::fflush(stdout);
      progress.clear();
    }
    std::fwrite(text.data(), 1, text.size(), stream == 'e' ? stderr : stdout);
    if (Spool* spool = checkpoint.spool(); spool != nullptr) spool->append(stream, text);
  };
  InputItems items(s.files, s.format, false, [] { std::fflush(stdout); });
  bool failed = checkpoint.failed_before(), stopped_any = false, run_stopped = false;
  bool checkpoint_written = false;  // the last time it was due
  std::uint64_t finished_items = checkpoint.items_resumed();
  Item item;
  while (items.next(item)) {
    if (item.index < checkpoint.items_resumed()) continue;  // written again already
    finished_items = item.index;
    if (!item.message.empty()) {
      emit('e', "wdist: " + item.origin.file + ": " + item.message + "\n");
      failed = true;
      continue;
    }
    const SearchOptions o = search_options(s);
    const std::string what = item.origin.file + " record " + std::to_string(item.origin.number);
    std::shared_ptr<SearchRun> run;
    Status st = SearchRun::plan(item.code, o, run);
    if (!st) {
      emit('e', "wdist: " + item.origin.file + ": record " + std::to_string(item.origin.number) + ": " + st.message + "\n");
      failed = true;
      continue;
    }
    item.code = Code{};
    std::shared_ptr<Job> resumed;
    if (checkpoint.has_units_of(item.index) && !run->complete_route()) {
      const Status r = SearchRun::resume_from_progress(run, checkpoint.take_units_of(item.index), resumed);
      if (!r) {
        progress.clear();
        std::fprintf(stderr, "wdist: checkpoint %s refused: %s\n", s.checkpoint.c_str(), r.message.c_str());
        checkpoint.abandon();
        return 2;
      }
    }
    bool timed_out = false;
    int signal = 0;
    const auto record_start = SteadyClock::now();
    // Runs a job to its end or to a stop; false at a stop.
    const auto compute = [&](const std::shared_ptr<Job>& job, bool searching) {
      now = SearchInFlight{item.index, job, run, searching};
      executor.add(job);
      while (!executor.compute_until(*job, std::chrono::milliseconds(100))) {
        signal = stop_signal();
        timed_out = s.time_limit > 0 && SteadyClock::now() >= deadline;
        if (checkpoint.enabled() && (signal != 0 || timed_out || checkpoint.due())) {
          std::vector<RecordInProgress> in_flight;
          if (searching) in_flight.push_back(RecordInProgress{item.index, run->save_as_progress(*job)});
          std::string error;
          checkpoint_written = checkpoint.write(finished_items, failed, std::move(in_flight), error);
          if (!checkpoint_written) {
            progress.clear();
            std::fprintf(stderr, "wdist: writing checkpoint %s failed: %s\n", s.checkpoint.c_str(), error.c_str());
          }
        }
        if (signal != 0 || timed_out) {
          executor.cancel();
          return false;
        }
        const double elapsed = std::chrono::duration<double>(SteadyClock::now() - record_start).count();
        if (!searching) {
          const JobCounts c = job->counts();
          progress.show(what, c.done, c.units, c.restored, elapsed);
          continue;
        }
        const SearchProgress p = run->progress(*job);
        std::string bounds = what + ": " + std::to_string(p.lower_bound) + " <= d";
        if (p.upper_bound >= 0) bounds += " <= " + std::to_string(p.upper_bound);
        bounds += ", level " + std::to_string(p.levels_done + 1);
        progress.show(bounds, p.units_done, p.units_total, 0, elapsed);
      }
      return true;
    };
    SearchResult result;
    std::string stopped;
    std::shared_ptr<Job> job;
    if (run->complete_route()) {
      auto whole = std::make_shared<Job>(run->complete_plan());
      if (!compute(whole, false)) {
        // Nothing proven yet by a distribution stopped halfway.
        progress.clear();
        std::fprintf(stderr, "wdist: %s: record %d: %s before its distribution was complete\n",
                     item.origin.file.c_str(), item.origin.number, stop_reason(Status{}, timed_out, signal).c_str());
        stopped_any = run_stopped = true;
        break;
      }
      if (!whole->status()) st = whole->status();
      else st = run->seek_witness(whole->take_result());
    }
    if (st) {
      job = resumed ? resumed : SearchRun::job(run);
      const bool ran = compute(job, true);
      st = ran ? job->status() : Status{StatusCode::cancelled, "cancelled"};
      if (Status r = run->result(*job, result); !r) st = r;
      else if (!st && (st.code == StatusCode::cancelled || st.code == StatusCode::too_much_work))
        stopped = stop_reason(st, timed_out, signal);
    }
    now = SearchInFlight{};
    progress.clear();
    if (!st && stopped.empty()) {
      emit('e', "wdist: " + item.origin.file + ": record " + std::to_string(item.origin.number) + ": " + st.message + "\n");
      failed = true;
      continue;
    }
    emit('o', search_output(s.format, item.origin, result, s.weights_up_to, stopped));
    std::fflush(stdout);
    if (!stopped.empty()) {
      stopped_any = true;
      run_stopped = timed_out || signal != 0;
      if (run_stopped) break;  // the run itself ends here
    }
  }
  progress.clear();
  // A run stopped with a checkpoint says whether it resumes (the bounds
  // written above are the stop's, not kept in it: a resumed run goes on).
  if (run_stopped && checkpoint.enabled())
    std::fprintf(stderr, "wdist: %s\n", checkpoint.resume_note(checkpoint_written).c_str());
  // A run stopped by its time limit or a signal keeps its checkpoint
  // (written above) for a run that goes on; a complete run's goes.
  if (checkpoint.enabled()) {
    if (run_stopped) checkpoint.abandon();
    else checkpoint.close();
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "wdist: writing the output failed\n");
    return 1;
  }
  if (failed) return 1;
  return stopped_any ? kStoppedStatus : 0;
}

}  // namespace wdist::cli
