// Checkpoints of a run over many records: enough to start the run again
// where it stopped, with the same result as if it had never stopped.
//
// A checkpoint holds the identity of the run (its inputs and options, as
// the caller hashes them), the output of the records already finished (an
// opaque byte stream the caller writes again on resuming), and for each
// record in progress the units done and their tally (wdist::UnitProgress),
// which add up exactly with those of the units still to come. Only one
// process writes it (in a cluster, the one that merged every rank's
// finished units). Its bytes are the program's byte format
// (byte_format.h); the checksum is the library's hash (wdist/hash.h).
//
// A checkpoint is replaced atomically: written whole to FILE.tmp in the
// same directory, flushed and synced, renamed over FILE, and the directory
// synced. A kill at any moment leaves either the old checkpoint or the new
// one. A file that is truncated, altered, or not a checkpoint at all is
// refused (its checksum or its structure says so), never half used.
//
// A checkpoint belongs to one run at a time (CheckpointHold): a run takes
// it before it creates, truncates or removes anything of it, and a second
// run is refused without touching a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "wdist/executor.h"

namespace wdist::cli {

// A record in progress: its place among the items of the run (from 0)
// and its units done.
struct RecordInProgress {
  std::uint64_t item = 0;
  UnitProgress progress;
};

struct CheckpointState {
  std::uint64_t run_identity = 0;     // inputs and options
  std::uint64_t items_finished = 0;   // items 0 .. items_finished - 1 are in the output
  bool failed = false;                // any of them failed (the run's exit status)
  std::vector<RecordInProgress> records;  // items after them with units done
  // Where the output of those items lies in the file read (read_checkpoint
  // leaves it there for read_checkpoint_output).
  std::uint64_t output_at = 0;
  std::uint64_t output_bytes = 0;
};

// Writes `state` and the first `output_bytes` bytes of the file open as
// `output` (read with pread, the stream's own position untouched; flush it
// first) to `path`, atomically. False with `error` set when any step
// fails; `path` is then as it was.
bool write_checkpoint(const std::string& path, const CheckpointState& state, std::FILE* output,
                      std::uint64_t output_bytes, std::string& error);

enum class CheckpointRead {
  absent,   // there is no file at `path`: a run from the start
  ok,       // `state` holds it; its output went to `output`
  refused,  // unreadable, truncated, corrupt or not a checkpoint: `error` says which
};

// Pieces of a checkpoint's output, in order; false stops the reading.
using OutputSink = std::function<bool(const char* bytes, std::size_t size)>;

// Reads the checkpoint at `path`, checksum first, then its parts, and
// writes nothing anywhere: its output is handed to `check_output` (may be
// empty), which may judge it but keeps nothing. Whether it belongs to this
// run is for the caller to judge from run_identity.
CheckpointRead read_checkpoint(const std::string& path, CheckpointState& state, const OutputSink& check_output,
                               std::string& error);

// The output bytes of the checkpoint at `path`, read into `state` by
// read_checkpoint, handed to `sink`. False with `error` set when reading
// fails, the file is no longer the one read, or `sink` says so.
bool read_checkpoint_output(const std::string& path, const CheckpointState& state, const OutputSink& sink,
                            std::string& error);

// A run's hold on its checkpoint FILE: an advisory lock (flock) on
// FILE.spool, the run's working copy of its output, opened without
// truncating anything (created when absent). The spool is the one file of
// a checkpoint that keeps its place while the run lasts (FILE is replaced
// by every write, and may not exist yet). flock rather than fcntl's record
// locks: a flock belongs to the open file, so no other descriptor of the
// same file that the process opens and closes (the spool's stream, say)
// lets it go, while fcntl's lock would end at the first such close. (Where
// flock is itself a record lock, on NFS, it still holds: the run closes
// no descriptor of the spool before its end.) Either ends with the process
// however that ends: what a killed run leaves behind holds nothing.
class CheckpointHold {
 public:
  enum class Take { held, in_use, failed };

  CheckpointHold() = default;
  ~CheckpointHold() { release(); }
  CheckpointHold(const CheckpointHold&) = delete;
  CheckpointHold& operator=(const CheckpointHold&) = delete;
  CheckpointHold(CheckpointHold&&) = delete;
  CheckpointHold& operator=(CheckpointHold&&) = delete;

  // Takes the hold on the checkpoint at `path`: in_use when another run
  // has it, failed (with `error`, naming the file) when the spool cannot be
  // opened or locked. Nothing that was there is changed.
  Take take(const std::string& path, std::string& error);
  // The spool emptied, as a stream of its own (at its start) for reading
  // and writing; null with `error` set when that fails.
  std::FILE* start_spool(std::string& error);
  // Ends the hold. The spool goes with it, unless it was there before and
  // never started: a run refused before it began leaves what it found.
  void release();
  [[nodiscard]] bool held() const { return fd_ >= 0; }

 private:
  std::string spool_;
  int fd_ = -1;
  bool created_ = false;
  bool started_ = false;
};

}  // namespace wdist::cli
