// The console menu: the whole user interface. It owns the current input
// file name (initially "EXAM.txt") and the report name (always the input
// name followed by "_r"), and starts the drivers and the generator.
#pragma once

namespace wdist {

inline constexpr int kNameBuffer = 300;             // bytes of each name buffer, terminator included
inline constexpr int kLongestName = kNameBuffer - 3;  // the name plus "_r" must fit

// Loops until the user chooses 4 or standard input ends.
void run_menu();

enum class NameStatus { read, too_long, end_of_input };

// Reads one file name (a whole line, without its newline) from standard
// input into `destination`. Lines that start with a blank or are empty are
// passed over; a name longer than kLongestName is refused (the line is
// swallowed whole) and leaves `destination` empty.
NameStatus read_name(char (&destination)[kNameBuffer]);

}  // namespace wdist
