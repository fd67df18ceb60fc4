// Fuzz target: arbitrary bytes as the input file of both computation paths,
// the weight distribution (menu choice 1) and the projective sums (menu
// choice 33). Built once per counter width.
#include <cstddef>
#include <cstdint>

#include "menu/console/drivers.h"
#include "harness.h"

namespace {

// Under the sanitizers a record costs up to about 70 ns per byte of table
// (the projective transform is the slowest), and the fuzzer's throughput is
// what finds faults, so the bounds are small: block_cap admits binary tables
// up to k = 15 (narrow) or 14 (wide), F_4 up to k = 7, up to 2^15 counters
// per plane of the projective layout and histograms up to n = 8191; larger
// requests end in the allocation check, itself a path worth fuzzing. The
// work budget keeps an exec below about a third of a second.
constexpr wdist_fuzz::Limits kLimits{
    std::size_t{64} << 10,   // block_cap
    std::size_t{1} << 20,    // live_cap
    long{1} << 20,           // file_cap
    std::uint64_t{4} << 20,  // work_budget
};

void weight_distribution(void*) { wdist::run_weight_distribution("EXAM.txt", "EXAM.txt_r"); }
void projective_sums(void*) { wdist::run_projective_sums("EXAM.txt", "EXAM.txt_r"); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wdist_fuzz::start_harness(kLimits);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wdist_fuzz::write_scratch_file("EXAM.txt", data, size);
  wdist_fuzz::begin_exec(nullptr);
  wdist_fuzz::run_guarded(weight_distribution, nullptr);
  wdist_fuzz::run_guarded(projective_sums, nullptr);
  wdist_fuzz::end_exec();
  return 0;
}
