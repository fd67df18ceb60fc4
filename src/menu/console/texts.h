// Every fixed text the program shows on the console or writes into a report
// or generated file, in one place. printf formats are kept whole, blanks
// included; the screen is listed in the order it is written.
#pragma once

namespace wdist::texts {

// The menu screen, written before every prompt.
inline constexpr char kScreenTitle[] = "\n\n  RuvoNewEdition- TESK (Valdrane) v 0.1 \n\n";
inline constexpr char kScreenCredit[] = "\n by the wdist authors\n";
inline constexpr char kScreenPurpose[] = "\n Computing the weight distribution of [n, k] linear codes over Fq (q<8)  ";
inline constexpr char kScreenLimitNarrow[] = "\n  and  n<2^15 (for q=4 n<2^13)";
inline constexpr char kScreenLimitWide[] = "\n and  n<2^31 (for q=4 n<2^29)";
inline constexpr char kScreenFilesFormat[] = "\n\n\n Input file: %s   Output file: %s\n\n";
inline constexpr char kScreenMenu[] =
    "    1. Start computation \n"
    "    2. Change Input file\n"
    "    3. Generate random codes in the file 'EXAM.txt' \n"
    "    4. Exit \n"
    "    Choose:";

// Answers to the menu choices.
inline constexpr char kComputation[] = " Computation ...";
inline constexpr char kProjectiveSums[] = " SPEC  ";
inline constexpr char kChooseSomething[] = "Choose someting";
inline constexpr char kEnterGeneratorParameters[] = " Enter n k q number: ";
inline constexpr char kEnterInputName[] = " Enter input file name ";
inline constexpr char kOpenErrorPrefix[] = "Error while opening file.\n";

// Report block.
inline constexpr char kReportHeadFormat[] = "\n? %d %d %d %d %d %d  \n";
inline constexpr char kReportGeneratorFormat[] = "G= %llu \n";
inline constexpr char kReportTimeFormat[] = "\n Time =  %10.3f seconds";
inline constexpr char kReportWeightsStart[] = " \n";
inline constexpr char kReportWeightFormat[] = " %d^%lld ";

// Progress lines after every 100th record.
inline constexpr char kProgressNumberFormat[] = "NUM %d\n";
inline constexpr char kProgressStatsFormat[] = "  MD %d  br %lld \n";

// Generated code files.
inline constexpr char kGeneratedHeadFormat[] = "? %d %d %d %d \n";

}  // namespace wdist::texts

// Messages of this program's own on standard error (one line each).
namespace wdist::texts {

inline constexpr char kRecordRefusedFormat[] = "wdist: record %d refused: %s\n";
inline constexpr char kRecordTruncatedFormat[] = "wdist: record %d: end of file inside the record; the run ends here\n";
inline constexpr char kInputReadErrorFormat[] = "wdist: reading %s failed: %s; the run ends here\n";
inline constexpr char kCannotOpenInputFormat[] = "wdist: cannot open input file %s: %s\n";
inline constexpr char kCannotOpenOutputFormat[] = "wdist: cannot open output file %s: %s\n";
inline constexpr char kCannotWriteOutputFormat[] = "wdist: writing %s failed: %s\n";
inline constexpr char kNameTooLongFormat[] = "wdist: file name refused: longer than %d characters\n";
inline constexpr char kGeneratorRefusedFormat[] = "wdist: no codes written: %s\n";
inline constexpr char kGeneratorCannotOpenFormat[] = "wdist: cannot open %s for writing: %s\n";

}  // namespace wdist::texts
