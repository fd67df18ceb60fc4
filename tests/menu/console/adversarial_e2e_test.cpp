// Hostile input files and hostile surroundings, through the real program
// with a timeout. Each case asserts the kind of message, the exit status and
// the files left behind; a hostile record is followed by a good one where
// that shows the run goes on (the good block then carries the record
// number that counts the hostile one too).
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <ostream>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/work_dir_test.h"

namespace wdist_test {
namespace {

constexpr bool kWide = WDIST_COUNTER_BITS == 32;
const std::string S = menu_screen();

std::string block(const std::string& head_numbers, const std::vector<std::string>& rows, const std::string& weights) {
  std::string b = "\n? " + head_numbers + "  \n";
  for (const std::string& row : rows) b += row + "\n";
  return b + "G= 1 \n\n Time =  " + kMaskedTime + " seconds \n" + weights;
}

std::string refused(int record, const std::string& reason) {
  return "wdist: record " + std::to_string(record) + " refused: " + reason + "\n";
}

std::string truncated(int record) {
  return "wdist: record " + std::to_string(record) + ": end of file inside the record; the run ends here\n";
}

std::string check_record(int line, const char* text) {
  return "ruvo file src/store/cons_str.h: line " + std::to_string(line) + ": assertion failed: (" + text + ")\n";
}

// The record that follows a hostile one, and its blocks on both paths.
const std::string kGood = "? 1 2 2\n11\n";
std::string good_block(int record, int cap_rows = 1) {
  return block("1 2 2 " + std::to_string(record) + " " + std::to_string(cap_rows) + " 16", {"11"}, " 0^1  2^1 ");
}
std::string good_sums(int record, int cap_rows = 1) {
  return block("1 2 2 " + std::to_string(record) + " " + std::to_string(cap_rows) + " 16", {"11"}, " 2^1 ");
}

std::string rows_of(int count, const std::string& row) {
  std::string rows;
  for (int i = 0; i < count; ++i) rows += row + "\n";
  return rows;
}

class HostileTest : public WorkDirTest {
 protected:
  ProgramRun run(const std::string& input, RunLimits limits = {}) { return run_in_dir(input, 20, limits); }

  // For the cases that need a user whom permissions bind: the runner itself,
  // or when that is root, "nobody", who then gets the working directory and
  // everything in it (made by the test as it wants them before the call).
  // False when neither is possible: no user nobody, or a program nobody
  // cannot start (a tree built under root's closed home folder).
  bool unprivileged(RunLimits& limits) {
    if (geteuid() != 0) return true;
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || !can_execute(*nobody, wdist_program())) return false;
    limits.uid = static_cast<int>(nobody->pw_uid);
    limits.gid = static_cast<int>(nobody->pw_gid);
    namespace fs = std::filesystem;
    bool owned = chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_))
      owned = owned && lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
    return owned;
  }

  // Whether the user may execute the file, asked as that user in a child.
  static bool can_execute(const passwd& user, const char* path) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
      const bool as_user = setgroups(0, nullptr) == 0 && setgid(user.pw_gid) == 0 && setuid(user.pw_uid) == 0;
      _exit(as_user && access(path, X_OK) == 0 ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

// ---------------------------------------------------------------- hostile files

struct HostileFile {
  std::string name;
  std::string bytes;
  std::string err;          // standard error of menu choice 1
  std::string report;       // its report, time masked
  std::string err_sums;     // the same for menu choice 33
  std::string report_sums;
  bool weights_only = false;  // menu choice 1 only
};

std::vector<HostileFile> hostile_files() {
  std::vector<HostileFile> cases;
  auto refused_head = [&](const std::string& name, const std::string& head, const std::string& reason) {
    cases.push_back({name, head + "\n" + kGood, refused(1, reason), good_block(2), refused(1, reason), good_sums(2)});
  };
  cases.push_back({"EmptyFile", "", "", "", "", ""});
  cases.push_back({"NoMark", "some text\n1 2 3\n\n", "", "", "", ""});
  cases.push_back({"MarkAtTheEnd", "text ?", truncated(1), "", truncated(1), ""});
  cases.push_back({"MarkAndHeadAtTheEnd", kGood + "? 2 3 2", truncated(2), good_block(1), truncated(2), good_sums(1)});
  cases.push_back({"LastRowCut", kGood + "? 2 3 2\n101\n01", truncated(2), good_block(1), truncated(2), good_sums(1)});
  refused_head("GarbageAfterMark", "?abc", "its head does not hold three numbers k n q");
  refused_head("MarkAfterMark", "? 1 ?", "its head does not hold three numbers k n q");
  // "? 1 ?" leaves its second "?" to the scan: that record is the good one, numbered 2.
  cases.back().bytes = "? 1 " + kGood;
  refused_head("NegativeK", "? -3 2 2\n11\n11", "k = -3, the dimension must be at least 1");
  refused_head("ZeroK", "? 0 2 2", "k = 0, the dimension must be at least 1");
  refused_head("NegativeN", "? 1 -2 2\n11", "n = -2, the length must not be negative");
  refused_head("HugeN", "? 1 99999999999999999999 2\n11", "a head number does not fit a 32-bit integer");
  refused_head("QWrappingToTwo", "? 1 2 4294967298\n11", "a head number does not fit a 32-bit integer");
  refused_head("KWrappingToOne", "? 4294967297 2 2\n11", "a head number does not fit a 32-bit integer");
  for (int q : {0, 1, 6, 8, 13, 16, -2})
    refused_head(q < 0 ? "QMinus" + std::to_string(-q) : "Q" + std::to_string(q), "? 1 2 " + std::to_string(q) + "\n11",
                 "q = " + std::to_string(q) + ", the field must be one of 2, 3, 4, 5, 7");
  refused_head("K33OverF3", "? 33 2 3\n" + rows_of(33, "12"), "k = 33, the projective layout takes k <= 32");
  for (int k : {62, 63}) {
    const std::string head = "? " + std::to_string(k) + " 2 2\n" + rows_of(k, "11");
    const std::string k_text = "k = " + std::to_string(k);
    cases.push_back({"Binary" + std::to_string(k), head + kGood,
                     refused(1, k_text + ", a table of 2^" + std::to_string(k) + " entries cannot be addressed"),
                     good_block(2), refused(1, k_text + ", the projective layout takes k <= 32"), good_sums(2)});
  }
  // The weight distribution refuses the binary image of F_4 with k = 31. The
  // narrow projective sums take it (a table of (4^31 - 1)/3 points that
  // cannot be had, see the halts below)
  // and, in the wide program, refuses it outright (its byte count would not
  // fit 64 bits).
  if (kWide)
    cases.push_back({"F4K31", "? 31 1 4\n" + rows_of(31, "1") + kGood,
                     refused(1, "k = 31, a table of 2^62 entries cannot be addressed"), good_block(2),
                     refused(1, "k = 31, a table of (4^31 - 1)/3 points cannot be addressed"), good_sums(2)});
  else
    cases.push_back({"F4K31", "? 31 1 4\n" + rows_of(31, "1") + kGood,
                     refused(1, "k = 31, a table of 2^62 entries cannot be addressed"), good_block(2), "", "", true});
  // Lengths at and above the limit this program announces.
  if (kWide) {
    refused_head("BinaryNAtLimit", "? 1 2147483648 2", "a head number does not fit a 32-bit integer");
    refused_head("F4NAtLimit", "? 1 536870912 4", "n = 536870912, this program takes n < 536870912 for q = 4");
    refused_head("F4NAboveLimit", "? 1 536870913 4", "n = 536870913, this program takes n < 536870912 for q = 4");
  } else {
    const std::string wide = " (wdist-wide takes longer codes)";
    refused_head("BinaryNAtLimit", "? 1 32768 2", "n = 32768, this program takes n < 32768 for q = 2" + wide);
    refused_head("TernaryNAboveLimit", "? 1 40000 3", "n = 40000, this program takes n < 32768 for q = 3" + wide);
    refused_head("F4NAtLimit", "? 1 8192 4", "n = 8192, this program takes n < 8192 for q = 4" + wide);
    refused_head("F4NAboveLimit", "? 1 8193 4", "n = 8193, this program takes n < 8192 for q = 4" + wide);
  }
  cases.push_back({"DigitsNotBelowQ", "? 2 3 2\n121\n011\n" + kGood,
                   refused(1, "entry 2 in row 1, column 2 is not below q = 2"), good_block(2, 2),
                   refused(1, "entry 2 in row 1, column 2 is not below q = 2"), good_sums(2, 2)});
  cases.push_back({"DigitNotBelowQInTheLastColumn", "? 2 3 5\n123\n045\n" + kGood,
                   refused(1, "entry 5 in row 2, column 3 is not below q = 5"), good_block(2, 2),
                   refused(1, "entry 5 in row 2, column 3 is not below q = 5"), good_sums(2, 2)});
  {
    const std::string nul_row("1\0\0" "1", 4);
    cases.push_back({"NulBytesRepeatTheLastDigit", "? 1 4 2\n" + nul_row + "\n" + kGood, "",
                     block("1 4 2 1 1 16", {"1111"}, " 0^1  4^1 ") + good_block(2), "",
                     block("1 4 2 1 1 16", {"1111"}, " 4^1 ") + good_sums(2)});
  }
  {
    std::string garbage;
    unsigned state = 12345;
    while (garbage.size() < 8192) {
      state = state * 1103515245u + 12345u;
      const char c = static_cast<char>((state >> 16) & 0xff);
      if (c != '?') garbage += c;
    }
    cases.push_back({"BinaryGarbageWithoutMark", garbage + kGood, "", good_block(1), "", good_sums(1)});
  }
  {
    const std::string wide_line(100000, 'x');
    cases.push_back({"LinesOfAHundredThousand",
                     wide_line + "\n? 2 3 2 " + wide_line + "\n101" + std::string(100000, '1') + "\n011" +
                         std::string(100000, '0') + "\n" + kGood,
                     "", block("2 3 2 1 2 16", {"101", "011"}, " 0^1  2^3 ") + good_block(2, 2), "",
                     block("2 3 2 1 2 16", {"101", "011"}, " 2^3 ") + good_sums(2, 2)});
    const std::string row(100000, '1');
    if (kWide)
      cases.push_back({"RowOfAHundredThousand", "? 1 100000 2\n" + row + "\n", "",
                       block("1 100000 2 1 1 100000", {row}, " 0^1  100000^1 "), "",
                       block("1 100000 2 1 1 100000", {row}, " 100000^1 ")});
    else
      cases.push_back({"RowOfAHundredThousand", "? 1 100000 2\n" + row + "\n" + kGood,
                       refused(1, "n = 100000, this program takes n < 32768 for q = 2 (wdist-wide takes longer codes)"),
                       good_block(2),
                       refused(1, "n = 100000, this program takes n < 32768 for q = 2 (wdist-wide takes longer codes)"),
                       good_sums(2)});
  }
  cases.push_back({"CarriageReturnsOnly", "? 2 3 2\r101\r011\r" + kGood, truncated(1), "", truncated(1), ""});
  cases.push_back({"CarriageReturnsAndNewlines", "? 2 3 2 7\r\n101\r\n011\r\n? 1 2 2\r\n11\r\n", "",
                   block("2 3 2 1 2 16", {"101", "011"}, " 0^1  2^3 ") + good_block(2, 2), "",
                   block("2 3 2 1 2 16", {"101", "011"}, " 2^3 ") + good_sums(2, 2)});
  return cases;
}

void PrintTo(const HostileFile& c, std::ostream* os) { *os << c.name; }

class HostileFiles : public HostileTest, public ::testing::WithParamInterface<HostileFile> {};

TEST_P(HostileFiles, AnswerWithAMessageAndKeepEveryFinishedBlock) {
  const HostileFile& c = GetParam();
  put("EXAM.txt", c.bytes);
  ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Computation ..." + S);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(mask_time(file("EXAM.txt_r")), c.report);
  EXPECT_FALSE(path_exists(path_in(dir_, "ERRORq.txt")));
  if (c.weights_only) return;

  r = run("33\n4\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " SPEC  " + S);
  EXPECT_EQ(r.err, c.err_sums);
  EXPECT_EQ(mask_time(file("EXAM.txt_r")), c.report_sums);
  EXPECT_FALSE(path_exists(path_in(dir_, "ERRORq.txt")));
}

std::string hostile_name(const ::testing::TestParamInfo<HostileFile>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(Adversarial, HostileFiles, ::testing::ValuesIn(hostile_files()), hostile_name);

// ---------------------------------------------------------------- lengths at the limit

TEST_F(HostileTest, LongestCodesThisProgramAnnounces) {
  if (kWide) {
    // Far too long to compute here: a row that ends early shows the head
    // was taken (the record is cut, not refused).
    put("EXAM.txt", "? 1 536870911 4\n0123\n");
    ProgramRun r = run("1\n4\n");
    EXPECT_EQ(r.err, truncated(1));
    EXPECT_EQ(r.exit_status, 1);
    put("EXAM.txt", "? 1 2147483647 2\n01\n");
    r = run("1\n4\n");
    EXPECT_EQ(r.err, truncated(1));
    EXPECT_EQ(r.exit_status, 1);
    return;
  }
  // Every transform value stays within the 16-bit counters.
  const std::string binary(32767, '1');
  const std::string f4(8191, '1');
  put("EXAM.txt", "? 1 32767 2\n" + binary + "\n? 1 8191 4\n" + f4 + "\n");
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(mask_time(file("EXAM.txt_r")), block("1 32767 2 1 1 32768", {binary}, " 0^1  32767^1 ") +
                                               block("1 8191 4 2 1 32768", {f4}, " 0^1  8191^3 "));
}

// ---------------------------------------------------------------- memory that cannot be had

struct HaltCase {
  const char* name;
  const char* choice;
  const char* record;  // a table whose size is representable but cannot be had
};

void PrintTo(const HaltCase& c, std::ostream* os) { *os << c.name; }

class HaltRun : public HostileTest, public ::testing::WithParamInterface<HaltCase> {};

TEST_P(HaltRun, TableThatDoesNotFitMemoryHaltsWithItsCheckRecord) {
  const std::string choice = GetParam().choice;
  put("EXAM.txt", kGood + GetParam().record + kGood);
  const ProgramRun r = run(choice + "\n1 2 3\n");
  EXPECT_EQ(r.exit_status, 2);
  const std::string announced = choice == "1" ? " Computation ..." : " SPEC  ";
  // "ERROR" before each of the four reads (1, 2, 3, the end); no menu, and
  // the 1 starts no computation.
  EXPECT_EQ(r.out, S + announced + "ERRORERRORERRORERROR");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(file("ERRORq.txt"), check_record(kWide ? 133 : 105, "NULL==r"));
  // The block finished before the halt is in the report.
  EXPECT_EQ(mask_time(file("EXAM.txt_r")), choice == "1" ? good_block(1) : good_sums(1));
}

std::string halt_case_name(const ::testing::TestParamInfo<HaltCase>& param) { return param.param.name; }

// 2^40 binary counters; (3^32 - 1)/2 ternary points; (4^31 - 1)/3 points of F_4.
const std::string kBinary40 = "? 40 2 2\n" + rows_of(40, "11");
const std::string kTernary32 = "? 32 2 3\n" + rows_of(32, "12");
const std::string kF4Points31 = "? 31 1 4\n" + rows_of(31, "1");

std::vector<HaltCase> halt_cases() {
  std::vector<HaltCase> cases = {{"BinaryK40", "1", kBinary40.c_str()},
                                 {"TernaryK32", "1", kTernary32.c_str()},
                                 {"TernaryK32Sums", "33", kTernary32.c_str()}};
  if (!kWide) cases.push_back({"F4K31Sums", "33", kF4Points31.c_str()});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Adversarial, HaltRun, ::testing::ValuesIn(halt_cases()), halt_case_name);

TEST_F(HostileTest, UnwritableCheckRecordGoesToStandardError) {
  ASSERT_EQ(mkdir(path_in(dir_, "ERRORq.txt").c_str(), 0755), 0);
  put("EXAM.txt", "? 40 2 2\n" + rows_of(40, "11"));
  const ProgramRun r = run("1\n");
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, S + " Computation ...ERROR");
  EXPECT_EQ(r.err, check_record(kWide ? 133 : 105, "NULL==r"));
}

TEST_F(HostileTest, HaltedProgramEndsAtInputThatIsNoNumber) {
  put("EXAM.txt", "? 40 2 2\n" + rows_of(40, "11"));
  const ProgramRun r = run("1\n7 8 stop 9\n");
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, S + " Computation ...ERRORERRORERROR");
  // The halt starts no computation and shows no menu.
  EXPECT_EQ(file("EXAM.txt_r"), "");
}

// ---------------------------------------------------------------- unusable files

TEST_F(HostileTest, ReportThatCannotBeCreated) {
  put("EXAM.txt", kGood);
  ASSERT_EQ(mkdir(path_in(dir_, "EXAM.txt_r").c_str(), 0755), 0);
  const ProgramRun r = run("1\n33\n4\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Computation ..." + S + " SPEC  " + S);
  const std::string message = "wdist: cannot open output file EXAM.txt_r: Is a directory\n";
  EXPECT_EQ(r.err, message + message);
  EXPECT_EQ(file("EXAM.txt"), kGood);
}

TEST_F(HostileTest, ReportInAReadOnlyFolder) {
  ASSERT_EQ(mkdir(path_in(dir_, "ro").c_str(), 0755), 0);
  put("ro/codes.txt", kGood);
  ASSERT_EQ(chmod(path_in(dir_, "ro").c_str(), 0555), 0);
  RunLimits user;
  if (!unprivileged(user)) GTEST_SKIP() << "root writes into read-only folders, and no user nobody can run the program";
  const ProgramRun r = run("2\nro/codes.txt\n1\n4\n", user);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "wdist: cannot open output file ro/codes.txt_r: Permission denied\n");
  EXPECT_FALSE(path_exists(path_in(dir_, "ro/codes.txt_r")));
}

TEST_F(HostileTest, UnreadableInputFile) {
  put("EXAM.txt", kGood);
  put("EXAM.txt_r", "kept");
  ASSERT_EQ(chmod(path_in(dir_, "EXAM.txt").c_str(), 0), 0);
  RunLimits user;
  if (!unprivileged(user)) GTEST_SKIP() << "root reads files without read permission, and no user nobody can run the program";
  const ProgramRun r = run("1\n2\nEXAM.txt\n", user);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "wdist: cannot open input file EXAM.txt: Permission denied\n"
                   "Error while opening file.\n: Permission denied\n");
  EXPECT_EQ(file("EXAM.txt_r"), "kept");
}

TEST_F(HostileTest, InputThatOpensButCannotBeRead) {
  // Reading a process's own memory at address 0 fails with an I/O error.
  const ProgramRun r = run("2\n/proc/self/mem\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name ");
  EXPECT_EQ(r.err, "Error while opening file.\n: Input/output error\n");
}

// ---------------------------------------------------------------- full disk

// Under a file size limit a write beyond it fails as on a full disk: the
// program says so once and stops writing, rather than drawing or computing
// what it can no longer keep.
TEST_F(HostileTest, GeneratorStopsAtAFullDisk) {
  const ProgramRun r = run_in_dir("3\n1 1 2 2147483647\n4\n", 20, RunLimits{65536});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Enter n k q number: " + S);
  EXPECT_EQ(r.err, "wdist: writing EXAM.txt failed: File too large\n");
  const std::string text = file("EXAM.txt");
  EXPECT_EQ(text.size(), 65536u);
  EXPECT_EQ(text.rfind("\n? 1 1 2 1 \n", 0), 0u);
}

TEST_F(HostileTest, ReportStopsAtAFullDisk) {
  std::string codes;
  for (int i = 0; i < 1000; ++i) codes += kGood;
  put("EXAM.txt", codes);
  const ProgramRun r = run_in_dir("1\n4\n", 20, RunLimits{1024});
  EXPECT_EQ(r.exit_status, 1);
  // No progress line: the run ended long before the 100th record.
  EXPECT_EQ(r.out.find("100"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "wdist: writing EXAM.txt_r failed: File too large\n");
  const std::string report = file("EXAM.txt_r");
  EXPECT_EQ(report.size(), 1024u);
  EXPECT_EQ(mask_time(report).rfind(good_block(1) + good_block(2), 0), 0u);
}

}  // namespace
}  // namespace wdist_test
