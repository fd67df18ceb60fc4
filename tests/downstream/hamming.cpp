// The [7, 4] Hamming code through the installed library: its distribution
// 1, 7, 7, 1 at weights 0, 3, 4, 7, and the library's version against the
// one this program was built for.
#include <cstdio>
#include <cstring>

#include "wdist/wdist.h"

int main() {
  wdist::Code code{2, 4, 7, {1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1}};
  wdist::Distribution d;
  if (wdist::Status s = wdist::weight_distribution(code, {}, d); !s) {
    std::fprintf(stderr, "hamming: %s\n", s.message.c_str());
    return 1;
  }
  const long expected[8] = {1, 0, 0, 7, 7, 0, 0, 1};
  bool same = d.rank == 4 && d.counts.size() == 8;
  for (std::size_t w = 0; same && w < 8; ++w) same = d.counts[w] == expected[w];
  std::printf("wdist %s: [7, 4] Hamming code, rank %d:", wdist::kVersion, d.rank);
  for (const auto& a : d.counts) std::printf(" %s", a.get_str().c_str());
  std::printf("\n");
  return same ? 0 : 1;
}
