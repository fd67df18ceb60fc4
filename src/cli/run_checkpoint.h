// A run's checkpoint, as the run keeps it (--checkpoint FILE): taken for
// this run alone (CheckpointHold), read when it is there and its output
// written again, then written again at least every interval (and when a
// stop signal comes) from what the run has finished and what it has in
// flight, and removed when the run completes. The file itself is
// checkpoint.h's; the output's copy is the spool (spool.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/checkpoint.h"
#include "cli/settings.h"
#include "cli/spool.h"

namespace wdist::cli {

// The identity of a run for its checkpoint: everything that shapes its
// output (the program's version, the options, each input's name and
// bytes) and nothing that does not (threads, progress, the interval).
std::uint64_t run_identity(const Settings& s);

class RunCheckpoint {
 public:
  // A run's checkpoint at `s.checkpoint` (none when that is empty).
  explicit RunCheckpoint(const Settings& s) : s_(s) {}

  [[nodiscard]] bool enabled() const { return !s_.checkpoint.empty(); }
  // Takes the checkpoint for this run, reads it when there is one and
  // writes its output again. False (exit status 2, the message written)
  // when it cannot be used; nothing of it is changed then.
  bool open();
  // The spool, once opened (null without a checkpoint).
  [[nodiscard]] Spool* spool() const { return spool_.get(); }

  // What the checkpoint resumed from holds: the items written before this
  // run (neither computed nor written again), whether any of them failed,
  // and the records then in progress, each taken once when the run meets
  // it again.
  [[nodiscard]] std::uint64_t items_resumed() const { return items_resumed_; }
  [[nodiscard]] bool failed_before() const { return failed_before_; }
  [[nodiscard]] bool has_units_of(std::uint64_t item) const { return restored_.contains(item); }
  UnitProgress take_units_of(std::uint64_t item);

  // Whether the interval has passed since the last write (or open).
  [[nodiscard]] bool due() const;
  // Writes the checkpoint: the items finished so far (`items_finished`,
  // `failed`: the spool holds their output) and the records in flight with
  // units done; the records resumed from that the run has not met again are
  // kept as they were. True when it is written; otherwise `error` says
  // why.
  bool write(std::uint64_t items_finished, bool failed, std::vector<RecordInProgress> in_flight, std::string& error);
  // What a run that stops before its end leaves to resume it: the
  // checkpoint just `written`, or one written before, or none.
  [[nodiscard]] std::string resume_note(bool written) const;
  // The run stops here (a signal): the spool has served, and the hold ends.
  void abandon();
  // The run is complete: its checkpoint has served, and goes.
  void close();

 private:
  bool refuse(const std::string& why);
  // Writes the output of the checkpoint read into the spool and to the
  // streams; false (the message written) when it cannot.
  bool resume(const CheckpointState& state);

  const Settings& s_;
  CheckpointHold hold_;  // the lock, held until the run ends
  std::uint64_t identity_ = 0;
  std::unique_ptr<Spool> spool_;
  std::uint64_t items_resumed_ = 0;
  bool failed_before_ = false;
  std::map<std::uint64_t, UnitProgress> restored_;  // by item
  bool in_place_ = false;  // one of this run's is at FILE (resumed from or written)
  std::chrono::steady_clock::time_point last_write_;
};

}  // namespace wdist::cli
