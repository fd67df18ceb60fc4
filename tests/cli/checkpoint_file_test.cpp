// The checkpoint file on its own: what is written reads back the same, the
// output bytes included; a file cut at any length or with any one byte
// changed is refused, never half read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/checkpoint.h"
#include "support/program_runner.h"

namespace {

using namespace wdist_test;
using wdist::cli::CheckpointRead;
using wdist::cli::CheckpointState;

class CheckpointFile : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }
  std::string path(const std::string& name) const { return path_in(dir_, name); }
  // Reads `name`; the output bytes it held in `output`, as read_checkpoint
  // shows them and as read_checkpoint_output copies them.
  CheckpointRead read(const std::string& name, CheckpointState& state, std::string& output, std::string& error) {
    std::string shown;
    const CheckpointRead r = wdist::cli::read_checkpoint(
        path(name), state,
        [&shown](const char* bytes, std::size_t size) {
          shown.append(bytes, size);
          return true;
        },
        error);
    output.clear();
    if (r != CheckpointRead::ok) return r;
    EXPECT_TRUE(wdist::cli::read_checkpoint_output(
        path(name), state,
        [&output](const char* bytes, std::size_t size) {
          output.append(bytes, size);
          return true;
        },
        error))
        << error;
    EXPECT_EQ(output, shown);
    return r;
  }
  std::string dir_;
};

CheckpointState sample_state() {
  CheckpointState s;
  s.run_identity = 0x0123456789abcdefULL;
  s.items_finished = 17;
  s.failed = true;
  wdist::cli::RecordInProgress a;
  a.item = 17;
  a.progress.plan_identity = 42;
  a.progress.units = 11;
  a.progress.done = {{0, 1}, {2, 2}, {7, 1}, {9, 2}};
  a.progress.total.counts = {1, 0, 5, 1ULL << 40, 7};
  a.progress.busy_seconds = 1.25;
  wdist::cli::RecordInProgress b;
  b.item = 19;
  b.progress.plan_identity = 43;
  b.progress.units = 1;
  b.progress.done = {{0, 1}};
  b.progress.total.counts = {3};
  s.records = {a, b};
  return s;
}

TEST_F(CheckpointFile, ReadsBackWhatWasWritten) {
  const std::string output = "o and some output\nwith a second line\n";
  std::FILE* spool = std::tmpfile();
  ASSERT_EQ(std::fwrite(output.data(), 1, output.size(), spool), output.size());
  std::fflush(spool);
  const CheckpointState written = sample_state();
  std::string error;
  ASSERT_TRUE(wdist::cli::write_checkpoint(path("ck"), written, spool, output.size(), error)) << error;
  std::fclose(spool);
  EXPECT_FALSE(path_exists(path("ck.tmp")));

  CheckpointState state;
  std::string read_output;
  ASSERT_EQ(read("ck", state, read_output, error), CheckpointRead::ok) << error;
  EXPECT_EQ(read_output, output);
  EXPECT_EQ(state.run_identity, written.run_identity);
  EXPECT_EQ(state.items_finished, written.items_finished);
  EXPECT_EQ(state.failed, written.failed);
  ASSERT_EQ(state.records.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const wdist::UnitProgress& got = state.records[i].progress;
    const wdist::UnitProgress& put = written.records[i].progress;
    EXPECT_EQ(state.records[i].item, written.records[i].item);
    EXPECT_EQ(got.plan_identity, put.plan_identity);
    EXPECT_EQ(got.units, put.units);
    ASSERT_EQ(got.done.size(), put.done.size());
    for (std::size_t r = 0; r < got.done.size(); ++r) {
      EXPECT_EQ(got.done[r].first, put.done[r].first);
      EXPECT_EQ(got.done[r].count, put.done[r].count);
    }
    EXPECT_EQ(got.total.counts, put.total.counts);
    EXPECT_EQ(got.busy_seconds, put.busy_seconds);
  }
  EXPECT_EQ(read("absent", state, read_output, error), CheckpointRead::absent);
}

// The hold on a checkpoint: one holder at a time (another open of the
// same spool, as a second run makes, finds it in use); the spool left as
// it was by a hold that never started it, removed by one that did, and
// free again once the hold ends.
TEST_F(CheckpointFile, OneHoldAtATimeAndTheSpoolLeftAsFound) {
  using Take = wdist::cli::CheckpointHold::Take;
  std::string error;
  {
    wdist::cli::CheckpointHold first, second;
    ASSERT_EQ(first.take(path("ck"), error), Take::held) << error;
    EXPECT_TRUE(path_exists(path("ck.spool")));
    EXPECT_EQ(second.take(path("ck"), error), Take::in_use);
    EXPECT_FALSE(second.held());
    first.release();
    EXPECT_FALSE(path_exists(path("ck.spool"))) << "created by the hold, never started";
    EXPECT_EQ(second.take(path("ck"), error), Take::held) << error;
  }
  ASSERT_TRUE(write_file(path("ck.spool"), "found"));
  {
    wdist::cli::CheckpointHold hold;
    ASSERT_EQ(hold.take(path("ck"), error), Take::held) << error;
  }
  EXPECT_EQ(file_text(path("ck.spool")), "found");
  {
    wdist::cli::CheckpointHold hold, other;
    ASSERT_EQ(hold.take(path("ck"), error), Take::held) << error;
    std::FILE* spool = hold.start_spool(error);
    ASSERT_NE(spool, nullptr) << error;
    EXPECT_EQ(file_text(path("ck.spool")), "");
    std::fputs("output", spool);
    std::fclose(spool);  // the stream's descriptor is its own: the lock stays
    EXPECT_EQ(file_text(path("ck.spool")), "output");
    EXPECT_EQ(other.take(path("ck"), error), Take::in_use);
  }
  EXPECT_FALSE(path_exists(path("ck.spool")));
  wdist::cli::CheckpointHold nowhere;
  EXPECT_EQ(nowhere.take(path("missing/ck"), error), Take::failed);
  EXPECT_EQ(error, path("missing/ck.spool") + ": No such file or directory");
}

TEST_F(CheckpointFile, EveryCutAndEveryChangedByteIsRefused) {
  std::FILE* spool = std::tmpfile();
  const std::string output = "output";
  std::fwrite(output.data(), 1, output.size(), spool);
  std::fflush(spool);
  std::string error;
  ASSERT_TRUE(wdist::cli::write_checkpoint(path("ck"), sample_state(), spool, output.size(), error)) << error;
  std::fclose(spool);
  const std::string good = file_text(path("ck"));
  CheckpointState state;
  std::string read_output;
  for (std::size_t length = 0; length < good.size(); ++length) {
    ASSERT_TRUE(write_file(path("cut"), good.substr(0, length)));
    EXPECT_EQ(read("cut", state, read_output, error), CheckpointRead::refused) << length << " bytes";
    EXPECT_EQ(read_output, "") << "nothing of a refused checkpoint is copied";
  }
  for (std::size_t at = 0; at < good.size(); ++at) {
    std::string changed = good;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    ASSERT_TRUE(write_file(path("changed"), changed));
    EXPECT_EQ(read("changed", state, read_output, error), CheckpointRead::refused) << "byte " << at;
  }
  EXPECT_EQ(error, "it is damaged or truncated (its checksum does not match)");
}

}  // namespace
