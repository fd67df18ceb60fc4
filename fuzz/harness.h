// The harness every fuzz target shares: it turns the program's ways of
// leaving the work (the halt, exhausted memory, huge files, long but
// legitimate computations) into returns to the fuzzer, and keeps one exec
// from seeing what an earlier one left behind. harness.cpp explains each
// bound; fuzz/README.md lists them with their values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace wdist_fuzz {

struct Limits {
  std::size_t block_cap;      // a single allocation request above this fails
  std::size_t live_cap;       // bytes the seam hands out and holds at once
  long file_cap;              // RLIMIT_FSIZE while an exec runs
  std::uint64_t work_budget;  // storage-bytes summed over computed records
};

// A file the scratch directory holds at the start of every exec.
struct Fixture {
  const char* name;
  const char* content;  // nullptr: a directory
};

// Once, from LLVMFuzzerInitialize: installs the block source and the halt
// handler, creates this process's scratch directory (under
// $WDIST_FUZZ_SCRATCH, else /dev/shm) and opens the sinks for the program's
// console output.
void start_harness(const Limits& limits);

// Empties the scratch directory (directories named by fixtures stay) and
// writes the fixtures afresh.
void reset_scratch(const Fixture* fixtures, std::size_t count);

// Writes `size` bytes as the file `name` in the scratch directory.
void write_scratch_file(const char* name, const std::uint8_t* data, std::size_t size);

// Brackets one exec: enter the scratch directory, zero the process-wide
// records, bound file sizes, send the program's stdout and stderr to
// /dev/null (unless WDIST_FUZZ_VERBOSE is set) and, when `console_input` is
// not null, make it the program's stdin. end_exec gives back the code
// context and traps on storage or streams a finished run left behind.
void begin_exec(std::FILE* console_input);
void end_exec();

// Runs body(arg); returns false when the program halted (or the work budget
// ended the exec) and the harness has taken back what the run held.
bool run_guarded(void (*body)(void*), void* arg);

}  // namespace wdist_fuzz
