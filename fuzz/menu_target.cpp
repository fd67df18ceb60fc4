// Fuzz target: arbitrary bytes as the standard input of the menu. Every exec
// starts in a scratch directory holding a small code file under the initial
// input name, an empty file whose report name is taken by a directory, and a
// directory, so that the dialogue, the generator and both drivers have
// something to work on, refusals included.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "menu/console/menu.h"
#include "harness.h"

namespace {

// Smaller bounds than the input target: a menu script can start a driver
// run or the generator with every two bytes, so each of them must be cheap.
// Generated files stop at 16 KiB; the work budget allows a few hundred
// small records per exec.
constexpr wdist_fuzz::Limits kLimits{
    std::size_t{64} << 10,   // block_cap
    std::size_t{1} << 20,    // live_cap
    long{16} << 10,          // file_cap
    std::uint64_t{2} << 20,  // work_budget
};

constexpr char kCodes[] =
    "Small codes over every field.\n"
    "? 4 7 2 1\n1000110\n0100101\n0010011\n0001111\n"
    "? 2 5 4 2\n01111\n10123\n"
    "? 2 4 3 3\n1011\n0112\n"
    "? 2 3 5 4\n123\n014\n"
    "? 2 3 7 5\n136\n025\n";

constexpr wdist_fuzz::Fixture kFixtures[] = {
    {"EXAM.txt", kCodes},
    {"empty", ""},
    {"empty_r", nullptr},  // the report of "empty" cannot be created
    {"dir", nullptr},
};

void menu(void*) { wdist::run_menu(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wdist_fuzz::start_harness(kLimits);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdist_fuzz::reset_scratch(kFixtures, sizeof kFixtures / sizeof kFixtures[0]);
  // fmemopen wants a buffer it may write to; "r" never does.
  std::FILE* console = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : fopen("/dev/null", "r");
  if (console == nullptr) return 0;
  wdist_fuzz::begin_exec(console);
  wdist_fuzz::run_guarded(menu, nullptr);
  wdist_fuzz::end_exec();
  std::fclose(console);
  return 0;
}
