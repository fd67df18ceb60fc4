#include "transform/transform_and_count.h"

#include "store/code_context.h"
#include "transform/blockwise.h"
#include "transform/char_vector.h"
#include "transform/histogram.h"
#include "transform/qary.h"
#include "transform/qary_extract.h"
#include "transform/wht.h"

namespace wdist {

void transform_and_count(CountTable& point, CountTable& scratch) {
  const CodeContext& c = code_context;
  if (point.q == 2 || point.q == 4) {
    const auto K = static_cast<unsigned>(point.dim);
    walsh_hadamard(point.a[0], K);
    count_binary_weights(point.a[0], K, c.length, point.q == 2 ? 1u : 2u, c.Bspec);
    return;
  }
  qary_transform(point.a, scratch.a, static_cast<int>(point.q), static_cast<int>(point.dim));
  const std::int64_t zero_columns = point.a[1][0];
  count_qary_weights(point.a[0], point.rows, c.length, zero_columns, static_cast<std::uint64_t>(point.q - 1),
                     c.Bspec);
}

bool transform_and_count_blockwise(const GenMatrix& g, const CountTable& point) {
  const auto K = static_cast<unsigned>(point.dim);
  if (g.n < 0 || !prefers_blockwise<Counter>(K, static_cast<std::uint64_t>(g.n))) return false;
  static std::uint64_t patterns[kBlockwiseMaxColumns<Counter>];
  binary_column_patterns(g, patterns);
  blockwise_binary_weights<Counter>(patterns, static_cast<std::uint64_t>(g.n), K, code_context.length,
                                    point.q == 2 ? 1u : 2u, code_context.Bspec);
  return true;
}

void transform_and_count_projective(CountTable& point, CountTable& scratch) {
  const CodeContext& c = code_context;
  qary_transform(point.a, scratch.a, static_cast<int>(point.q), static_cast<int>(point.dim));
  count_qary_weights(point.a[0], point.rows, c.length, 0, 1, c.Bspec);
}

}  // namespace wdist
