#include "menu/codefile/code_reader.h"

#include <cstdint>

#include "menu/store/counter.h"

namespace wdist {

namespace {

constexpr HeadLimits kThisProgram = kWideBuild ? kWideLimits : kNarrowLimits;
static_assert(kThisProgram.length == kLengthLimit && kThisProgram.length_f4 == kLengthLimitF4 &&
              kThisProgram.counter_bytes == static_cast<int>(sizeof(Counter)));

}  // namespace

ReadResult read_code(std::FILE* in, GenMatrix& g, RecordPath path) {
  return read_record(
      in,
      [path](const HeadNumbers& head, char* reason, std::size_t size) {
        return accept_head(head, path, kThisProgram, reason, size);
      },
      [&g](std::int32_t k, std::int32_t n, std::int32_t q) {
        // Sized from the head at once, as this program always has: its
        // reports show the capacities, and it halts when they cannot be had.
        size_gen_matrix(g, k, n, q);
        g.k = g.rows;
      },
      [&g](std::int32_t i, std::int32_t j, std::int32_t) { return g.a[i + 1] + 1 + j; });
}

}  // namespace wdist
