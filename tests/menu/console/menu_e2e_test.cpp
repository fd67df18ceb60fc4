// The menu through the real program: the screen bytes, the dispatch, the
// file-name dialogue, the random code generator, and what happens when the
// console gives something that is no number or nothing at all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/work_dir_test.h"

namespace wdist_test {
namespace {

const std::string S = menu_screen();

std::string screen_for(const std::string& input_name) { return menu_screen(input_name, input_name + "_r"); }

class MenuTest : public WorkDirTest {
 protected:
  ProgramRun run(const std::string& input) { return run_in_dir(input); }
};

// ---------------------------------------------------------------- screen and dispatch

TEST_F(MenuTest, ChoiceFourAlone) {
  const ProgramRun r = run("4\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S);
  EXPECT_EQ(r.err, "");
}

TEST_F(MenuTest, ZeroAndNegativeShowTheScreenAgainFiveAsksForAChoice) {
  const ProgramRun r = run("0 -7 5 4");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + S + S + "Choose someting" + S);
  EXPECT_EQ(r.err, "");
}

TEST_F(MenuTest, ChoicesBetweenAndAboveTheListedOnes) {
  const ProgramRun r = run("32\n34\n2147483647\n4\n");
  EXPECT_EQ(r.out, S + "Choose someting" + S + "Choose someting" + S + "Choose someting" + S);
  EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTest, HiddenChoiceRunsTheProjectiveSums) {
  put("EXAM.txt", "? 2 3 2\n101\n011\n");
  const ProgramRun r = run("33\n4\n");
  EXPECT_EQ(r.out, S + " SPEC  " + S);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_status, 1);
  // One count per projective point: the three nonzero codewords, weight 2.
  EXPECT_EQ(mask_time(file("EXAM.txt_r")),
            std::string("\n? 2 3 2 1 2 16  \n101\n011\nG= 1 \n\n Time =  ") + kMaskedTime + " seconds \n 2^3 ");
}

TEST_F(MenuTest, ChoiceOneAnnouncesTheComputation) {
  put("EXAM.txt", "");
  const ProgramRun r = run("1\n4\n");
  EXPECT_EQ(r.out, S + " Computation ..." + S);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(file("EXAM.txt_r"), "");
}

// ---------------------------------------------------------------- console input that is no choice

TEST_F(MenuTest, TextThatIsNoNumberIsDiscardedWithItsLine) {
  const ProgramRun r = run("abc 4 def\n5x\n4\n");
  // "abc" and the rest of its line go; "5" is a choice, "x" goes with its line.
  EXPECT_EQ(r.out, S + S + "Choose someting" + S + S);
  EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTest, EndlessGarbageEndsWithTheInput) {
  std::string garbage;
  for (int i = 0; i < 200; ++i) garbage += "?? no number here\n";
  const ProgramRun r = run(garbage);
  EXPECT_EQ(r.exit_status, 1);
  std::string expected;
  for (int i = 0; i < 201; ++i) expected += S;
  EXPECT_EQ(r.out, expected);
}

TEST_F(MenuTest, ALoneSignIsNoNumber) {
  const ProgramRun r = run("-\n+ 4\n4\n");
  EXPECT_EQ(r.out, S + S + S);
  EXPECT_EQ(r.exit_status, 1);
}

struct InputEnd {
  const char* name;
  const char* input;
  const char* after_screen;  // what the screen is followed by
};

class EndOfInput : public MenuTest, public ::testing::WithParamInterface<InputEnd> {};

TEST_P(EndOfInput, EndsTheProgramLikeChoiceFour) {
  const ProgramRun r = run(GetParam().input);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + GetParam().after_screen);
  EXPECT_FALSE(path_exists(path_in(dir_, "EXAM.txt")));
}

std::string input_end_name(const ::testing::TestParamInfo<InputEnd>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Menu, EndOfInput,
    ::testing::Values(InputEnd{"AtTheMenu", "", ""}, InputEnd{"AtTheMenuAfterBlanks", "  \n\n ", ""},
                      InputEnd{"AtTheGenerator", "3\n", " Enter n k q number: "},
                      InputEnd{"InsideTheGeneratorNumbers", "3\n5 2 3", " Enter n k q number: "},
                      InputEnd{"AtTheDialogue", "2\n", " Enter input file name "},
                      InputEnd{"AtTheDialogueAfterSkippedLines", "2\n\n  skipped\n\n", " Enter input file name "}),
    input_end_name);

TEST_F(MenuTest, EndOfInputAfterAFailedName) {
  const ProgramRun r = run("2\nmissing.txt\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name ");
  EXPECT_EQ(r.err, "Error while opening file.\n: No such file or directory\n");
}

// ---------------------------------------------------------------- file-name dialogue

TEST_F(MenuTest, DialogueAsksUntilANameOpens) {
  put("codes.txt", "");
  const ProgramRun r = run("2\nmissing.txt\ncodes.txt\n4\n");
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name " + screen_for("codes.txt"));
  EXPECT_EQ(r.err, "Error while opening file.\n: No such file or directory\n");
}

TEST_F(MenuTest, DialogueNameWithFolders) {
  ASSERT_EQ(mkdir(path_in(dir_, "data").c_str(), 0755), 0);
  put("data/codes.txt", "? 1 2 2\n11\n");
  const ProgramRun r = run("2\ndata/codes.txt\n1\n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name " + screen_for("data/codes.txt") + " Computation ..." +
                       screen_for("data/codes.txt"));
  EXPECT_EQ(r.err, "");
  EXPECT_NE(file("data/codes.txt_r"), "<missing>");
  EXPECT_FALSE(path_exists(path_in(dir_, "EXAM.txt_r")));
}

TEST_F(MenuTest, DialogueSkipsLinesStartingWithABlankAndKeepsTrailingBlanks) {
  put("codes.txt", "");
  put("codes.txt  ", "");
  const ProgramRun r = run("2\n codes.txt\n\n\ncodes.txt  \n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name " + screen_for("codes.txt  "));
  EXPECT_EQ(r.err, "");
}

TEST_F(MenuTest, DialogueRefusesADirectory) {
  ASSERT_EQ(mkdir(path_in(dir_, "folder").c_str(), 0755), 0);
  put("codes.txt", "");
  const ProgramRun r = run("2\nfolder\ncodes.txt\n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name " + screen_for("codes.txt"));
  EXPECT_EQ(r.err, "Error while opening file.\n: Is a directory\n");
}

// A name of `length` characters that names a file inside a folder (a single
// path component may not be that long).
std::string long_name(std::size_t length) {
  const std::string folder(200, 'd');
  return folder + "/" + std::string(length - folder.size() - 1, 'f');
}

TEST_F(MenuTest, LongestNameThatFitsIsTaken) {
  const std::string name = long_name(297);
  ASSERT_EQ(mkdir(path_in(dir_, std::string(200, 'd')).c_str(), 0755), 0);
  put(name, "");
  const ProgramRun r = run("2\n" + name + "\n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name " + screen_for(name));
  EXPECT_EQ(r.err, "");
}

TEST_F(MenuTest, LongerNamesAreRefusedWholeAndAskedAgain) {
  ASSERT_EQ(mkdir(path_in(dir_, std::string(200, 'd')).c_str(), 0755), 0);
  const std::string too_long = long_name(298);
  put(too_long, "");  // it would open; its length alone refuses it
  put("codes.txt", "");
  const ProgramRun r = run("2\n" + too_long + "\n" + std::string(10000, 'x') + "\ncodes.txt\n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name  Enter input file name " +
                       screen_for("codes.txt"));
  const std::string refusal = "wdist: file name refused: longer than 297 characters\n";
  EXPECT_EQ(r.err, refusal + refusal);
  EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTest, ATenThousandCharacterNameLineIsOneRefusal) {
  // Nothing of the rest of the line is read as a further name or choice.
  const ProgramRun r = run("2\n" + std::string(10000, '4') + "\n");
  EXPECT_EQ(r.out, S + " Enter input file name  Enter input file name ");
  EXPECT_EQ(r.err, "wdist: file name refused: longer than 297 characters\n");
  EXPECT_EQ(r.exit_status, 1);
}

// ---------------------------------------------------------------- the generator

struct GeneratedRecord {
  std::string head;
  std::vector<std::string> rows;
};

// Splits a generated file into its records; false when the layout is not
// the generator's (empty first line, head lines, rows).
bool parse_generated(const std::string& text, std::vector<GeneratedRecord>& records) {
  records.clear();
  if (text.empty() || text[0] != '\n') return false;
  std::size_t at = 1;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;  // every line ends with a newline
    const std::string line = text.substr(at, end - at);
    if (!line.empty() && line[0] == '?')
      records.push_back({line, {}});
    else if (records.empty())
      return false;
    else
      records.back().rows.push_back(line);
    at = end + 1;
  }
  return true;
}

void expect_generated(const std::string& text, int n, int k, int q, int number) {
  std::vector<GeneratedRecord> records;
  ASSERT_TRUE(parse_generated(text, records)) << text.substr(0, 200);
  ASSERT_EQ(static_cast<int>(records.size()), number < 0 ? 0 : number);
  for (int i = 0; i < static_cast<int>(records.size()); ++i) {
    const GeneratedRecord& r = records[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.head, "? " + std::to_string(k) + " " + std::to_string(n) + " " + std::to_string(q) + " " +
                          std::to_string(i + 1) + " ");
    ASSERT_EQ(static_cast<int>(r.rows.size()), k);
    for (const std::string& row : r.rows) {
      ASSERT_EQ(static_cast<int>(row.size()), n);
      for (char c : row) {
        ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << row;
        ASSERT_LT(c - '0', q) << row;
      }
    }
  }
}

TEST_F(MenuTest, GeneratorWritesRecordsOfTheGivenShape) {
  const ProgramRun r = run("3\n5 2 3 2\n4\n");
  EXPECT_EQ(r.out, S + " Enter n k q number: " + S);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_status, 1);
  expect_generated(file("EXAM.txt"), 5, 2, 3, 2);
}

TEST_F(MenuTest, GeneratorEveryFieldUsesItsWholeAlphabet) {
  for (int q : {2, 3, 4, 5, 7}) {
    const ProgramRun r = run("3\n40 20 " + std::to_string(q) + " 3\n4\n");
    EXPECT_EQ(r.err, "");
    const std::string text = file("EXAM.txt");
    expect_generated(text, 40, 20, q, 3);
    std::vector<GeneratedRecord> records;
    ASSERT_TRUE(parse_generated(text, records));
    std::string entries;
    for (const GeneratedRecord& record : records)
      for (const std::string& row : record.rows) entries += row;
    for (int digit = 0; digit < q; ++digit)
      EXPECT_NE(entries.find(static_cast<char>('0' + digit)), std::string::npos) << q << " " << digit;
  }
}

TEST_F(MenuTest, GeneratorEdgeShapes) {
  run("3\n5 0 2 3\n4\n");
  EXPECT_EQ(file("EXAM.txt"), "\n? 0 5 2 1 \n? 0 5 2 2 \n? 0 5 2 3 \n");
  run("3\n0 2 2 2\n4\n");
  EXPECT_EQ(file("EXAM.txt"), "\n? 2 0 2 1 \n\n\n? 2 0 2 2 \n\n\n");
  run("3\n5 2 2 0\n4\n");
  EXPECT_EQ(file("EXAM.txt"), "\n");
  run("3\n5 2 2 -4\n4\n");
  EXPECT_EQ(file("EXAM.txt"), "\n");
}

TEST_F(MenuTest, GeneratorRefusesWhatTheRecordsCannotCarry) {
  const char* refused[] = {"5 2 6 1", "5 2 0 1", "5 2 1 1", "5 2 11 1", "5 2 -2 1", "-1 2 2 1", "5 -1 2 1"};
  for (const char* parameters : refused) {
    put("EXAM.txt", "untouched");
    const ProgramRun r = run(std::string("3\n") + parameters + "\n4\n");
    EXPECT_EQ(r.out, S + " Enter n k q number: " + S) << parameters;
    EXPECT_EQ(r.err.rfind("wdist: no codes written: ", 0), 0u) << parameters << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << parameters;
    EXPECT_EQ(file("EXAM.txt"), "untouched") << parameters;
  }
}

TEST_F(MenuTest, GeneratorInputThatIsNoNumberStartsNothing) {
  put("EXAM.txt", "untouched");
  const ProgramRun r = run("3\n5 x 2 3\n4\n");
  EXPECT_EQ(r.out, S + " Enter n k q number: " + S);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(file("EXAM.txt"), "untouched");
}

TEST_F(MenuTest, GeneratorWritesTheCurrentInputFile) {
  put("mine.txt", "old");
  const ProgramRun r = run("2\nmine.txt\n3\n3 1 2 1\n4\n");
  EXPECT_EQ(r.out, S + " Enter input file name " + screen_for("mine.txt") + " Enter n k q number: " +
                       screen_for("mine.txt"));
  expect_generated(file("mine.txt"), 3, 1, 2, 1);
  EXPECT_FALSE(path_exists(path_in(dir_, "EXAM.txt")));
}

TEST_F(MenuTest, GeneratorCannotOpenItsFile) {
  ASSERT_EQ(mkdir(path_in(dir_, "EXAM.txt").c_str(), 0755), 0);
  const ProgramRun r = run("3\n3 1 2 1\n4\n");
  EXPECT_EQ(r.out, S + " Enter n k q number: " + S);
  EXPECT_EQ(r.err, "wdist: cannot open EXAM.txt for writing: Is a directory\n");
  EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTest, GeneratedFilesAreComputedRecordByRecord) {
  const ProgramRun r = run("3\n6 3 4 5\n1\n4\n");
  EXPECT_EQ(r.err, "");
  const std::string report = file("EXAM.txt_r");
  for (int i = 1; i <= 5; ++i)
    EXPECT_NE(report.find("\n? 3 6 4 " + std::to_string(i) + " 3 16  \n"), std::string::npos) << i;
  EXPECT_EQ(report.find("\n? 3 6 4 6 "), std::string::npos);
}

}  // namespace
}  // namespace wdist_test
