// Check and halt: the single way the system fails. A failed check writes its
// check record to "ERRORq.txt" and the program stays halted, answering every
// console read with "ERROR", until standard input ends.
#pragma once

namespace wdist {

// Writes the check record for (line, text) and halts; never returns.
[[noreturn]] void fail_check(int line, const char* text);

// The halt that follows the check record. The default talks to the console
// until standard input ends or holds a non-integer, then exits with status 2.
// A harness (fuzzing, death tests) may replace it; the replacement must not
// return either.
using HaltHandler = void (*)();
void set_halt_handler(HaltHandler handler);  // nullptr restores the default

}  // namespace wdist
