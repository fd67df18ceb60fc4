// Stabilizer codes: the exact Shor-Laflamme enumerators of a stabilizer
// group and its normalizer, the quantum code's distance; and the weight
// distribution of an additive (F_2-linear) code over F_4, the same object
// without the commutation.
//
//   wdist::PauliGenerators g;
//   wdist::Status s = wdist::parse_generators({"XZZXI", "IXZZX", "XIXZZ", "ZXIXZ"}, 0, g);
//   wdist::StabilizerEnumerators e;
//   if (s) s = wdist::stabilizer_enumerators(g, {}, e);
//   if (!s) std::fprintf(stderr, "%s\n", s.message.c_str());
//   // the [[5,1,3]] code: e.A is 1 + 15 z^4, e.B is 1 + 30 z^3 + 15 z^4 + 18 z^5,
//   // e.k == 1, e.distance == 3, e.degenerate == false
//
// A Pauli operator on n qubits, up to its phase, is a pair (x, z) of n-bit
// vectors: I is (0, 0), X (1, 0), Z (0, 1), Y (1, 1) on each qubit; its
// weight is the number of qubits where (x_j, z_j) is not (0, 0). Two
// operators commute when x.z' + z.x' = 0 (mod 2). The group S spanned by
// r commuting generators has 2^rank elements (rank over F_2, at most n);
// its normalizer N(S), the operators commuting with all of S, has
// 4^n / 2^rank. A_w and B_w count their elements of weight w; the
// MacWilliams identity over F_4 ties them:
//   B_j = 2^(-rank) * sum over i of A_i * K_j(i),  K the Krawtchouk
//   polynomials of length n for q = 4,
// and either gives the other exactly.
//
// How they are counted: an operator (x, z) has exactly two ones among
// x_j, z_j, x_j + z_j on each qubit where it is not I, and none where it
// is. So the binary code of length 3n spanned by the rows (x | z | x + z)
// has, for each element of the group, one codeword of twice its weight,
// and its weight distribution (wdist.h: the characteristic vector of those
// 3n columns and one Walsh-Hadamard transform, on threads, block by block)
// is the group's: 2^rank messages, the cost of a binary code of dimension
// rank. The other enumerator follows by the identity above, in exact
// integers; a sum that leaves a remainder is an internal error, never a
// rounded count.
//
// Nothing here halts, exits or throws: every failure comes back as a
// Status (wdist.h). Malformed and non-commuting generators are
// StatusCode::invalid_code, with a message naming the generator (numbered
// from 1), the column and the character, or the pair that does not commute.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "wdist/records.h"
#include "wdist/wdist.h"

namespace wdist {

// r generators on n qubits in the binary symplectic form: generator i
// (0-based) is bits[i * 2n .. (i + 1) * 2n), its x part x_1..x_n first,
// then its z part z_1..z_n; every bit 0 or 1. The generators need not be
// independent.
struct PauliGenerators {
  std::int64_t n = 0;              // qubits, 1 .. kMaxQubits
  int r = 0;                       // generators, at least 1
  std::vector<std::uint8_t> bits;  // r * 2n bits, 0 or 1
};

// The most qubits taken: the counted binary code is 3n long, and lengths
// stay below 2^31.
inline constexpr std::int64_t kMaxQubits = ((std::int64_t{1} << 31) - 1) / 3;

// A stabilizer code's enumerators.
struct StabilizerEnumerators {
  std::int64_t n = 0;   // qubits
  int generators = 0;   // as given (r)
  int rank = 0;         // of S over F_2: |S| = 2^rank, at most n
  std::int64_t k = 0;   // n - rank: the logical qubits
  // Whose elements were counted: S itself (direct), or N(S) (dual), A then
  // following by the identity. Either is exact; see Options::dual below.
  Method method = Method::direct;
  std::vector<mpz_class> A;  // A[w], w = 0..n: elements of S of weight w (A[0] = 1, summing to 2^rank)
  std::vector<mpz_class> B;  // B[w], w = 0..n: elements of N(S) (B[0] = 1, summing to 4^n / 2^rank)
  // For k >= 1, the least w >= 1 with B_w > A_w: the least weight of an
  // operator that commutes with S but is not in it (up to its phase). For
  // k = 0 (N(S) = S: a stabilizer state) the least weight of an element of
  // S other than the identity, and distance_in_stabilizer is true.
  std::int64_t distance = 0;
  bool distance_in_stabilizer = false;
  // An element of S other than the identity has a weight below `distance`
  // (never for k = 0).
  bool degenerate = false;
};

// An additive code over F_4: the F_2-linear span of the rows, each coordinate
// (x_j, z_j) one element of F_4 (which one is immaterial to its weight: 0
// exactly for (0, 0)).
struct AdditiveDistribution {
  std::int64_t n = 0;       // length over F_4
  int generators = 0;       // rows as given
  int rank = 0;             // over F_2: 2^rank codewords, at most 2n
  Method method = Method::direct;  // its own codewords counted, or its symplectic dual's (below)
  std::vector<mpz_class> counts;   // counts[w], w = 0..n: codewords of weight w (counts[0] = 1)
};

// ---- Generators as text ----
//
// A generator is a Pauli string of n letters I, X, Y, Z (upper or lower
// case; '_' and '.' also stand for I), or its binary symplectic form: 2n
// digits 0 and 1, the x part then the z part. Blanks at either end (spaces,
// tabs, a carriage return) are ignored, and so is a leading phase: '+',
// '-', 'i', '+i', '-i'. A lowercase 'i' is also the letter I: it is read
// as the phase when a digit follows it, or when n letters follow it. The
// form is the binary one exactly when the first character after the phase
// is a digit. Blanks within a generator are not allowed.

// Appends generator `text`'s 2n bits (x then z) to `bits`. invalid_code
// when it is not an operator on n qubits: "column 4: 'Q' is not a Pauli
// letter (I, X, Y, Z)" (columns of `text`, from 1; a character outside
// printable ASCII as '\xNN'), "has 4 letters, not n = 5", "has 9 binary
// digits, not 2n = 10", "is empty". `bits` is unchanged then.
// out_of_memory when 2n more bits cannot be had.
Status parse_generator(std::string_view text, std::int64_t n, std::vector<std::uint8_t>& bits);

// The generators of `texts`, one each. With n >= 1 every text is read as an
// operator on n qubits; with n = 0 the texts decide it (the largest n they
// all allow: "iXZ" and "iZX" are read on 3 qubits, "iXZ" and "XZ" on 2).
// Messages as above, naming the generator from 1: "generator 2, column 4:
// 'Q' is not a Pauli letter (I, X, Y, Z)", "generator 2 has 4 letters, not
// n = 5". No texts at all, or n beyond kMaxQubits, is invalid_code.
Status parse_generators(const std::vector<std::string>& texts, std::int64_t n, PauliGenerators& result);

// Generator i (0-based) as a Pauli string of n letters from I, X, Y, Z.
std::string pauli_string(const PauliGenerators& generators, int i);

// ---- Checks ----

// Whether the value is one the calls below take: n in 1 .. kMaxQubits,
// r >= 1, bits.size() == r * 2n, every bit 0 or 1 (invalid_code, naming
// what is wrong, otherwise).
Status check_generators(const PauliGenerators& generators);

// check_generators, then whether every pair of generators commutes;
// invalid_code otherwise, naming the first pair that does not (the least
// j, then the least i < j): "generators 1 and 3 do not commute". Costs
// O(r * rank * n / 32) word operations (each generator against a basis of
// those before it); out_of_memory, naming the amount, when that basis
// (rank * n / 4 bytes) cannot be had.
Status check_commuting(const PauliGenerators& generators);

// ---- The calls ----
//
// Options (wdist.h) as for a linear code: threads, max_work, cancel and
// progress apply to the counting, which is that of a binary code of
// dimension rank (or of the dual's dimension); `projective` is not used.
// `dual` chooses whose elements are counted: the group's own (never), or
// those of its symplectic dual (always), the operators commuting with all
// of it, 4^n / 2^rank of them (for a stabilizer group its normalizer), the
// MacWilliams identity then giving the group's; automatic takes the cheaper
// (a tie: the group's own). For a stabilizer group that is always the
// group itself (rank <= n), and the binary code's own dual (of dimension
// 3n - rank, no group of operators) is never counted.
//
// too_much_work, before any work, when the elements counted exceed
// max_work, or the exact identity for n qubits (about n + 1 rows of n steps
// on numbers of up to 2n bits) costs more than that many messages would.

// S's and N(S)'s enumerators, the distance and degeneracy. invalid_code for
// generators check_commuting refuses; internal_error when a check fails
// (B_0 = 1, the A_w sum to 2^rank, the B_w to 4^n / 2^rank, B_w >= A_w for
// every w, every division exact): please report.
Status stabilizer_enumerators(const PauliGenerators& generators, const Options& options,
                              StabilizerEnumerators& result);

// The weight distribution of the additive code over F_4 spanned by the
// rows; no commutation asked for. invalid_code for a value
// check_generators refuses; internal_error as above (counts[0] = 1, the
// counts sum to 2^rank).
Status additive_distribution(const PauliGenerators& generators, const Options& options,
                             AdditiveDistribution& result);

// ---- The same in steps ----
//
// For front ends that count the binary code themselves through plan.h (their
// own threads, checkpoints, a cluster):
//
//   wdist::GroupImage image;
//   if (!wdist::image_of(generators, wdist::GroupKind::stabilizer, options, image)) ...
//   Options o = options; o.dual = wdist::DualRoute::never;  // the image is counted directly
//   ... plan_record(std::move(image.code), o, plan), run its units, finish_record -> counted
//   wdist::finish_stabilizer(image, counted, enumerators);

enum class GroupKind {
  stabilizer,  // commuting generators: S and N(S)
  additive,    // any rows: an additive code over F_4
};

// The binary code whose codewords are the counted group's elements at
// twice their weights, and what the finish needs to know.
struct GroupImage {
  GroupKind kind = GroupKind::stabilizer;
  std::int64_t n = 0;
  int generators = 0;
  int rank = 0;                    // of the generators' group
  Method method = Method::direct;  // direct: the group counted; dual: its symplectic dual
  int dimension = 0;               // of the counted group: rank, or 2n - rank
  // q = 2, length 3n, `dimension` independent rows (one zero row when the
  // dimension is 0): for each counted operator (x, z) the codeword
  // (x | z | x + z). Counted directly, never through its own dual.
  Code code;
};

// Checks the generators (check_commuting for a stabilizer group,
// check_generators for an additive code), chooses whose elements are
// counted (Options::dual) and checks the work (max_work), then builds the
// binary code. Fails as the calls above do, before any work.
Status image_of(const PauliGenerators& generators, GroupKind kind, const Options& options, GroupImage& image);

// The results from `counted`, the binary code's weight distribution
// (finish_record; 3n + 1 counts, every codeword once, not projective).
// `image` as image_of left it (its code may have been given up).
// internal_error when the checks fail; out_of_memory naming the amount.
Status finish_stabilizer(const GroupImage& image, const Distribution& counted, StabilizerEnumerators& result);
Status finish_additive(const GroupImage& image, const Distribution& counted, AdditiveDistribution& result);

// ---- Stabilizer records ----
//
// The record format of wdist.h's codes with its own head: a "?", then r and
// n as decimal numbers (spread over lines if you like; the rest of n's line
// is ignored, a third number such as a q among it), then r lines of one
// generator each, as above. Lines holding nothing but blanks are skipped
// wherever rows are expected. Everything between records is ignored.
//
//   ? 4 5
//   XZZXI
//   IXZZX
//   XIXZZ
//   ZXIXZ
//
// A record is refused (RecordStatus::refused, the reason in the record, the
// next record read on) for a head that does not start with two numbers, r
// < 1 or beyond 32 bits, n outside 1 .. kMaxQubits (numbers named as
// written), a malformed generator ("generator 2, column 4: 'Q' is not a
// Pauli letter (I, X, Y, Z)", "generator 2 has 4 letters, not n = 5"; the
// rest of the record's rows are then passed over as text between records),
// a line starting with '?' where a generator is expected ("it ends after 2
// of its 3 generators": the '?' starts the next record), generators that
// do not commute (GroupKind::stabilizer), or storage that cannot be had,
// naming the amount. The storage of a record grows with the rows read:
// what a head claims is never taken at once. The input ending inside a
// record is RecordStatus::truncated; a read error, failed.

struct StabilizerRecord {
  int number = 0;  // 1 for the first record of the input, refused ones included
  PauliGenerators generators;
  std::string reason;  // for refused
};

class StabilizerReader {
 public:
  // Reads from `in` (not owned, not closed); `kind` says whether the
  // generators must commute.
  explicit StabilizerReader(std::FILE* in, GroupKind kind = GroupKind::stabilizer);
  // The next record into `record`.
  RecordStatus next(StabilizerRecord& record);

 private:
  std::FILE* in_;
  GroupKind kind_;
  int number_ = 0;
  bool done_ = false;
  std::string line_;  // the row being read, kept for its storage
};

}  // namespace wdist
