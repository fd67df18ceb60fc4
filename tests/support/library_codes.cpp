#include "support/library_codes.h"

#include <sstream>

namespace wdist_test {

wdist::Code to_code(const TestCode& code) {
  wdist::Code c;
  c.q = code.q;
  c.k = code.k;
  c.n = code.n;
  for (int i = 0; i < code.k; ++i)
    for (int j = 0; j < code.n; ++j) c.entries.push_back(static_cast<wdist::ElemCode>(entry_of(code, i, j)));
  return c;
}

TestCode random_code(std::mt19937_64& rng, int q, int k, int n, bool rank_deficient, int zero_columns) {
  TestCode c{k, n, q, std::vector<std::vector<int>>(static_cast<std::size_t>(k), std::vector<int>(static_cast<std::size_t>(n)))};
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < n; ++j) entry_of(c, i, j) = static_cast<int>(rng() % static_cast<unsigned>(q));
  if (rank_deficient && k >= 2) {
    // The last row a combination of the first two, or a copy of the first.
    const int a = static_cast<int>(rng() % static_cast<unsigned>(q)), b = static_cast<int>(rng() % static_cast<unsigned>(q));
    for (int j = 0; j < n; ++j)
      entry_of(c, k - 1, j) = field_add(q, field_mul(q, a, entry_of(c, 0, j)), field_mul(q, b, entry_of(c, 1, j)));
  }
  for (int z = 0; z < zero_columns && z < n; ++z) {
    const int j = static_cast<int>(rng() % static_cast<unsigned>(n));
    for (int i = 0; i < k; ++i) entry_of(c, i, j) = 0;
  }
  return c;
}

Weights codeword_weights(const TestCode& code, int& rank) {
  const Weights all = all_message_weights(code);  // each codeword q^(k - rank) times
  std::uint64_t zero_messages = all[0];           // messages giving the zero word: q^(k - rank)
  rank = code.k;
  std::uint64_t power = 1;
  while (power < zero_messages) {
    power *= static_cast<std::uint64_t>(code.q);
    --rank;
  }
  Weights a(all.size());
  for (std::size_t w = 0; w < all.size(); ++w) a[w] = all[w] / zero_messages;
  return a;
}

Weights as_weights(const wdist::Distribution& d) {
  Weights w;
  for (const mpz_class& c : d.counts) w.push_back(static_cast<std::uint64_t>(c.get_ui()));
  return w;
}

std::string describe(const wdist::Code& code) {
  std::ostringstream s;
  s << "q=" << code.q << " k=" << code.k << " n=" << code.n << ":";
  for (int i = 0; i < code.k; ++i) {
    s << ' ';
    for (std::int64_t j = 0; j < code.n; ++j) s << int{code.entries[static_cast<std::size_t>(i * code.n + j)]};
  }
  return s.str();
}

}  // namespace wdist_test
