// One run shared by the processes of an MPI job (the program built with
// WDIST_MPI and started by an MPI launcher). Rank 0 runs the program as a
// single process would: it reads the inputs, keeps the window of records in
// flight, finishes every record and writes everything. The other ranks read
// the same inputs themselves, so that an item's index names the same record
// everywhere, and ask rank 0 for work: a few small records whole, or a
// range of a large record's units, which they plan from their own copy of
// the record (the plan's identity checked against rank 0's), compute on
// their own threads and send back, as output text or as an exact tally.
// A search (--min-distance, --weights-up-to) is dealt the same way, one
// record at a time: ranges of units of the level being walked, named by
// the level's number, which each rank turns into the level's plan from its
// own search of the record (the levels run in a fixed order), with the
// weight of the lightest codeword met so far so that its walks drop as
// much as rank 0's.
// Work goes out in chunks as it is asked for, never in fixed shares, so a
// slower node holds the job back by one chunk at most.
//
// Every MPI call of a process is made by its main thread (the executor's
// owner, between its units: MPI_THREAD_FUNNELED). A rank that dies ends
// the job through the MPI runtime; no rank waits on another without
// that runtime watching.
#pragma once

#include <memory>

#include "cli/run.h"
#include "cli/search_mode.h"
#include "cli/settings.h"

namespace wdist::cli {

// Compiled with WDIST_MPI alone (cluster.cpp).
class Cluster {
 public:
  // Joins the MPI job when an MPI launcher started the program; otherwise
  // MPI is not touched and the program runs alone, as it does without
  // WDIST_MPI.
  Cluster(int& argc, char**& argv);
  ~Cluster();  // leaves the MPI job
  Cluster(const Cluster&) = delete;
  Cluster& operator=(const Cluster&) = delete;
  Cluster(Cluster&&) = delete;
  Cluster& operator=(Cluster&&) = delete;

  [[nodiscard]] int rank() const { return rank_; }
  // No other process takes part: a job of one rank, or no MPI job.
  [[nodiscard]] bool alone() const { return size_ <= 1; }

  // Rank 0, with the command line read: the other ranks, for the run (run.h).
  // They take part when every input is a named regular file (standard
  // input and pipes reach rank 0 alone); otherwise they are told to stop
  // and rank 0 computes everything.
  Helpers start_dealing(const Settings& s);
  // The same for a search's run (search_mode.h): the other ranks take units
  // of the record being searched, a level's or its complete distribution's.
  SearchHelpers start_dealing_search(const Settings& s);
  // Rank 0, the run over: the others stop; what they still send is taken
  // in and dropped.
  void stop_dealing();
  // Every other rank: computes what rank 0 deals until it says stop. The
  // exit status (0; a rank that cannot go on ends the whole job).
  [[nodiscard]] int serve(const Settings& s) const;
  // Ends every process of the job with `status`, this one's message
  // already written.
  [[noreturn]] void abort(int status) const;

  struct Dealer;  // rank 0's bookkeeping of what the others hold

 private:
  // Rank 0: whether the others take part; if so, the dealer that serves them.
  bool join_helpers(const Settings& s);

  bool joined_ = false;  // MPI_Init was called
  int rank_ = 0;
  int size_ = 1;
  std::shared_ptr<Dealer> dealer_;
};

}  // namespace wdist::cli
