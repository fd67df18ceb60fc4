#include "engine/record_steps.h"

#include <algorithm>
#include <cstring>

#include "field/galois.h"
#include "transform/field_image.h"
#include "transform/qary.h"
#include "transform/qary_extract.h"
#include "transform/qary_generic.h"
#include "transform/wht.h"

namespace wdist::engine {

namespace {

// Columns are turned into patterns or points a chunk at a time: a row of
// the matrix is then read contiguously.
constexpr std::int64_t kChunk = 256;

std::int64_t chunk_at(std::int64_t n, std::int64_t first) { return std::min(kChunk, n - first); }

// Calls visit(patterns, count) for every chunk of the columns the binary
// plan counts: the image's columns when the rows are those of an F_4 code.
template <class Visit>
void for_each_pattern_chunk(const MatrixView& m, const RecordPlan& plan, Visit visit) {
  std::uint64_t patterns[kChunk];
  if (plan.binary_image && m.q == 4) {
    for (int b = 0; b < 3; ++b)
      for (std::int64_t first = 0; first < m.n; first += kChunk) {
        const std::int64_t count = chunk_at(m.n, first);
        f4_image_patterns(m, b, first, count, patterns);
        visit(patterns, count);
      }
    return;
  }
  if (plan.binary_image && m.q > 4) {
    const GaloisField& f = *galois_field(m.q);
    for (int s = 0; s < image_multiples(f); ++s)
      for (std::int64_t first = 0; first < m.n; first += kChunk) {
        const std::int64_t count = chunk_at(m.n, first);
        image_patterns(f, m, s, first, count, patterns);
        visit(patterns, count);
      }
    return;
  }
  for (std::int64_t first = 0; first < m.n; first += kChunk) {
    const std::int64_t count = chunk_at(m.n, first);
    binary_patterns(m, first, count, patterns);
    visit(patterns, count);
  }
}

std::int64_t count_zero_columns(const MatrixView& m) {
  std::int64_t zero = 0;
  for (std::int64_t c = 0; c < m.n; ++c) {
    bool nonzero = false;
    for (int r = 0; r < m.k && !nonzero; ++r) nonzero = m.rows[r][c] != 0;
    zero += nonzero ? 0 : 1;
  }
  return zero;
}

void prepare_binary_blocks(const MatrixView& m, const RecordPlan& plan, PreparedRecord& r) {
  const auto columns = static_cast<std::uint64_t>(plan.N);
  r.patterns.resize(columns);
  r.slot.resize(columns);
  r.lane.resize(columns);
  r.high.resize(columns);
  std::uint64_t* out = r.patterns.data();
  for_each_pattern_chunk(m, plan, [&out](const std::uint64_t* p, std::int64_t count) {
    std::copy(p, p + count, out);
    out += count;
  });
  r.zero_columns = std::count(r.patterns.begin(), r.patterns.end(), std::uint64_t{0});
  const unsigned lanes = plan.counter_bits == 8    ? lane_bits<std::int8_t>()
                         : plan.counter_bits == 16 ? lane_bits<std::int16_t>()
                                                   : lane_bits<std::int32_t>();
  r.block_columns = split_block_columns(r.patterns.data(), columns, plan.K, plan.block_bits, lanes, r.slot.data(),
                                        r.lane.data(), r.high.data());
}

// Projective blocks: the record's rows 1..m are the low coordinates, rows
// m+1..K the high ones. A message u = (l, h) with h normalised spans with
// (l, h) the same codewords as the message (1, l) of the small code whose
// row 1 holds the shifts s_c = <h, c_high> and rows 2..m+1 the low rows:
// <(l, h), c> = <l, c_low> + 1 * s_c. So each block is a small projective
// table of dimension m + 1 over the shifted columns.
template <class Field>
void prepare_projective_blocks(const Field& f, const MatrixView& m, const RecordPlan& plan, PreparedRecord& r) {
  const int q = plan.point_q, low = static_cast<int>(plan.block_bits), H = static_cast<int>(plan.K) - low;
  const auto n = static_cast<std::size_t>(m.n);
  r.shifted_points.resize(n * static_cast<std::size_t>(q));
  r.high_digits.resize(n * static_cast<std::size_t>(H));
  const ThetaTable theta = theta_table(q);
  ElemCode column[kThetaEntries];
  for (std::size_t c = 0; c < n; ++c) {
    for (int i = 0; i < low; ++i) column[1 + i] = m.rows[i][c];
    for (int s = 0; s < q; ++s) {
      column[0] = static_cast<ElemCode>(s);
      r.shifted_points[c * static_cast<std::size_t>(q) + static_cast<std::size_t>(s)] =
          static_cast<std::uint32_t>(point_index_of(f, column, low + 1, theta));
    }
    for (int i = 0; i < H; ++i) r.high_digits[c * static_cast<std::size_t>(H) + static_cast<std::size_t>(i)] = m.rows[low + i][c];
  }
  r.zero_columns = count_zero_columns(m);
}

template <class C>
void run_binary_table(const PreparedRecord& r, Workspace& ws, TablePlanes table, std::uint64_t* hist) {
  const RecordPlan& p = r.plan;
  C* plane = static_cast<C*>(table[0]);
  std::memset(plane, 0, p.table_rows * sizeof(C));
  for_each_pattern_chunk(r.matrix, p, [plane](const std::uint64_t* patterns, std::int64_t count) {
    for (std::int64_t c = 0; c < count; ++c) plane[patterns[c]] = static_cast<C>(plane[patterns[c]] + 1);
  });
  walsh_hadamard(plane, p.K);
  WeightTally tally{};
  begin_weight_tally<C>(tally, *ws.tally, p.N, p.shift, p.table_rows, hist);
  add_to_weight_tally(tally, plane, p.table_rows);
  finish_weight_tally(tally);
}

template <class C>
void run_binary_blocks(const PreparedRecord& r, std::uint64_t first, std::uint64_t count, Workspace& ws,
                       std::uint64_t* hist) {
  const RecordPlan& p = r.plan;
  const std::uint64_t groups_first = first * p.blocks_per_unit;
  const std::uint64_t groups_end = std::min(p.blocks, (first + count) * p.blocks_per_unit);
  if (groups_first >= groups_end) return;
  const std::uint64_t groups = groups_end - groups_first;
  WeightTally tally{};
  begin_weight_tally<C>(tally, *ws.tally, p.N, p.shift, groups << p.block_bits, hist);
  add_block_groups(r.block_columns, groups_first, groups, static_cast<C*>(ws.group), tally);
  finish_weight_tally(tally);
}

template <class C>
void clear_planes(C* const* planes, int q, std::uint64_t rows) {
  for (int e = 0; e < q; ++e) std::memset(planes[e], 0, rows * sizeof(C));
}

// The field of the plan's points (the prime field of an image).
const GaloisField& point_field(const RecordPlan& p) { return field_of(p.point_q); }

// The level-by-level transform of the plan's points: the butterflies of
// F_2 .. F_7 or the generic kernel of a prime p >= 11.
template <class C>
void transform_points(const RecordPlan& p, C* const* planes, int dimension, const Workspace& ws) {
  if (p.generic_kernel)
    qary_generic_transform(planes, p.point_q, dimension, ws.kernel_scratch);
  else
    qary_transform(planes, p.point_q, dimension);
}

template <class C, class Field>
void run_projective_table(const Field& f, const PreparedRecord& r, const Workspace& ws, TablePlanes table,
                          std::uint64_t* hist) {
  const RecordPlan& p = r.plan;
  const int q = p.point_q;
  if (q < 2 || q > kLargestFieldOrder) return;  // planned for supported fields only
  C* planes[kLargestFieldOrder] = {};
  for (int e = 0; e < q; ++e) planes[e] = static_cast<C*>(table[e]);
  clear_planes(planes, q, p.table_rows);
  const ThetaTable theta = theta_table(q);
  PointIndex points[kChunk];
  C* counts = planes[1];
  for (std::int64_t first = 0; first < r.matrix.n; first += kChunk) {
    const std::int64_t count = chunk_at(r.matrix.n, first);
    point_indices(f, theta, r.matrix, first, count, points);
    for (std::int64_t c = 0; c < count; ++c) counts[points[c]] = static_cast<C>(counts[points[c]] + 1);
  }
  transform_points(p, planes, static_cast<int>(p.K), ws);
  // Row 0, untouched by the transform, holds the zero columns in entry 1.
  const std::int64_t bias = p.step == 1 ? 0 : counts[0];
  count_qary_weights(planes[0], p.table_rows - 1, p.N, bias, p.step, hist);
}

template <class C, class Field>
void run_projective_blocks(const Field& f, const PreparedRecord& r, std::uint64_t first, std::uint64_t count,
                           Workspace& ws, std::uint64_t* hist) {
  const RecordPlan& p = r.plan;
  const int q = p.point_q, low = static_cast<int>(p.block_bits), H = static_cast<int>(p.K) - low;
  if (q < 2 || q > kLargestFieldOrder) return;  // planned for supported fields only
  const ThetaTable theta = theta_table(q);
  const std::uint64_t rows = theta.theta[low + 1] + 1, copy = theta.theta[low];
  // The small table's planes, one after another in the workspace.
  C* planes[kLargestFieldOrder] = {};
  for (int e = 0; e < q; ++e) planes[e] = static_cast<C*>(ws.small_table) + static_cast<std::uint64_t>(e) * rows;
  const auto n = static_cast<std::size_t>(r.matrix.n);
  const std::uint64_t block_end = std::min(p.blocks, (first + count) * p.blocks_per_unit);
  ElemCode h[kThetaEntries];
  for (std::uint64_t b = first * p.blocks_per_unit; b < block_end; ++b) {
    point_of_index(theta, H, b + 1, h);
    clear_planes(planes, q, rows);
    C* counts = planes[1];
    const ElemCode* digits = r.high_digits.data();
    const std::uint32_t* shifted = r.shifted_points.data();
    for (std::size_t c = 0; c < n; ++c, digits += H, shifted += q) {
      std::int32_t s = 0;
      for (int i = 0; i < H; ++i) s = f.add[s][f.mul[h[i]][digits[i]]];
      const std::uint32_t d = shifted[s];
      counts[d] = static_cast<C>(counts[d] + 1);
    }
    transform_points(p, planes, low + 1, ws);
    // Zero columns of the small code (low part zero, no shift) are in row
    // 0; one count per point wants the record's own zero columns added.
    const std::int64_t bias = counts[0] - (p.step == 1 ? r.zero_columns : 0);
    // Rows copy+1 .. theta_(m+1): the q^m messages with shift coordinate
    // nonzero, the messages (l, h) up to a scalar.
    count_qary_weights(planes[0] + copy, rows - 1 - copy, p.N, bias, p.step, hist);
    // Copy 0 holds the messages (l, 0), the same in every block: taken once.
    if (b == 0) count_qary_weights(planes[0], copy, p.N, bias, p.step, hist);
  }
}

template <class C>
void run_units_as(const PreparedRecord& r, std::uint64_t first, std::uint64_t count, Workspace& ws, TablePlanes table,
                  std::uint64_t* hist) {
  if (count == 0) return;
  switch (r.plan.route) {
    case Route::binary_table:
      if (first == 0) run_binary_table<C>(r, ws, table, hist);
      return;
    case Route::binary_blocks: run_binary_blocks<C>(r, first, count, ws, hist); return;
    case Route::projective_table:
      if (first != 0) return;
      run_projective_table<C>(point_field(r.plan), r, ws, table, hist);
      return;
    case Route::projective_blocks:
      run_projective_blocks<C>(point_field(r.plan), r, first, count, ws, hist);
      return;
  }
}

// The image over F_p of a code over F_(p^m), held by the record.
void prepare_image(const MatrixView& m, const RecordPlan& plan, PreparedRecord& r) {
  const GaloisField& f = *galois_field(plan.q);
  const int rows = image_row_count(f, m.k);
  const std::int64_t columns = image_column_count(f, m.n);
  r.image.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  r.image_rows.resize(static_cast<std::size_t>(rows));
  std::vector<ElemCode*> out(static_cast<std::size_t>(rows));
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = r.image.data() + i * static_cast<std::size_t>(columns);
    r.image_rows[i] = out[i];
  }
  write_image_rows(f, m, out.data());
  r.matrix = MatrixView{plan.point_q, rows, columns, r.image_rows.data()};
}

}  // namespace

std::uint64_t generic_scratch_bytes(const RecordPlan& plan) {
  const bool projective = plan.route == Route::projective_table || plan.route == Route::projective_blocks;
  return projective && plan.generic_kernel ? qary_generic_scratch_bytes(plan.point_q, plan.counter_bits) : 0;
}

void prepare_record(const MatrixView& m, const RecordPlan& plan, PreparedRecord& record) {
  record.plan = plan;
  record.matrix = m;
  record.zero_columns = 0;
  record.block_columns = BlockColumns{};
  if (plan.image_degree > 1) prepare_image(m, plan, record);
  const MatrixView& counted = record.matrix;
  if (plan.route == Route::binary_blocks) prepare_binary_blocks(counted, plan, record);
  if (plan.route == Route::projective_blocks) prepare_projective_blocks(point_field(plan), counted, plan, record);
}

void run_units(const PreparedRecord& record, std::uint64_t first, std::uint64_t count, Workspace& ws,
               TablePlanes table, std::uint64_t* hist) {
  // Byte lanes are planned on the block-wise route only.
  if (record.plan.counter_bits == 8) {
    if (record.plan.route == Route::binary_blocks && count != 0) run_binary_blocks<std::int8_t>(record, first, count, ws, hist);
    return;
  }
  if (record.plan.counter_bits == 16)
    run_units_as<std::int16_t>(record, first, count, ws, table, hist);
  else
    run_units_as<std::int32_t>(record, first, count, ws, table, hist);
}

std::int64_t heaviest_weight(const MatrixView& m) {
  if (m.q != 2 || m.n % 3 != 0) return m.n;
  // Columns x, z, x + z for each of n / 3 symbols: a word has at most two
  // of the three nonzero.
  const std::int64_t symbols = m.n / 3;
  for (int i = 0; i < m.k; ++i) {
    const ElemCode* row = m.rows[i];
    for (std::int64_t j = 0; j < symbols; ++j)
      if ((row[j] ^ row[symbols + j]) != row[2 * symbols + j]) return m.n;
  }
  return 2 * symbols;
}

bool aliased_top_weight(const PreparedRecord& record, const std::uint64_t* hist, std::size_t size,
                        std::uint64_t& moved) {
  moved = 0;
  const RecordPlan& p = record.plan;
  const std::uint64_t top = std::uint64_t{256} >> p.shift;
  if (p.counter_bits != 8 || static_cast<std::uint64_t>(p.heaviest) != top) return true;
  // Over all 2^K messages each nonzero column of the (image) code is
  // nonzero 2^(K-1) times, and a word of weight w has 2^(shift-1) w ones.
  using Wide = unsigned __int128;
  const Wide expected = (Wide{1} << (p.K - p.shift)) * static_cast<std::uint64_t>(p.N - record.zero_columns);
  Wide seen = 0;
  for (std::size_t i = 1; i < size; ++i) seen += Wide{hist[i]} * i;
  if (seen > expected || (expected - seen) % top != 0) return false;
  const Wide lost = (expected - seen) / top;
  if (size == 0 || lost > hist[0]) return false;
  moved = static_cast<std::uint64_t>(lost);
  return true;
}

}  // namespace wdist::engine
