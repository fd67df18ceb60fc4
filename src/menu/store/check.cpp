#include "menu/store/check.h"

#include <cstdio>
#include <cstdlib>

#include "menu/store/cons_str.h"

namespace wdist {

namespace {

HaltHandler g_halt_handler = nullptr;

[[noreturn]] void halt_at_console() {
  for (;;) {
    std::fputs("ERROR", stdout);
    std::fflush(stdout);
    int scratch = 0;
    // A halted program never resumes; once the console has nothing more to
    // give it ends, and exit() flushes every report stream still open.
    // The number itself is thrown away; only whether one came matters.
    if (std::scanf("%d", &scratch) != 1) std::exit(2);  // NOLINT(cert-err34-c)
  }
}

}  // namespace

void set_halt_handler(HaltHandler handler) { g_halt_handler = handler; }

void fail_check(int line, const char* text) {
  // Finished report blocks must survive whatever happens to the halted
  // process, so every open stream is pushed out before anything else.
  std::fflush(nullptr);
  std::FILE* record = std::fopen("ERRORq.txt", "w");
  std::FILE* out = record != nullptr ? record : stderr;
  std::fprintf(out, "ruvo file %s: line %d: assertion failed: (%s)\n", kConsStrPath, line, text);
  if (record != nullptr) std::fclose(record);
  if (g_halt_handler != nullptr) {
    g_halt_handler();
    std::abort();  // a handler that returns breaks the halt contract
  }
  halt_at_console();
}

}  // namespace wdist
