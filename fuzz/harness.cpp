// The shared fuzz harness. How each way out of the work is bounded:
//
// Halt. set_halt_handler installs a longjmp back into run_guarded, so the
// check paths (failed allocations above all) are fuzzed like any other code.
// The abandoned driver's local records and open streams are then given back
// here: every block the allocation seam handed out and nobody freed since,
// and every stream fopen'ed during the exec and not yet closed. The process-
// wide code context and field tables are zeroed, as at program start.
//
// Memory. The block source refuses a single request above block_cap and any
// request that would make the seam hold more than live_cap bytes or more
// than kMaxLiveBlocks blocks at once. A refused request is a failed
// allocation: the primitive asks again, fails again and halts through its
// check, exactly as when malloc gives nothing.
//
// Files. Every exec runs in this process's scratch directory (tmpfs). While
// an exec runs, fopen refuses every name that holds a '/', so the menu's
// file-name dialogue and choice 3 (which overwrites the input file) cannot
// reach outside it; RLIMIT_FSIZE bounds every file written, with SIGXFSZ
// ignored so that a write beyond it fails with EFBIG as on a full disk.
//
// Work. A short input may ask for a long but legitimate computation: a menu
// script repeating choice 1 over a generated file, a file of many records
// with large tables. The drivers read clock() before and after every record;
// the harness adds the storage the seam holds at each such read, and ends the
// exec like a halt once the sum passes work_budget.
//
// Time. time() and clock() are fixed while an exec runs, so the random code
// generator writes the same file and the reports the same time lines for the
// same input.
//
// The wrappers are installed with the linker's --wrap (see CMakeLists.txt),
// so only the references in the program's and the harness's objects go
// through them.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "menu/store/alloc.h"
#include "menu/store/check.h"
#include "menu/store/code_context.h"

extern "C" {
std::FILE* __real_fopen(const char* path, const char* mode);
int __real_fclose(std::FILE* stream);
void __real_free(void* block);
std::clock_t __real_clock();
std::time_t __real_time(std::time_t* result);
}

namespace wdist_fuzz {

namespace {

// ---- blocks handed out by the seam: an open-addressing table -------------

constexpr std::size_t kSlotBits = 17;
constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
constexpr std::size_t kMaxLiveBlocks = kSlots / 2;  // keeps the probe runs short

struct Slot {
  void* block;
  std::size_t bytes;
};

Slot g_slots[kSlots];
std::size_t g_live_blocks = 0;
std::size_t g_live_bytes = 0;

std::size_t home_slot(const void* block) {
  auto bits = reinterpret_cast<std::uintptr_t>(block) >> 4;
  return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits));
}

void insert_block(void* block, std::size_t bytes) {
  std::size_t i = home_slot(block);
  while (g_slots[i].block != nullptr) i = (i + 1) & (kSlots - 1);
  g_slots[i] = Slot{block, bytes};
  ++g_live_blocks;
  g_live_bytes += bytes;
}

// Linear probing with backward-shift deletion: no tombstones, so a long
// campaign of allocations and frees never fills the table.
bool erase_block(const void* block) {
  std::size_t i = home_slot(block);
  while (g_slots[i].block != block) {
    if (g_slots[i].block == nullptr) return false;
    i = (i + 1) & (kSlots - 1);
  }
  --g_live_blocks;
  g_live_bytes -= g_slots[i].bytes;
  std::size_t j = i;
  for (;;) {
    g_slots[i].block = nullptr;
    for (;;) {
      j = (j + 1) & (kSlots - 1);
      if (g_slots[j].block == nullptr) return true;
      const std::size_t home = home_slot(g_slots[j].block);
      // The entry at j may move to the hole at i unless its home lies
      // cyclically in (i, j].
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (!stays) break;
    }
    g_slots[i] = g_slots[j];
    i = j;
  }
}

void free_all_blocks() {
  // The walk ends at the last live block: the slots beyond it are empty.
  for (std::size_t i = 0; g_live_blocks > 0 && i < kSlots; ++i) {
    if (g_slots[i].block == nullptr) continue;
    __real_free(g_slots[i].block);
    g_slots[i] = Slot{nullptr, 0};
    --g_live_blocks;
  }
  g_live_bytes = 0;
}

// ---- streams opened during an exec ----------------------------------------

constexpr int kMaxStreams = 64;
std::FILE* g_streams[kMaxStreams];
int g_stream_count = 0;

void forget_stream(std::FILE* f) {
  for (int i = 0; i < g_stream_count; ++i) {
    if (g_streams[i] == f) {
      g_streams[i] = g_streams[--g_stream_count];
      return;
    }
  }
}

void close_all_streams() {
  while (g_stream_count > 0) __real_fclose(g_streams[--g_stream_count]);
}

// ---- exec state -------------------------------------------------------------

Limits g_limits{};
bool g_in_exec = false;
bool g_verbose = false;
std::uint64_t g_work = 0;
std::jmp_buf* g_return_point = nullptr;
char g_scratch[512];
int g_home_dir = -1;  // the working directory the fuzzer itself uses
rlimit g_saved_fsize{};
std::FILE* g_null_out = nullptr;
std::FILE* g_saved_stdin = nullptr;
std::FILE* g_saved_stdout = nullptr;
std::FILE* g_saved_stderr = nullptr;

// Totals shown when the fuzzer ends.
std::uint64_t g_execs = 0, g_halts = 0, g_budget_cuts = 0;

[[noreturn]] void harness_failure(const char* what) {
  std::fprintf(g_saved_stderr != nullptr ? g_saved_stderr : stderr, "wdist-fuzz: %s\n", what);
  std::fflush(nullptr);
  std::abort();
}

void* bounded_block_source(std::size_t bytes) {
  if (bytes > g_limits.block_cap || bytes > g_limits.live_cap - g_live_bytes) return nullptr;
  if (g_live_blocks >= kMaxLiveBlocks) return nullptr;
  void* block = std::malloc(bytes);
  if (block != nullptr) insert_block(block, bytes);
  return block;
}

[[noreturn]] void jump_back() {
  if (g_return_point == nullptr) harness_failure("the work left outside a guarded run");
  std::longjmp(*g_return_point, 1);
}

[[noreturn]] void return_to_harness() {
  ++g_halts;
  jump_back();
}

// The work budget, counted at the drivers' clock() reads (see the top).
void charge_record() {
  g_work += g_live_bytes + 1024;
  if (g_work > g_limits.work_budget && g_return_point != nullptr) {
    ++g_budget_cuts;
    jump_back();
  }
}

void print_totals() {
  std::fprintf(stderr, "wdist-fuzz: %llu execs, %llu halted, %llu ended by the work budget\n",
               static_cast<unsigned long long>(g_execs), static_cast<unsigned long long>(g_halts),
               static_cast<unsigned long long>(g_budget_cuts));
}

void remove_scratch() {
  if (fchdir(g_home_dir) != 0) return;
  reset_scratch(nullptr, 0);  // works on g_scratch by its full path
  rmdir(g_scratch);
}

}  // namespace

void start_harness(const Limits& limits) {
  g_limits = limits;
  g_verbose = std::getenv("WDIST_FUZZ_VERBOSE") != nullptr;
  const char* base = std::getenv("WDIST_FUZZ_SCRATCH");
  if (base == nullptr || *base == '\0') base = "/dev/shm";
  std::snprintf(g_scratch, sizeof g_scratch, "%s/wdist-fuzz-%ld", base, static_cast<long>(getpid()));
  if (mkdir(g_scratch, 0700) != 0 && errno != EEXIST) harness_failure("cannot create the scratch directory");
  g_home_dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_home_dir < 0) harness_failure("cannot hold the working directory");
  g_null_out = __real_fopen("/dev/null", "w");
  if (g_null_out == nullptr) harness_failure("cannot open /dev/null");
  getrlimit(RLIMIT_FSIZE, &g_saved_fsize);
  wdist::set_block_source(bounded_block_source);
  wdist::set_halt_handler(return_to_harness);
  std::atexit(remove_scratch);
  std::atexit(print_totals);
}

void reset_scratch(const Fixture* fixtures, std::size_t count) {
  DIR* dir = opendir(g_scratch);
  if (dir == nullptr) harness_failure("cannot list the scratch directory");
  const int dir_fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    bool kept = false;
    for (std::size_t i = 0; i < count; ++i)
      kept = kept || (fixtures[i].content == nullptr && std::strcmp(fixtures[i].name, entry->d_name) == 0);
    if (kept) continue;
    if (unlinkat(dir_fd, entry->d_name, 0) != 0) unlinkat(dir_fd, entry->d_name, AT_REMOVEDIR);
  }
  closedir(dir);
  for (std::size_t i = 0; i < count; ++i) {
    char path[1024];
    std::snprintf(path, sizeof path, "%s/%s", g_scratch, fixtures[i].name);
    if (fixtures[i].content == nullptr) {
      mkdir(path, 0700);
      continue;
    }
    std::FILE* f = __real_fopen(path, "w");
    if (f == nullptr) harness_failure("cannot write a fixture");
    std::fputs(fixtures[i].content, f);
    __real_fclose(f);
  }
}

void write_scratch_file(const char* name, const std::uint8_t* data, std::size_t size) {
  char path[1024];
  std::snprintf(path, sizeof path, "%s/%s", g_scratch, name);
  std::FILE* f = __real_fopen(path, "w");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size)) harness_failure("cannot write the input");
  __real_fclose(f);
}

void begin_exec(std::FILE* console_input) {
  ++g_execs;
  if (chdir(g_scratch) != 0) harness_failure("cannot enter the scratch directory");
  wdist::code_context = wdist::CodeContext{};
  g_work = 0;
  // Set here rather than at start-up: libFuzzer installs its own SIGXFSZ
  // handler after LLVMFuzzerInitialize.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit bounded = g_saved_fsize;
  bounded.rlim_cur = static_cast<rlim_t>(g_limits.file_cap);
  if (g_saved_fsize.rlim_max != RLIM_INFINITY && bounded.rlim_cur > g_saved_fsize.rlim_max)
    bounded.rlim_cur = g_saved_fsize.rlim_max;
  setrlimit(RLIMIT_FSIZE, &bounded);
  g_saved_stdin = stdin;
  g_saved_stdout = stdout;
  g_saved_stderr = stderr;
  if (console_input != nullptr) stdin = console_input;
  if (!g_verbose) {
    stdout = g_null_out;
    stderr = g_null_out;
  }
  g_in_exec = true;
}

void end_exec() {
  // A finished run leaves only the code context holding storage; give it
  // back so that anything else still held is a leak of the run itself.
  run_guarded([](void*) { wdist::release_code_context(); }, nullptr);
  g_in_exec = false;
  std::fflush(stdout);
  std::fflush(stderr);
  stdin = g_saved_stdin;
  stdout = g_saved_stdout;
  stderr = g_saved_stderr;
  setrlimit(RLIMIT_FSIZE, &g_saved_fsize);
  if (fchdir(g_home_dir) != 0) harness_failure("cannot leave the scratch directory");
  if (g_live_blocks != 0) harness_failure("a finished run left storage from the allocation seam behind");
  if (g_stream_count != 0) harness_failure("a finished run left a stream open");
}

bool run_guarded(void (*body)(void*), void* arg) {
  std::jmp_buf here;
  std::jmp_buf* volatile outer = g_return_point;
  if (setjmp(here) == 0) {
    g_return_point = &here;
    body(arg);
    g_return_point = outer;
    return true;
  }
  g_return_point = outer;
  close_all_streams();
  free_all_blocks();
  wdist::code_context = wdist::CodeContext{};
  return false;
}

}  // namespace wdist_fuzz

extern "C" {

std::FILE* __wrap_fopen(const char* path, const char* mode) {
  using namespace wdist_fuzz;
  if (!g_in_exec) return __real_fopen(path, mode);
  if (std::strchr(path, '/') != nullptr) {
    errno = EACCES;
    return nullptr;
  }
  std::FILE* f = __real_fopen(path, mode);
  if (f != nullptr) {
    if (g_stream_count == kMaxStreams) harness_failure("too many streams open at once");
    g_streams[g_stream_count++] = f;
  }
  return f;
}

int __wrap_fclose(std::FILE* stream) {
  wdist_fuzz::forget_stream(stream);
  return __real_fclose(stream);
}

void __wrap_free(void* block) {
  if (block != nullptr && wdist_fuzz::g_live_blocks != 0) wdist_fuzz::erase_block(block);
  __real_free(block);
}

std::clock_t __wrap_clock() {
  if (!wdist_fuzz::g_in_exec) return __real_clock();
  // Processor time is a system call and only printed; a fixed value keeps
  // the reports of one input identical as well.
  wdist_fuzz::charge_record();
  return 0;
}

std::time_t __wrap_time(std::time_t* result) {
  if (!wdist_fuzz::g_in_exec) return __real_time(result);
  constexpr std::time_t kFixedTime = 1700000000;
  if (result != nullptr) *result = kFixedTime;
  return kFixedTime;
}

}  // extern "C"
