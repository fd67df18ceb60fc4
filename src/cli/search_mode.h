// The run of the wdist program with --min-distance or --weights-up-to: the
// records of the inputs one after another, each searched on every thread
// (wdist/search.h), its result written before the next is read. A record
// is large or the question is cheap: records are not computed side by
// side here. As rank 0 of an MPI job it deals units of the record's levels
// to the other ranks (SearchHelpers): the results are the same, byte for
// byte.
//
// Exit status: 0 when every record was answered exactly, 1 when a record
// was refused or an input could not be read, 3 when the run or a record
// was stopped before its end (--time-limit, SIGINT or SIGTERM, the work
// limit reached while it ran): that record's output then gives the bounds
// proven, and a stop of the run leaves the records after it unread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/settings.h"
#include "wdist/search.h"

namespace wdist::cli {

// The exit status of a run stopped before its end, with the bounds proven.
inline constexpr int kStoppedStatus = 3;

// The options a record's search is planned with: the same on every rank
// of an MPI job, whose plans must agree.
SearchOptions search_options(const Settings& s);

// The record being searched, as other processes see it (an MPI job,
// cluster.h): its item's index, the job computing now (its complete
// distribution's, or the search's when `searching`) and its search.
struct SearchInFlight {
  std::uint64_t item = 0;
  std::shared_ptr<Job> job;  // null between records
  std::shared_ptr<const SearchRun> run;
  bool searching = false;
};

// Other processes that take units of the records' jobs.
struct SearchHelpers {
  // Deals them units of `now` and takes in what they send: called on the
  // executor's owner thread (its poll) at least every `every`.
  std::function<void(Executor& executor, const SearchInFlight& now)> serve;
  std::chrono::microseconds every{0};
};

// The run, alone or as rank 0 of an MPI job with the other ranks as `helpers`.
int run_search(const Settings& s, const SearchHelpers& helpers = {});

// A record's result as text or as one JSON line (search_mode.cpp: the
// keys). `stopped` names why a search ended before its goal (empty: it
// did not).
std::string search_output(Format format, const RecordOrigin& origin, const SearchResult& r, int weights_up_to,
                          const std::string& stopped);

}  // namespace wdist::cli
