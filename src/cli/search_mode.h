// The run of the wdist program with --min-distance or --weights-up-to: the
// records of the inputs one after another, each searched on every thread
// (wdist/search.h), its result written before the next is read. A record
// is large or the question is cheap: records are not computed side by
// side here.
//
// Exit status: 0 when every record was answered exactly, 1 when a record
// was refused or an input could not be read, 3 when the run or a record
// was stopped before its end (--time-limit, SIGINT or SIGTERM, the work
// limit reached while it ran): that record's output then gives the bounds
// proven, and a stop of the run leaves the records after it unread.
#pragma once

#include <string>

#include "cli/settings.h"
#include "wdist/search.h"

namespace wdist::cli {

// The exit status of a run stopped before its end, with the bounds proven.
inline constexpr int kStoppedStatus = 3;

int run_search(const Settings& s);

// A record's result as text or as one JSON line (search_mode.cpp: the
// keys). `stopped` names why a search ended before its goal (empty: it
// did not).
std::string search_output(Format format, const RecordOrigin& origin, const SearchResult& r, int weights_up_to,
                          const std::string& stopped);

}  // namespace wdist::cli
