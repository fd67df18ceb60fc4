// wdist: weight distributions of the code records in files, for scripts.
//
//   wdist [OPTIONS] [FILE...]
//
// Reads the records of each FILE in turn (standard input when there is
// none, or for "-"), computes them on every core, several at once, and
// writes the results to standard output in input order. Exit status: 0 when
// every record was computed, 1 when any was refused or an input could not
// be read, 2 for a usage error or a checkpoint that cannot be used
// (reported before anything is computed).
//
// With --checkpoint FILE the run keeps FILE up to date (checkpoint.h): the
// output of the items finished so far and the units done of the records
// in progress. Started again with FILE in place, the run writes that
// output again and carries on where it stopped; its output is then byte
// for byte that of a run never stopped. FILE is removed when the run
// completes. SIGINT or SIGTERM then write the checkpoint before the run
// ends (exit status 128 + the signal; a search's run writes its bounds
// and exits with 3 instead, search_mode.h). A FILE is one run's at a time: a
// second run is refused (exit status 2) before it touches anything.
#include <cstdio>
#include <exception>
#include <utility>

#include "cli/run.h"
#include "cli/search_mode.h"
#include "cli/settings.h"
#include "cli/signals.h"
#ifdef WDIST_MPI
#include "cli/cluster.h"
#endif

namespace {

// The run in this process: alone, or as rank 0 of an MPI job with the other
// ranks as `helpers`.
int run_here(const wdist::cli::Settings& settings, wdist::cli::Helpers helpers) {
  using namespace wdist::cli;
  if (settings.checkpoint.empty()) {
    Run run(settings, std::move(helpers));
    return run.run();
  }
  // The workers start with the stop signals blocked (they inherit this
  // thread's mask), so that the main thread alone takes them.
  block_stop_signals();
  Run run(settings, std::move(helpers));
  take_stop_signals();
  return run.run();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef WDIST_MPI
  wdist::cli::Cluster cluster(argc, argv);
  const bool speak = cluster.rank() == 0;  // the other ranks' messages would repeat rank 0's
#else
  const bool speak = true;
#endif
  try {
    wdist::cli::Settings settings;
    int status = 0;
    if (!wdist::cli::parse_command_line(argc, argv, speak, settings, status)) return status;
#ifdef WDIST_MPI
    if (!cluster.alone()) {
      if (cluster.rank() != 0) return cluster.serve(settings);
      // A search takes SIGINT and SIGTERM as stops that report its bounds.
      if (wdist::cli::searches(settings)) {
        status = wdist::cli::run_search(settings, cluster.start_dealing_search(settings));
        cluster.stop_dealing();
        return status;
      }
      if (settings.checkpoint.empty()) wdist::cli::say_why_the_job_ends();
      status = run_here(settings, cluster.start_dealing(settings));
      cluster.stop_dealing();
      return status;
    }
#endif
    if (wdist::cli::searches(settings)) return wdist::cli::run_search(settings);
    return run_here(settings, {});
  } catch (const std::exception& e) {
    // Only the program's own small bookkeeping can throw here (the library
    // returns its failures, and a record's own memory is its refusal): out
    // of memory for a message or a place in the window, say.
    std::fprintf(stderr, "wdist: %s\n", e.what());
#ifdef WDIST_MPI
    if (!cluster.alone()) cluster.abort(1);  // the other ranks would wait for rank 0
#endif
    return 1;
  }
}
