// wdist --stabilizer and --additive end to end: the known codes' parameters
// and enumerators in text and JSON, the k = 0 distance, the binary form
// read alike, refused records with the file going on, random groups
// against brute force over S and N(S), and the same output on any number
// of threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/pauli_ref.h"
#include "support/program_runner.h"
#include "support/stabilizer_codes.h"

namespace {

using namespace wdist_test;

constexpr double kTimeout = 60.0;

std::string record_of(const std::vector<std::string>& generators) {
  std::string r = "? " + std::to_string(generators.size()) + " " + std::to_string(generators.front().size()) + "\n";
  for (const std::string& g : generators) r += g + "\n";
  return r;
}

// "[[w, c], ...]" of the nonzero counts.
std::string json_counts(const std::vector<std::uint64_t>& counts) {
  std::string out = "[";
  for (std::size_t w = 0; w < counts.size(); ++w) {
    if (counts[w] == 0) continue;
    if (out.size() > 1) out += ", ";
    out += '[';
    out += std::to_string(w);
    out += ", ";
    out += std::to_string(counts[w]);
    out += ']';
  }
  return out + "]";
}

// Random generators on n qubits; with `commuting`, each kept only when it
// commutes with those kept before (so r stays small against n).
PauliList random_generators(std::mt19937_64& rng, int n, int r, bool commuting) {
  PauliList list;
  list.n = n;
  const char* letters = "IXYZ";
  while (static_cast<int>(list.ops.size()) < r) {
    std::string s;
    for (int j = 0; j < n; ++j) s += letters[rng() % 4];
    const PauliOp op = pauli_of(s);
    bool fits = true;
    for (const PauliOp& other : list.ops) fits = fits && (!commuting || commute(op, other));
    if (fits) list.ops.push_back(op);
  }
  return list;
}

class StabilizerCli : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_work_dir(); }
  void TearDown() override { remove_work_dir(dir_); }
  ProgramRun wdist(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), WDIST_CLI_PROGRAM);
    return run_command(args, dir_, input, kTimeout);
  }
  std::string path(const std::string& name) const { return path_in(dir_, name); }
  std::string dir_;
};

TEST_F(StabilizerCli, TheFiveQubitCodeInTextAndJson) {
  ASSERT_TRUE(write_file(path("five.txt"), record_of(five_qubit_code())));
  ProgramRun run = wdist({"--stabilizer", "five.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "five.txt record 1: [[5,1,3]] n=5 generators=4 rank=4 k=1 d=3 nondegenerate\n"
            "  A 0 1\n  A 4 15\n  B 0 1\n  B 3 30\n  B 4 15\n  B 5 18\n\n");
  run = wdist({"--stabilizer", "--format", "json", "five.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"file\": \"five.txt\", \"record\": 1, \"n\": 5, \"generators\": 4, \"rank\": 4, \"k\": 1, "
            "\"distance\": 3, \"distance_in_stabilizer\": false, \"degenerate\": false, "
            "\"A\": [[0, 1], [4, 15]], \"B\": [[0, 1], [3, 30], [4, 15], [5, 18]]}\n");
}

// Steane, Shor (degenerate), [[4,2,2]], toric and surface codes, the
// quantum Golay code: one file, each record's parameters as known.
TEST_F(StabilizerCli, KnownCodesHaveTheirParameters) {
  const std::vector<KnownStabilizer> codes = known_stabilizer_codes();
  std::string file;
  for (const KnownStabilizer& c : codes) file += record_of(c.generators);
  ASSERT_TRUE(write_file(path("known.txt"), file));
  const ProgramRun run = wdist({"--stabilizer", "--format", "json", "known.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::regex line(
      R"(\{"file": "known.txt", "record": (\d+), "n": (\d+), "generators": \d+, "rank": (\d+), "k": (\d+), )"
      R"("distance": (\d+), "distance_in_stabilizer": false, "degenerate": (true|false), "A": \[\[0, 1\].*\]\}\n)");
  std::size_t at = 0;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    SCOPED_TRACE(codes[i].name);
    const std::size_t end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string text = run.out.substr(at, end + 1 - at);
    at = end + 1;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_EQ(m[1], std::to_string(i + 1));
    EXPECT_EQ(m[2], std::to_string(codes[i].n));
    EXPECT_EQ(std::stoll(m[2]) - std::stoll(m[3]), codes[i].k);
    EXPECT_EQ(m[4], std::to_string(codes[i].k));
    EXPECT_EQ(m[5], std::to_string(codes[i].distance));
    EXPECT_EQ(m[6], codes[i].degenerate ? "true" : "false");
  }
  EXPECT_EQ(at, run.out.size());
  // Shor's code as text says it is degenerate.
  ASSERT_TRUE(write_file(path("shor.txt"), record_of(shor_code())));
  const ProgramRun shor = wdist({"--stabilizer", "shor.txt"});
  EXPECT_EQ(shor.out.substr(0, shor.out.find('\n') + 1),
            "shor.txt record 1: [[9,1,3]] n=9 generators=8 rank=8 k=1 d=3 degenerate\n");
}

// k = 0, a stabilizer state: the distance is that of S, and says so. The
// binary symplectic form (and lower case, signs) reads alike.
TEST_F(StabilizerCli, AStateAndTheBinaryForm) {
  ASSERT_TRUE(write_file(path("bell.txt"), "? 2 2\nXX\nZZ\n? 2 2 4\n1100\n-i0011\n? 2 2\n+xx\n-zz\n"));
  ProgramRun run = wdist({"--stabilizer", "bell.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::string bell = ": [[2,0,2]] n=2 generators=2 rank=2 k=0 d=2 (least weight of a nonzero element of S) "
                           "nondegenerate\n  A 0 1\n  A 2 3\n  B 0 1\n  B 2 3\n\n";
  EXPECT_EQ(run.out, "bell.txt record 1" + bell + "bell.txt record 2" + bell + "bell.txt record 3" + bell);
  run = wdist({"--stabilizer", "--format", "json", "bell.txt"});
  EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1),
            "{\"file\": \"bell.txt\", \"record\": 1, \"n\": 2, \"generators\": 2, \"rank\": 2, \"k\": 0, "
            "\"distance\": 2, \"distance_in_stabilizer\": true, \"degenerate\": false, "
            "\"A\": [[0, 1], [2, 3]], \"B\": [[0, 1], [2, 3]]}\n");
}

TEST_F(StabilizerCli, RefusedRecordsAreNamedAndTheFileGoesOn) {
  ASSERT_TRUE(write_file(path("bad.txt"), "? 2 2\nXI\nZI\n" + record_of(four_two_two_code()) +
                                              "? 2 5\nXZZXI\nIXZZ\n? 1 3\nXQZ\n? 1 2\n1010\n"));
  ASSERT_TRUE(write_file(path("good.txt"), record_of(four_two_two_code())));
  const ProgramRun run = wdist({"--stabilizer", "bad.txt", "good.txt"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err,
            "wdist: bad.txt: record 1: generators 1 and 2 do not commute\n"
            "wdist: bad.txt: record 3: generator 2 has 4 letters, not n = 5\n"
            "wdist: bad.txt: record 4: generator 1, column 2: 'Q' is not a Pauli letter (I, X, Y, Z)\n");
  const std::string four = ": [[4,2,2]] n=4 generators=2 rank=2 k=2 d=2 nondegenerate\n"
                           "  A 0 1\n  A 4 3\n  B 0 1\n  B 2 18\n  B 3 24\n  B 4 21\n\n";
  EXPECT_EQ(run.out, "bad.txt record 2" + four + "bad.txt record 5: [[2,1,1]] n=2 generators=1 rank=1 k=1 d=1 "
                     "nondegenerate\n  A 0 1\n  A 1 1\n  B 0 1\n  B 1 4\n  B 2 3\n\n" + "good.txt record 1" + four);
  // Without the option, the same file is read as codes: nothing of it is
  // taken as Pauli operators.
  const ProgramRun codes = wdist({"good.txt"});
  EXPECT_NE(codes.exit_status, 0);
  EXPECT_EQ(codes.out.find("[["), std::string::npos) << codes.out;
}

TEST_F(StabilizerCli, OptionsThatDoNotApplyAreUsageErrors) {
  ASSERT_TRUE(write_file(path("five.txt"), record_of(five_qubit_code())));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--stabilizer", "--format", "report", "five.txt"},
        std::vector<std::string>{"--additive", "--projective", "five.txt"},
        std::vector<std::string>{"--stabilizer", "--additive", "five.txt"}}) {
    const ProgramRun run = wdist(args);
    EXPECT_EQ(run.exit_status, 2) << args[1];
    EXPECT_EQ(run.out, "");
  }
}

// Random commuting groups (n <= 7) against the brute-force enumeration of
// S and N(S); random additive codes against their spans.
TEST_F(StabilizerCli, RandomGroupsMatchBruteForce) {
  std::mt19937_64 rng(22);
  std::string stabilizers, additive;
  std::vector<std::string> expected_s, expected_a;
  for (int t = 0; t < 24; ++t) {
    const int n = 1 + t % 7;
    const int r = 1 + static_cast<int>(rng() % static_cast<unsigned>(n + 1));
    const PauliList list = random_generators(rng, n, r, true);
    stabilizers += record_of(pauli_texts(list));
    const GroupRef ref = group_ref(list, true);
    const int number = t + 1;
    expected_s.push_back("{\"file\": \"s.txt\", \"record\": " + std::to_string(number) + ", \"n\": " +
                         std::to_string(n) + ", \"generators\": " + std::to_string(r) + ", \"rank\": " +
                         std::to_string(ref.rank) + ", \"k\": " + std::to_string(n - ref.rank) + ", \"distance\": " +
                         std::to_string(ref.distance) + ", \"distance_in_stabilizer\": " +
                         (n == ref.rank ? "true" : "false") + ", \"degenerate\": " + (ref.degenerate ? "true" : "false") +
                         ", \"A\": " + json_counts(ref.A) + ", \"B\": " + json_counts(ref.B) + "}\n");
    const PauliList rows = random_generators(rng, n, 1 + static_cast<int>(rng() % static_cast<unsigned>(2 * n + 2)), false);
    // Every other additive record in the binary form.
    std::vector<std::string> texts = pauli_texts(rows);
    if (t % 2 == 1) {
      const std::vector<std::uint8_t> bits = symplectic_bits(rows);
      for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i].clear();
        const auto width = static_cast<std::size_t>(2 * n);
        for (std::size_t b = 0; b < width; ++b) texts[i] += static_cast<char>('0' + bits[i * width + b]);
      }
    }
    additive += "? " + std::to_string(texts.size()) + " " + std::to_string(n) + "\n";
    for (const std::string& g : texts) additive += g + "\n";
    const GroupRef span = group_ref(rows, false);
    std::int64_t d = -1;
    for (std::size_t w = 1; w < span.A.size() && d < 0; ++w)
      if (span.A[w] != 0) d = static_cast<std::int64_t>(w);
    expected_a.push_back(R"(, "additive": true, "n": )" + std::to_string(n) + ", \"generators\": " +
                         std::to_string(texts.size()) + ", \"rank\": " + std::to_string(span.rank) +
                         ", \"min_distance\": " + (d < 0 ? std::string("null") : std::to_string(d)) +
                         ", \"method\": \"direct\", \"distribution\": " + json_counts(span.A) + "}\n");
  }
  ASSERT_TRUE(write_file(path("s.txt"), stabilizers));
  ASSERT_TRUE(write_file(path("a.txt"), additive));
  const ProgramRun s = wdist({"--stabilizer", "--format", "json", "s.txt"});
  EXPECT_EQ(s.exit_status, 0) << s.err;
  std::string all;
  for (const std::string& e : expected_s) all += e;
  EXPECT_EQ(s.out, all);
  const ProgramRun a = wdist({"--additive", "--format", "json", "--dual", "never", "a.txt"});
  EXPECT_EQ(a.exit_status, 0) << a.err;
  std::size_t at = 0;
  for (std::size_t i = 0; i < expected_a.size(); ++i) {
    const std::size_t end = a.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string text = a.out.substr(at, end + 1 - at);
    at = end + 1;
    EXPECT_EQ(text, "{\"file\": \"a.txt\", \"record\": " + std::to_string(i + 1) + expected_a[i]);
  }
  // Through the symplectic dual where that is cheaper: the same counts.
  const ProgramRun automatic = wdist({"--additive", "--format", "json", "a.txt"});
  EXPECT_EQ(automatic.exit_status, 0) << automatic.err;
  EXPECT_EQ(std::regex_replace(automatic.out, std::regex("\"method\": \"dual\""), "\"method\": \"direct\""), a.out);
}

TEST_F(StabilizerCli, AdditiveCodesAsDistributionRecords) {
  ASSERT_TRUE(write_file(path("a.txt"), "? 2 2\nXI\nZI\n? 1 2\n0000\n"));
  ProgramRun run = wdist({"--additive", "a.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            "a.txt record 1: additive over F_4 n=2 generators=2 rank=2 d=1\n  0 1\n  1 3\n\n"
            "a.txt record 2: additive over F_4 n=2 generators=1 rank=0 d=-\n  0 1\n\n");
  run = wdist({"--additive", "--format", "json", "a.txt"});
  EXPECT_EQ(run.out,
            "{\"file\": \"a.txt\", \"record\": 1, \"additive\": true, \"n\": 2, \"generators\": 2, \"rank\": 2, "
            "\"min_distance\": 1, \"method\": \"direct\", \"distribution\": [[0, 1], [1, 3]]}\n"
            "{\"file\": \"a.txt\", \"record\": 2, \"additive\": true, \"n\": 2, \"generators\": 1, \"rank\": 0, "
            "\"min_distance\": null, \"method\": \"direct\", \"distribution\": [[0, 1]]}\n");
}

// One large record (2^22 elements, many units) among small ones: the same
// bytes on 1, 2 and 3 threads.
TEST_F(StabilizerCli, TheSameOutputOnAnyNumberOfThreads) {
  std::mt19937_64 rng(5);
  std::string file;
  for (int t = 0; t < 12; ++t) file += record_of(pauli_texts(random_generators(rng, 3 + t % 5, 2, true)));
  // 22 Z-type generators on 30 qubits, each qubit's letters then changed
  // alike (a local Clifford keeps them commuting).
  std::vector<std::string> texts;
  std::string swap;
  for (int j = 0; j < 30; ++j) swap += "XYZ"[rng() % 3];
  for (int i = 0; i < 22; ++i) {
    std::string g;
    for (int j = 0; j < 30; ++j) g += rng() % 2 == 0 ? 'I' : swap[static_cast<std::size_t>(j)];
    texts.push_back(g);
  }
  file += record_of(texts) + record_of(steane_code());
  ASSERT_TRUE(write_file(path("mix.txt"), file));
  const ProgramRun one = wdist({"--stabilizer", "--threads", "1", "mix.txt"});
  EXPECT_EQ(one.exit_status, 0) << one.err;
  EXPECT_NE(one.out.find("mix.txt record 13: [[30,8,"), std::string::npos);
  for (const char* threads : {"2", "3"}) {
    const ProgramRun run = wdist({"--stabilizer", "--threads", threads, "mix.txt"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.out, one.out) << threads << " threads";
  }
}

}  // namespace
