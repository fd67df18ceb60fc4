// Stabilizer groups and additive codes over F_4 (wdist/stabilizer.h): the
// generators' checks and basis, whose elements are counted, the binary code
// that counts them, and the exact finish.
#include "wdist/stabilizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <new>
#include <numeric>
#include <utility>

#include "codefile/pauli_text.h"
#include "engine/basis.h"
#include "engine/dual.h"
#include "library/macwilliams.h"

namespace wdist {

namespace {

Status failure(StatusCode code, std::string message) { return Status{code, std::move(message)}; }

Status qubits_out_of_range(std::int64_t n) {
  char text[160];
  std::snprintf(text, sizeof text, "n = %lld, the number of qubits must lie in 1 .. %lld", static_cast<long long>(n),
                static_cast<long long>(kMaxQubits));
  return failure(StatusCode::invalid_code, text);
}

std::size_t row_bits(std::int64_t n) { return 2 * static_cast<std::size_t>(n); }

// ---- A basis of the generators, 64 bits a word ----
//
// Each operator is 2w words: its x part in words 0..w-1, its z part in
// w..2w-1 (w = ceil(n / 64)), bit j % 64 of word j / 64 for qubit j; the
// bits beyond n are 0. The basis rows are kept so that reducing by them in
// the order they were added clears every pivot: a row is reduced by all
// before it when it is added, so it holds 0 at their pivots, and reducing
// by it cannot set them again.
class PackedBasis {
 public:
  explicit PackedBasis(std::int64_t n) : n_(n), w_((static_cast<std::size_t>(n) + 63) / 64) {}

  [[nodiscard]] std::size_t words() const { return 2 * w_; }
  [[nodiscard]] int rank() const { return static_cast<int>(pivots_.size()); }
  [[nodiscard]] const std::uint64_t* row(int i) const { return rows_.data() + static_cast<std::size_t>(i) * words(); }

  // bits (2n of them, x then z) into `out` (words() words).
  void pack(const std::uint8_t* bits, std::uint64_t* out) const {
    std::fill(out, out + words(), 0);
    const auto n = static_cast<std::size_t>(n_);
    for (std::size_t j = 0; j < n; ++j) {
      out[j / 64] |= static_cast<std::uint64_t>(bits[j]) << (j % 64);
      out[w_ + j / 64] |= static_cast<std::uint64_t>(bits[n + j]) << (j % 64);
    }
  }

  // x.z' + z.x' (mod 2) of two packed operators.
  [[nodiscard]] bool anticommute(const std::uint64_t* a, const std::uint64_t* b) const {
    std::uint64_t parity = 0;
    for (std::size_t i = 0; i < w_; ++i) parity ^= (a[i] & b[w_ + i]) ^ (a[w_ + i] & b[i]);
    return (std::popcount(parity) & 1) != 0;
  }

  // Whether `v` anticommutes with some basis row: with some operator of
  // their span, which is that of the rows added so far.
  [[nodiscard]] bool anticommutes_with_span(const std::uint64_t* v) const {
    for (int i = 0; i < rank(); ++i)
      if (anticommute(v, row(i))) return true;
    return false;
  }

  // Reduces `v` (scratch, changed) by the basis and adds what is left, if
  // anything. May throw std::bad_alloc.
  void add(std::uint64_t* v) {
    for (int i = 0; i < rank(); ++i) {
      const std::size_t p = pivots_[static_cast<std::size_t>(i)];
      if ((v[p / 64] >> (p % 64)) & 1) {
        const std::uint64_t* b = row(i);
        for (std::size_t t = 0; t < words(); ++t) v[t] ^= b[t];
      }
    }
    for (std::size_t t = 0; t < words(); ++t)
      if (v[t] != 0) {
        pivots_.push_back(t * 64 + static_cast<std::size_t>(std::countr_zero(v[t])));
        rows_.insert(rows_.end(), v, v + words());
        return;
      }
  }

  // Basis row i as 2n bits, x then z.
  void unpack(int i, std::uint8_t* bits) const {
    const std::uint64_t* b = row(i);
    const auto n = static_cast<std::size_t>(n_);
    for (std::size_t j = 0; j < n; ++j) {
      bits[j] = static_cast<std::uint8_t>((b[j / 64] >> (j % 64)) & 1);
      bits[n + j] = static_cast<std::uint8_t>((b[w_ + j / 64] >> (j % 64)) & 1);
    }
  }

 private:
  std::int64_t n_;
  std::size_t w_;
  std::vector<std::uint64_t> rows_;
  std::vector<std::size_t> pivots_;  // of each row: its first nonzero bit
};

// The basis of the generators' span; with `commuting`, generator by
// generator, that each commutes with those before it (with their span),
// else the first pair that does not: `status` then says which.
Status basis_of(const PauliGenerators& g, bool commuting, PackedBasis& basis) {
  try {
    std::vector<std::uint64_t> v(basis.words()), earlier(basis.words());
    const std::size_t bits = row_bits(g.n);
    for (int j = 0; j < g.r; ++j) {
      const std::uint8_t* row = g.bits.data() + static_cast<std::size_t>(j) * bits;
      basis.pack(row, v.data());
      if (commuting && basis.anticommutes_with_span(v.data())) {
        // Some generator before j anticommutes with it: the first is looked
        // for once, at this cost.
        for (int i = 0; i < j; ++i) {
          basis.pack(g.bits.data() + static_cast<std::size_t>(i) * bits, earlier.data());
          if (basis.anticommute(v.data(), earlier.data()))
            return failure(StatusCode::invalid_code,
                           "generators " + std::to_string(i + 1) + " and " + std::to_string(j + 1) + " do not commute");
        }
        return failure(StatusCode::internal_error, "a generator anticommutes with a span its generators commute with");
      }
      basis.add(v.data());
    }
  } catch (const std::bad_alloc&) {
    const auto rank = static_cast<std::uint64_t>(std::min<std::int64_t>(g.r, 2 * g.n));
    return failure(StatusCode::out_of_memory, "a basis of the generators (" +
                                                  bytes_text(rank * basis.words() * sizeof(std::uint64_t)) +
                                                  ") cannot be had");
  }
  return Status{};
}

// ---- The exact identity over F_4 ----

// out[j] = 2^(-exponent) * sum over i of in_i * K_j(i), the Krawtchouk
// polynomials of length n for q = 4: the enumerator of the symplectic dual
// of a group of 2^exponent elements from the group's. False, with `error`,
// for a sum that is negative or not divisible.
bool macwilliams_f4(std::int64_t n, int exponent, const std::vector<mpz_class>& in, std::vector<mpz_class>& out,
                    std::string& error) {
  krawtchouk_sums(4, n, in, out);
  for (std::size_t j = 0; j < out.size(); ++j) {
    if (out[j] < 0 || !mpz_divisible_2exp_p(out[j].get_mpz_t(), static_cast<mp_bitcnt_t>(exponent))) {
      error = "MacWilliams sum at weight " + std::to_string(j) + " is " +
              (out[j] < 0 ? std::string("negative") : "not divisible by 2^" + std::to_string(exponent));
      return false;
    }
    mpz_tdiv_q_2exp(out[j].get_mpz_t(), out[j].get_mpz_t(), static_cast<mp_bitcnt_t>(exponent));
  }
  return true;
}

// What the identity costs, in the messages the work limit counts: at most
// min(n + 1, 2^dimension) rows; the sums are bounded as those of a code of
// 4^ceil(dimension / 2) words.
double macwilliams_f4_cost(std::int64_t n, int dimension) { return macwilliams_cost(4, n, (dimension + 1) / 2); }

// 2^e as a double (infinite beyond its range): a count of messages.
double messages_of(std::int64_t e) { return std::ldexp(1.0, static_cast<int>(std::min<std::int64_t>(e, 4096))); }

bool sum_is_power_of_two(const std::vector<mpz_class>& counts, std::int64_t exponent) {
  const mpz_class sum = std::accumulate(counts.begin(), counts.end(), mpz_class(0));
  mpz_class expected = 0;
  mpz_setbit(expected.get_mpz_t(), static_cast<mp_bitcnt_t>(exponent));
  return sum == expected;
}

Status broken(const std::string& what) { return failure(StatusCode::internal_error, what); }

// The counted group's enumerator from the binary code's counts: its
// codeword of weight 2w for each element of weight w.
Status group_counts(const GroupImage& image, const Distribution& counted, std::vector<mpz_class>& G) {
  const auto length = static_cast<std::size_t>(3 * image.n) + 1;
  if (counted.q != 2 || counted.n != 3 * image.n || counted.projective || counted.counts.size() != length ||
      counted.rank != image.dimension)
    return broken("the counted binary code is not the group's image");
  G.assign(static_cast<std::size_t>(image.n) + 1, 0);
  // An operator's image has twice its weight, at most 2n of the 3n columns.
  for (std::size_t w = 0; w < length; ++w) {
    if (w % 2 == 0 && w / 2 < G.size())
      G[w / 2] = counted.counts[w];
    else if (counted.counts[w] != 0)
      return broken("the group's image has a codeword of " + std::string(w % 2 != 0 ? "odd " : "") + "weight " +
                    std::to_string(w) + (w % 2 != 0 ? "" : ", beyond 2n"));
  }
  if (G[0] != 1 || !sum_is_power_of_two(G, image.dimension))
    return broken("the counted group's enumerator does not sum to 2^" + std::to_string(image.dimension));
  return Status{};
}

Status counts_not_had(std::int64_t n, int vectors) {
  // Up to n + 1 counts of up to 2n bits each, and GMP's header of each.
  const double bytes = static_cast<double>(vectors) * (static_cast<double>(n) + 1) *
                       (static_cast<double>(n) / 4 + sizeof(mpz_class));
  return failure(StatusCode::out_of_memory, "the enumerators of " + std::to_string(n) + " qubits (up to " +
                                                bytes_text(static_cast<std::uint64_t>(std::min(bytes, 0x1p63))) +
                                                ") cannot be had");
}

// An amount of work as the messages name it: "2^40.0".
std::string log2_text(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "2^%.1f", x > 0 ? std::log2(x) : 0.0);
  return text;
}

// The generators of the symplectic dual of the group of `basis`, on n =
// `qubits`, 2n bits each, into `counted`. (a, b) commutes with every (x, z) of the group when
// a.z + b.x = 0: it lies in the ordinary dual of the rows (z | x).
void symplectic_dual(const PackedBasis& basis, std::int64_t qubits, std::vector<std::uint8_t>& counted) {
  const int rank = basis.rank();
  const auto n = static_cast<std::size_t>(qubits);
  std::vector<std::uint8_t> swapped(static_cast<std::size_t>(rank) * 2 * n);
  std::vector<std::uint8_t> row(2 * n);
  std::vector<const ElemCode*> rows(static_cast<std::size_t>(rank));
  for (int i = 0; i < rank; ++i) {
    basis.unpack(i, row.data());
    std::uint8_t* out = swapped.data() + static_cast<std::size_t>(i) * 2 * n;
    std::copy(row.begin() + static_cast<std::ptrdiff_t>(n), row.end(), out);
    std::copy(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(n), out + n);
    rows[static_cast<std::size_t>(i)] = out;
  }
  engine::Basis reduced;
  engine::reduce_to_basis(MatrixView{2, rank, qubits * 2, rows.data()}, reduced);
  engine::dual_generator(reduced, counted);
}

// The binary code of `dimension` operators of n qubits (2n bits each in
// `counted`): (x, z) becomes (x | z | x + z), whose weight is twice the
// operator's; at least one row, the zero row for the trivial group.
void binary_image(const std::vector<std::uint8_t>& counted, int dimension, std::int64_t qubits, Code& code) {
  const auto n = static_cast<std::size_t>(qubits);
  const int rows = std::max(dimension, 1);
  code.q = 2;
  code.k = rows;
  code.n = 3 * qubits;
  code.entries.assign(static_cast<std::size_t>(rows) * 3 * n, 0);
  for (int i = 0; i < dimension; ++i) {
    const std::uint8_t* op = counted.data() + static_cast<std::size_t>(i) * 2 * n;
    ElemCode* out = code.entries.data() + static_cast<std::size_t>(i) * 3 * n;
    for (std::size_t j = 0; j < n; ++j) {
      out[j] = op[j];
      out[n + j] = op[n + j];
      out[2 * n + j] = op[j] ^ op[n + j];
    }
  }
}

}  // namespace

// ---- Checks ----

Status check_generators(const PauliGenerators& g) {
  if (g.n < 1 || g.n > kMaxQubits) return qubits_out_of_range(g.n);
  if (g.r < 1) return failure(StatusCode::invalid_code, "r = " + std::to_string(g.r) + ", the number of generators must be at least 1");
  const auto wanted = static_cast<unsigned long long>(g.r) * row_bits(g.n);
  if (g.bits.size() != wanted)
    return failure(StatusCode::invalid_code, "the generators hold " + std::to_string(g.bits.size()) +
                                                 " bits, not r * 2n = " + std::to_string(wanted));
  const std::uint8_t largest = *std::max_element(g.bits.begin(), g.bits.end());
  if (largest <= 1) return Status{};
  const std::size_t bits = row_bits(g.n);
  for (std::size_t i = 0; i < g.bits.size(); ++i)
    if (g.bits[i] > 1)
      return failure(StatusCode::invalid_code, "bit " + std::to_string(i % bits + 1) + " of generator " +
                                                   std::to_string(i / bits + 1) + " is " + std::to_string(g.bits[i]) +
                                                   ", not 0 or 1");
  return Status{};
}

Status check_commuting(const PauliGenerators& g) {
  if (Status s = check_generators(g); !s) return s;
  PackedBasis basis(g.n);
  return basis_of(g, true, basis);
}

// ---- Text ----

Status parse_generator(std::string_view text, std::int64_t n, std::vector<std::uint8_t>& bits) {
  if (n < 1 || n > kMaxQubits) return qubits_out_of_range(n);
  const std::size_t before = bits.size();
  try {
    bits.resize(before + row_bits(n));
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory, "a generator of " + bytes_text(row_bits(n)) + " cannot be had");
  } catch (const std::length_error&) {
    return failure(StatusCode::out_of_memory, "a generator of " + bytes_text(row_bits(n)) + " cannot be had");
  }
  char reason[200];
  if (!read_pauli_text(text.data(), text.size(), n, 1, bits.data() + before, reason, sizeof reason)) {
    bits.resize(before);
    return failure(StatusCode::invalid_code, reason);
  }
  return Status{};
}

Status parse_generators(const std::vector<std::string>& texts, std::int64_t n, PauliGenerators& result) {
  result = PauliGenerators{};
  if (texts.empty()) return failure(StatusCode::invalid_code, "there are no generators");
  if (texts.size() > static_cast<std::size_t>(INT32_MAX))
    return failure(StatusCode::invalid_code, std::to_string(texts.size()) + " generators do not fit a 32-bit count");
  if (n != 0 && (n < 1 || n > kMaxQubits)) return qubits_out_of_range(n);
  char reason[200];
  const auto named = [](std::size_t i, const std::string& what) {
    return failure(StatusCode::invalid_code, "generator " + std::to_string(i + 1) + what);
  };
  if (n == 0) {
    // The n every text allows, as a set of at most two values.
    std::int64_t allowed[2] = {};
    int count = 0;
    std::int64_t first = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const PauliShape shape = pauli_shape(texts[i].data(), texts[i].size(), 1, reason, sizeof reason);
      if (!shape.valid) return named(i, ", " + std::string(reason));
      if (shape.count == 0)
        return named(i, shape.binary ? " has an odd number of binary digits" : " holds no Pauli letters");
      if (i == 0) {
        count = shape.count;
        std::copy(shape.n, shape.n + 2, allowed);
        first = shape.n[0];
        continue;
      }
      int kept = 0;
      for (int a = 0; a < count; ++a)
        if (std::find(shape.n, shape.n + shape.count, allowed[a]) != shape.n + shape.count) allowed[kept++] = allowed[a];
      if (kept == 0)
        return named(i, " is an operator on " + std::to_string(shape.n[0]) + " qubits, generator 1 on " +
                            std::to_string(first));
      count = kept;
    }
    n = allowed[0];  // the larger when two remain: a leading 'i' read as the letter
    if (n > kMaxQubits) return qubits_out_of_range(n);
  }
  try {
    result.bits.resize(texts.size() * row_bits(n));
  } catch (const std::bad_alloc&) {
    return failure(StatusCode::out_of_memory,
                   "the generators (" + bytes_text(texts.size() * row_bits(n)) + ") cannot be had");
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (!read_pauli_text(texts[i].data(), texts[i].size(), n, 1, result.bits.data() + i * row_bits(n), reason,
                         sizeof reason)) {
      result = PauliGenerators{};
      return named(i, (reason[0] == 'c' ? ", " : " ") + std::string(reason));
    }
  }
  result.n = n;
  result.r = static_cast<int>(texts.size());
  return Status{};
}

std::string pauli_string(const PauliGenerators& g, int i) {
  const auto n = static_cast<std::size_t>(g.n);
  const std::uint8_t* row = g.bits.data() + static_cast<std::size_t>(i) * 2 * n;
  std::string text(n, 'I');
  for (std::size_t j = 0; j < n; ++j) text[j] = "IXZY"[(row[j] & 1) | ((row[n + j] & 1) << 1)];
  return text;
}

// ---- Steps ----

Status image_of(const PauliGenerators& g, GroupKind kind, const Options& options, GroupImage& image) {
  image = GroupImage{};
  if (Status s = check_generators(g); !s) return s;
  PackedBasis basis(g.n);
  if (Status s = basis_of(g, kind == GroupKind::stabilizer, basis); !s) return s;
  const bool stabilizer = kind == GroupKind::stabilizer;
  const int rank = basis.rank();
  const std::int64_t dual_dimension = 2 * g.n - rank;

  // The two routes: the group's own 2^rank elements, or its symplectic
  // dual's 2^(2n - rank) and the identity. A stabilizer group needs the
  // identity either way (for B or for A), an additive code only from its
  // dual.
  const double direct_messages = messages_of(rank);
  const double dual_messages = messages_of(dual_dimension);
  const double direct_identity = stabilizer ? macwilliams_f4_cost(g.n, rank) : 0;
  const double dual_identity =
      dual_dimension <= 4096 ? macwilliams_f4_cost(g.n, static_cast<int>(dual_dimension)) : HUGE_VAL;
  bool dual = false;
  switch (options.dual) {
    case DualRoute::never: dual = false; break;
    case DualRoute::always: dual = true; break;
    case DualRoute::automatic: dual = dual_messages + dual_identity < direct_messages + direct_identity; break;
  }
  const double messages = dual ? dual_messages : direct_messages;
  const double identity = dual ? dual_identity : direct_identity;
  if (messages > options.max_work) {
    char text[240];
    std::snprintf(text, sizeof text,
                  "needs 2^%lld elements counted (2^%d of the group, 2^%lld of its symplectic dual), more than the "
                  "work limit %s",
                  static_cast<long long>(dual ? dual_dimension : rank), rank, static_cast<long long>(dual_dimension),
                  log2_text(options.max_work).c_str());
    return failure(StatusCode::too_much_work, text);
  }
  if (identity > options.max_work)
    return failure(StatusCode::too_much_work, "the exact MacWilliams identity on " + std::to_string(g.n) +
                                                  " qubits needs about " + log2_text(identity) +
                                                  " messages' work, more than the work limit " +
                                                  log2_text(options.max_work));

  image.kind = kind;
  image.n = g.n;
  image.generators = g.r;
  image.rank = rank;
  image.method = dual ? Method::dual : Method::direct;
  image.dimension = static_cast<int>(dual ? dual_dimension : rank);
  const auto n = static_cast<std::size_t>(g.n);
  try {
    // The counted group's generators, 2n bits each.
    std::vector<std::uint8_t> counted;
    if (dual) {
      symplectic_dual(basis, g.n, counted);
    } else {
      counted.resize(static_cast<std::size_t>(rank) * 2 * n);
      for (int i = 0; i < rank; ++i) basis.unpack(i, counted.data() + static_cast<std::size_t>(i) * 2 * n);
    }
    binary_image(counted, image.dimension, g.n, image.code);
  } catch (const std::bad_alloc&) {
    image.code = Code{};
    const auto rows = static_cast<std::uint64_t>(std::max(image.dimension, 1));
    return failure(StatusCode::out_of_memory,
                   "the binary code of the group (" + bytes_text(rows * 3 * static_cast<std::uint64_t>(n)) +
                       ") cannot be had");
  }
  return Status{};
}

Status finish_stabilizer(const GroupImage& image, const Distribution& counted, StabilizerEnumerators& result) {
  result = StabilizerEnumerators{};
  if (image.kind != GroupKind::stabilizer) return broken("the image is not a stabilizer group's");
  try {
    std::vector<mpz_class> G;
    if (Status s = group_counts(image, counted, G); !s) return s;
    const std::int64_t n = image.n;
    std::string error;
    if (image.method == Method::direct) {
      result.A = std::move(G);
      if (!macwilliams_f4(n, image.rank, result.A, result.B, error)) return broken("the normalizer's " + error);
    } else {
      result.B = std::move(G);
      if (!macwilliams_f4(n, image.dimension, result.B, result.A, error)) return broken("the stabilizer's " + error);
    }
    if (result.A[0] != 1 || result.B[0] != 1) return broken("A_0 or B_0 is not 1");
    if (!sum_is_power_of_two(result.A, image.rank)) return broken("the A_w do not sum to 2^rank");
    if (!sum_is_power_of_two(result.B, 2 * n - image.rank)) return broken("the B_w do not sum to 4^n / 2^rank");
    const auto length = static_cast<std::size_t>(n) + 1;
    for (std::size_t w = 0; w < length; ++w)
      if (result.B[w] < result.A[w]) return broken("B_" + std::to_string(w) + " is less than A_" + std::to_string(w));

    result.n = n;
    result.generators = image.generators;
    result.rank = image.rank;
    result.k = n - image.rank;
    result.method = image.method;
    result.distance_in_stabilizer = result.k == 0;
    std::size_t d = 1;
    while (d < length && (result.k == 0 ? result.A[d] == 0 : result.B[d] == result.A[d])) ++d;
    if (d == length) return broken("no weight gives the distance");
    result.distance = static_cast<std::int64_t>(d);
    for (std::size_t w = 1; w < d; ++w)
      if (result.A[w] != 0) result.degenerate = true;
    return Status{};
  } catch (const std::bad_alloc&) {
    result = StabilizerEnumerators{};
    return counts_not_had(image.n, 3);
  }
}

Status finish_additive(const GroupImage& image, const Distribution& counted, AdditiveDistribution& result) {
  result = AdditiveDistribution{};
  if (image.kind != GroupKind::additive) return broken("the image is not an additive code's");
  try {
    std::vector<mpz_class> G;
    if (Status s = group_counts(image, counted, G); !s) return s;
    if (image.method == Method::direct) {
      result.counts = std::move(G);
    } else {
      std::string error;
      if (!macwilliams_f4(image.n, image.dimension, G, result.counts, error)) return broken("the code's " + error);
      if (result.counts[0] != 1 || !sum_is_power_of_two(result.counts, image.rank))
        return broken("the counts do not sum to 2^rank");
    }
    result.n = image.n;
    result.generators = image.generators;
    result.rank = image.rank;
    result.method = image.method;
    return Status{};
  } catch (const std::bad_alloc&) {
    result = AdditiveDistribution{};
    return counts_not_had(image.n, 2);
  }
}

// ---- The calls ----

namespace {

// The image counted directly on the options' threads.
Status count_image(const GroupImage& image, const Options& options, Distribution& counted) {
  Options o = options;
  o.dual = DualRoute::never;
  o.projective = false;
  return weight_distribution(image.code, o, counted);
}

}  // namespace

Status stabilizer_enumerators(const PauliGenerators& generators, const Options& options,
                              StabilizerEnumerators& result) {
  result = StabilizerEnumerators{};
  GroupImage image;
  Distribution counted;
  if (Status s = image_of(generators, GroupKind::stabilizer, options, image); !s) return s;
  if (Status s = count_image(image, options, counted); !s) return s;
  image.code = Code{};
  return finish_stabilizer(image, counted, result);
}

Status additive_distribution(const PauliGenerators& generators, const Options& options,
                             AdditiveDistribution& result) {
  result = AdditiveDistribution{};
  GroupImage image;
  Distribution counted;
  if (Status s = image_of(generators, GroupKind::additive, options, image); !s) return s;
  if (Status s = count_image(image, options, counted); !s) return s;
  image.code = Code{};
  return finish_additive(image, counted, result);
}

}  // namespace wdist
