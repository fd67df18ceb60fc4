// wdist: the weight distribution of a linear code over any finite field
// F_q with q <= 256, exactly, without enumerating codewords.
//
//   wdist::Code code{2, 4, 7, {1,0,0,0,1,1,0,  0,1,0,0,1,0,1,
//                              0,0,1,0,0,1,1,  0,0,0,1,1,1,1}};
//   wdist::Distribution d;
//   if (wdist::Status s = wdist::weight_distribution(code, {}, d); !s)
//     std::fprintf(stderr, "%s\n", s.message.c_str());
//   // d.counts[w] is A_w: 1 7 7 1 at w = 0, 3, 4, 7
//
// The code is reduced to a basis of its row space first (its rank r), then
// either its own q^r messages are counted (the characteristic vector of
// the columns over the points of projective space and a fast transform),
// or, for a high-rate code, those of its dual code, of dimension n - r, and
// the MacWilliams identity gives the code's distribution. Every count is an
// exact integer of whatever size. Nothing here halts, exits or throws:
// every failure comes back as a Status. Every call of this interface takes
// what it reads first and what it fills or adds to last.
#pragma once

#include <gmpxx.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wdist/version.h"

namespace wdist {

using ElemCode = std::uint8_t;

// A linear code by a generator matrix of k rows and n columns. Element
// codes: with q = p^m and a a root of the Conway polynomial of F_q, the
// element c_0 + c_1 a + ... + c_(m-1) a^(m-1) (0 <= c_j < p) has the code
// c_0 + c_1 p + ... + c_(m-1) p^(m-1): for a prime q the residue 0..q-1;
// for q = 4 the code 2 stands for a root w of x^2 + x + 1 and 3 for w^2 =
// w + 1. The rows need not be independent.
struct Code {
  int q = 2;                      // a prime power p^m up to 256
  int k = 0;                      // rows, at least 1
  std::int64_t n = 0;             // columns, 0 <= n < 2^31
  std::vector<ElemCode> entries;  // k * n element codes, row by row: entries[i * n + j]
};

enum class DualRoute {
  automatic,  // whichever of the code and its dual costs less (PlanSummary::cost); a tie: the code
  never,      // always the code's own messages
  always,     // always through the dual code
};

// How far a computation is: units of work done of those planned.
struct Progress {
  std::uint64_t units_done;
  std::uint64_t units_total;
  double elapsed_seconds;
};

struct Options {
  // One count per one-dimensional subcode: A_w / (q - 1) for w >= 1, and 0
  // at w = 0.
  bool projective = false;
  DualRoute dual = DualRoute::automatic;
  // Threads to compute with; 0: every hardware thread.
  unsigned threads = 0;
  // A record whose cheapest route counts more messages than this is
  // refused before any work (StatusCode::too_much_work). At most 2^62.
  double max_work = 0x1p48;
  // Checked between units of work: once it holds true the computation
  // stops with StatusCode::cancelled.
  const std::atomic<bool>* cancel = nullptr;
  // Called from the calling thread while the work goes on (about every
  // tenth of a second, and once at the end), never from a worker thread.
  std::function<void(const Progress&)> progress;
};

enum class StatusCode {
  ok,
  invalid_code,   // q, k, n or an entry out of range, or entries of the wrong size
  too_much_work,  // above Options::max_work; the message gives the estimate
  out_of_memory,  // the message names the amount
  cancelled,
  internal_error,  // a broken invariant (a MacWilliams sum with a remainder, say): please report
};

struct Status {
  StatusCode code = StatusCode::ok;
  std::string message;  // empty when ok; one line without a newline otherwise
  explicit operator bool() const { return code == StatusCode::ok; }
};

enum class Method { direct, dual };

struct Distribution {
  int q = 2;
  std::int64_t n = 0;
  int k = 0;     // rows of the generator matrix
  int rank = 0;  // dimension of the code
  Method method = Method::direct;
  bool projective = false;
  // counts[w] for w = 0..n: A_w, the codewords of weight w (every codeword
  // once, A_0 = 1, summing to q^rank); or A_w / (q - 1) when projective.
  std::vector<mpz_class> counts;
};

// The smallest w >= 1 with a nonzero count; -1 for the zero code.
std::int64_t min_distance(const Distribution& d);

// Whether q is a field the library computes over (a prime power up to 256): ok, or
// invalid_code with the message check_code gives for such a q, naming it
// as `written` when that is not empty (a number beyond 64 bits as the
// caller has it, a Python int, say) and as its decimal value otherwise.
Status check_field(std::int64_t q, const std::string& written = {});

// Whether `code` can be computed at all: q a prime power up to 256; k >= 1;
// 0 <= n < 2^31; entries.size() == k * n; every entry below q.
Status check_code(const Code& code);

// The weight distribution of the code spanned by the rows.
Status weight_distribution(const Code& code, const Options& options, Distribution& result);

// An amount of memory as the library's messages name what cannot be had:
// "200000 bytes", "1.5 MiB", "2.0 GiB". Front ends name theirs alike.
std::string bytes_text(std::uint64_t bytes);

}  // namespace wdist
