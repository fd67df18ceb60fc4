#include "cli/run_checkpoint.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/byte_format.h"
#include "wdist/hash.h"
#include "wdist/version.h"

namespace wdist::cli {

std::uint64_t run_identity(const Settings& s) {
  Hasher h;
  h.add_text(WDIST_VERSION);
  h.add_value(static_cast<int>(s.format));
  h.add_value(s.projective);
  h.add_value(static_cast<int>(s.dual));
  h.add_value(s.max_work);
  // Only with it, so that a run of codes keeps the identity it had.
  if (s.group) h.add_text(*s.group == GroupKind::stabilizer ? "stabilizer" : "additive");
  // A search's options, only where they are asked for: the identities of
  // distribution runs stay as they were.
  if (searches(s)) {
    h.add_text("search");
    h.add_value(s.min_distance);
    h.add_value(s.weights_up_to);
  }
  h.add_value(static_cast<std::uint64_t>(s.files.size()));
  std::vector<char> chunk(std::size_t{1} << 16);
  for (const std::string& name : s.files) {
    h.add_text(name);
    std::FILE* in = std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
      // Unreadable now: the run meets it as such, and must on resuming.
      h.add_text("unreadable");
      continue;
    }
    std::uint64_t size = 0;
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0;) {
      h.add(chunk.data(), got);
      size += got;
    }
    h.add_value(size);
    h.add_value(std::ferror(in) != 0);
    std::fclose(in);
  }
  return h.value();
}

bool RunCheckpoint::refuse(const std::string& why) {
  std::fprintf(stderr, "wdist: checkpoint %s refused: %s\n", s_.checkpoint.c_str(), why.c_str());
  return false;
}

bool RunCheckpoint::open() {
  std::string error;
  switch (hold_.take(s_.checkpoint, error)) {
    case CheckpointHold::Take::held:
      break;
    case CheckpointHold::Take::in_use:
      std::fprintf(stderr, "wdist: checkpoint in use: %s is held by another run\n", s_.checkpoint.c_str());
      return false;
    case CheckpointHold::Take::failed:
      std::fprintf(stderr, "wdist: %s\n", error.c_str());
      return false;
  }
  identity_ = run_identity(s_);
  CheckpointState state;
  FrameCheck frames;
  const CheckpointRead read = read_checkpoint(
      s_.checkpoint, state, [&frames](const char* bytes, std::size_t size) { return frames.take(bytes, size); },
      error);
  if (read == CheckpointRead::ok && state.run_identity != identity_) {
    error = "it was written for other inputs or options";
  } else if (read == CheckpointRead::ok && !frames.whole()) {
    error = "its output is damaged";
  } else if (read != CheckpointRead::refused) {
    error.clear();
  }
  if (!error.empty()) {
    refuse(error);
    hold_.release();
    return false;
  }
  std::FILE* file = hold_.start_spool(error);
  if (file == nullptr) {
    std::fprintf(stderr, "wdist: %s\n", error.c_str());
    return false;
  }
  spool_ = std::make_unique<Spool>(file);
  if (read == CheckpointRead::ok && !resume(state)) return false;
  last_write_ = std::chrono::steady_clock::now();
  return true;
}

bool RunCheckpoint::resume(const CheckpointState& state) {
  std::string error;
  std::FILE* file = spool_->file();
  const bool copied = read_checkpoint_output(
      s_.checkpoint, state,
      [file](const char* bytes, std::size_t size) { return std::fwrite(bytes, 1, size, file) == size; }, error);
  if (!copied || !spool_->replay(state.output_bytes)) return refuse(copied ? "its output is damaged" : error);
  items_resumed_ = state.items_finished;
  failed_before_ = state.failed;
  for (const RecordInProgress& r : state.records) restored_.emplace(r.item, r.progress);
  in_place_ = true;
  return true;
}

UnitProgress RunCheckpoint::take_units_of(std::uint64_t item) {
  const auto it = restored_.find(item);
  if (it == restored_.end()) return UnitProgress{};
  UnitProgress p = std::move(it->second);
  restored_.erase(it);
  return p;
}

bool RunCheckpoint::due() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - last_write_).count() >=
         s_.checkpoint_interval;
}

bool RunCheckpoint::write(std::uint64_t items_finished, bool failed, std::vector<RecordInProgress> in_flight,
                          std::string& error) {
  last_write_ = std::chrono::steady_clock::now();
  CheckpointState state;
  state.run_identity = identity_;
  state.items_finished = items_finished;
  state.failed = failed;
  state.records = std::move(in_flight);
  // Records of the checkpoint resumed from that the run has not met again
  // yet.
  for (const auto& [item, progress] : restored_) state.records.push_back(RecordInProgress{item, progress});
  if (!spool_->flush()) {
    error = s_.checkpoint + ".spool: " + std::strerror(errno);
    return false;
  }
  if (!write_checkpoint(s_.checkpoint, state, spool_->file(), spool_->bytes(), error)) return false;
  in_place_ = true;
  return true;
}

std::string RunCheckpoint::resume_note(bool written) const {
  if (written) return "checkpoint " + s_.checkpoint + " resumes the run";
  if (in_place_)
    return "checkpoint " + s_.checkpoint + " could not be written again: it resumes the run from an earlier point";
  return "no checkpoint could be written (a new run starts from the beginning)";
}

void RunCheckpoint::abandon() {
  // The checkpoint holds the output: the spool has served.
  spool_.reset();
  hold_.release();
}

void RunCheckpoint::close() {
  spool_.reset();
  unlink(s_.checkpoint.c_str());
  unlink((s_.checkpoint + ".tmp").c_str());  // left by a run killed while writing one
  hold_.release();                           // the spool last, while the run still holds it
}

}  // namespace wdist::cli
