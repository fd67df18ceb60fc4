#include "engine/plan.h"

#include <bit>
#include <cmath>

#include "engine/record_rules.h"
#include "field/fields.h"
#include "field/galois.h"
#include "transform/blockwise.h"

namespace wdist::engine {

namespace {

// A work unit is about this many messages of the binary record (a few
// milliseconds on one core) and a q-ary unit about this many points: short
// enough for a progress line, a checkpoint or Ctrl-C to follow at once and
// for threads to share out evenly, long enough that dealing them out and
// folding their tallies costs nothing.
constexpr std::uint64_t kUnitMessagesBinary = std::uint64_t{1} << 22;
constexpr std::uint64_t kUnitPointsProjective = std::uint64_t{1} << 20;
// Units per record at most: the set of finished units stays small.
constexpr std::uint64_t kMostUnits = std::uint64_t{1} << 20;
// A projective block's small table fills at most this much (q planes of
// theta_(m+1) + 1 counters): about L2. Each block also costs an update
// per column, so a long code takes larger blocks, up to the longest size,
// while it has more than a quarter as many columns as a block has points.
// (Measured, bench/stream_bench BM_Route: 512 KiB to 4 MiB alike within
// the noise for n = 100 and 1000; at n = 10,000 512 KiB blocks take 1.5-2.4
// times as long as 1 MiB ones over F_3, F_5, and as 2 MiB ones over F_7.)
constexpr std::uint64_t kProjectiveBlockBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kProjectiveBlockBytesLongest = std::uint64_t{4} << 20;
constexpr std::uint64_t kBlockPointsPerColumn = 4;

// The narrowest counter that holds every value: transformed binary values
// lie in -N..N; projective entries count up to n columns.
int counter_bits_for(std::int64_t largest) { return largest < (std::int64_t{1} << 15) ? 16 : 32; }

std::uint64_t units_for(std::uint64_t blocks, std::uint64_t per_unit, std::uint64_t& blocks_per_unit) {
  if (per_unit == 0) per_unit = 1;
  while ((blocks + per_unit - 1) / per_unit > kMostUnits) per_unit *= 2;
  blocks_per_unit = per_unit;
  return (blocks + per_unit - 1) / per_unit;
}

// q = 2^m: the image has m k rows and (q - 1) n columns, and its words
// 2^(m-1) times the weights (F_2: the code itself; F_4: 2k rows, 3n
// columns, twice the weight). A transformed value is N - 2W, so shifting
// N minus it right by m gives the weight itself.
bool plan_binary(const RecordShape& s, const TablePolicy& policy, RecordPlan& p) {
  int prime = 0, degree = 0;
  if (!galois_order(s.q, prime, degree) || prime != 2) return false;
  p.binary_image = s.q != 2;
  const std::int64_t K = static_cast<std::int64_t>(degree) * s.k;
  if (K >= kBinaryDimensionLimit) return false;
  p.K = static_cast<unsigned>(K);
  p.N = static_cast<std::int64_t>(s.q - 1) * s.n;
  p.shift = static_cast<unsigned>(degree);
  const std::uint64_t columns = static_cast<std::uint64_t>(p.N);
  // Byte lanes when every weight's index fits a byte (heaviest << shift
  // <= 256) and the record goes block by block anyway: twice the lanes of
  // 16-bit counters per vector in the transform, and the tally reads bytes.
  const bool byte_lanes = policy.counter_bits == 0 && p.heaviest <= (std::int64_t{256} >> degree) &&
                          prefers_blockwise<std::int8_t>(p.K, columns);
  p.counter_bits = byte_lanes ? 8 : policy.counter_bits != 0 ? policy.counter_bits : counter_bits_for(p.N);
  const std::uint64_t bytes = static_cast<std::uint64_t>(p.counter_bits / 8);
  const unsigned b = byte_lanes ? kBlockBits<std::int8_t>
                     : p.counter_bits == 16 ? kBlockBits<std::int16_t>
                                            : kBlockBits<std::int32_t>;
  const bool prefers_blocks = byte_lanes || (p.counter_bits == 16 ? prefers_blockwise<std::int16_t>(p.K, columns)
                                                                  : prefers_blockwise<std::int32_t>(p.K, columns));
  const bool table_fits = policy.table_budget == UINT64_MAX ||
                          (p.K <= 60 && (std::uint64_t{1} << p.K) * bytes <= policy.table_budget);
  if (prefers_blocks || (!table_fits && p.K > b)) {
    p.route = Route::binary_blocks;
    p.block_bits = b;
    p.blocks = std::uint64_t{1} << (p.K - b);
    p.units = units_for(p.blocks, kUnitMessagesBinary >> b, p.blocks_per_unit);
    p.block_bytes = kBlockGroupBytes;
    return true;
  }
  p.route = Route::binary_table;
  p.table_rows = std::uint64_t{1} << p.K;
  p.table_bytes = p.table_rows * bytes;
  return true;
}

bool plan_projective(const RecordShape& s, const TablePolicy& policy, RecordPlan& p) {
  p.binary_image = false;
  p.K = static_cast<unsigned>(s.k);
  p.N = s.n;
  p.step = s.one_per_point ? 1 : static_cast<std::uint64_t>(s.q - 1);
  p.counter_bits = policy.counter_bits != 0 ? policy.counter_bits : counter_bits_for(s.n);
  std::uint64_t theta = 0;
  if (!projective_point_count(s.q, s.k, theta) || theta == UINT64_MAX) return false;
  const std::uint64_t table_bytes = projective_table_bytes(s.q, p.K, p.counter_bits);
  const bool table_fits = policy.table_budget == UINT64_MAX || (table_bytes != 0 && table_bytes <= policy.table_budget);
  // Blocks: the low m coordinates in a small table of dimension m + 1, the
  // K - m high ones fixed per block (one block per point of PG(K-m-1, q)).
  unsigned m = 1;
  while (m + 2 <= p.K && projective_table_bytes(s.q, m + 2, p.counter_bits) <= kProjectiveBlockBytes) ++m;
  std::uint64_t points = 0;
  while (m + 2 <= p.K && field_power(s.q, m, points) &&
         points < kBlockPointsPerColumn * static_cast<std::uint64_t>(s.n) &&
         projective_table_bytes(s.q, m + 2, p.counter_bits) <= kProjectiveBlockBytesLongest)
    ++m;
  std::uint64_t blocks = 0, block_points = 0;
  const bool blocks_possible = m < p.K && projective_point_count(s.q, p.K - m, blocks) &&
                               field_power(s.q, m, block_points);
  // Blocks are faster than the whole table whenever a block has as many
  // points as the code has columns (measured for n up to 10,000 at every k
  // that has blocks: 1.2-4 times, the table's allocation included), and
  // need no more than a block of memory. A budget of any size is the menu
  // programs' policy: they hold every projective record as a table.
  const bool prefers_blocks =
      blocks_possible && policy.table_budget != UINT64_MAX && block_points >= static_cast<std::uint64_t>(s.n);
  if ((!blocks_possible || (table_fits && !prefers_blocks)) && p.K <= kProjectiveTableDimension && table_bytes != 0) {
    p.route = Route::projective_table;
    p.table_rows = theta + 1;
    p.table_bytes = table_bytes;
    return true;
  }
  if (!blocks_possible) return false;
  p.route = Route::projective_blocks;
  p.block_bits = m;
  p.blocks = blocks;
  p.units = units_for(blocks, kUnitPointsProjective / block_points, p.blocks_per_unit);
  p.block_bytes = projective_table_bytes(s.q, m + 1, p.counter_bits);
  return true;
}

}  // namespace

const char* route_name(Route route) {
  switch (route) {
    case Route::binary_table: return "binary table";
    case Route::binary_blocks: return "binary blocks";
    case Route::projective_table: return "projective table";
    case Route::projective_blocks: return "projective blocks";
  }
  return "?";
}

std::uint64_t projective_table_bytes(int q, unsigned K, int counter_bits) {
  std::uint64_t theta = 0;
  if (!projective_point_count(q, K, theta)) return 0;
  const std::uint64_t per_row = static_cast<std::uint64_t>(q) * static_cast<std::uint64_t>(counter_bits / 8);
  if (theta + 1 > UINT64_MAX / per_row) return 0;
  return (theta + 1) * per_row;
}

FieldRoute field_route(int q, std::int64_t n, bool one_per_point) {
  FieldRoute route{false, false, q, 1, false};
  int p = 0, m = 0;
  if (!galois_order(q, p, m) || n < 0) return route;
  // The image's columns, each a counter's worth on the hyperplanes.
  const std::int64_t image_columns = static_cast<std::int64_t>((q - 1) / (p - 1)) * n;
  const bool fits_counters = image_columns < (std::int64_t{1} << 31);
  if (p == 2 && !one_per_point && fits_counters) {
    route.supported = true;
    route.binary = true;
    return route;
  }
  if (m == 1 || q == 4) {
    route.supported = true;
    route.generic_kernel = p >= 11;
    return route;
  }
  if (p == 2 || !fits_counters) return route;
  route.supported = true;
  route.point_q = p;
  route.degree = static_cast<unsigned>(m);
  route.generic_kernel = p >= 11;
  return route;
}

std::uint64_t histogram_entries(const RecordPlan& plan) {
  const auto N = static_cast<std::uint64_t>(plan.N);
  return (plan.binary_image && plan.q > 4 ? (2 * N) >> plan.shift : N) + 1;
}

bool takes_binary_layout(int q, std::int64_t n, bool one_per_point) {
  return field_route(q, n, one_per_point).binary;
}

double message_count(int q, std::int64_t dimension) {
  if (dimension <= 0) return 1;
  // Every record asks twice (direct and dual): a power of 2 is a shift of
  // the exponent, where pow costs hundreds of instructions. Both are exact.
  if (q > 0 && (q & (q - 1)) == 0 && dimension < (std::int64_t{1} << 24))
    return std::ldexp(1.0, static_cast<int>(dimension) * std::countr_zero(static_cast<unsigned>(q)));
  return std::pow(static_cast<double>(q), static_cast<double>(dimension));
}

bool plan_record(const RecordShape& shape, const TablePolicy& policy, RecordPlan& plan) {
  plan = RecordPlan{};
  if (!field_passes(shape.q) || !dimension_passes(shape.k) || !length_passes(shape.n)) return false;
  const FieldRoute route = field_route(shape.q, shape.n, shape.one_per_point);
  if (!route.supported) return false;
  plan.q = shape.q;
  plan.n = shape.n;
  plan.heaviest = shape.heaviest >= 0 && shape.heaviest < shape.n ? shape.heaviest : shape.n;
  plan.blocks = 1;
  plan.blocks_per_unit = 1;
  plan.units = 1;
  plan.point_q = route.point_q;
  plan.image_degree = route.degree;
  plan.generic_kernel = route.generic_kernel;
  plan.weight_scale = 1;
  if (route.binary) return plan_binary(shape, policy, plan);
  if (route.degree == 1) return plan_projective(shape, policy, plan);
  // The points of the image over F_p: m k coordinates, r n columns, every
  // image word p^(m-1) times its codeword's weight.
  const int p = route.point_q;
  const std::int64_t K = static_cast<std::int64_t>(route.degree) * shape.k;
  if (K > 64) return false;
  for (unsigned j = 1; j < route.degree; ++j) plan.weight_scale *= p;
  const std::int64_t r = (shape.q - 1) / (p - 1);
  return plan_projective(RecordShape{p, static_cast<int>(K), r * shape.n, shape.one_per_point}, policy, plan);
}

}  // namespace wdist::engine
