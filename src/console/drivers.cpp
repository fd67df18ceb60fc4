#include "console/drivers.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codefile/code_reader.h"
#include "codefile/head_check.h"
#include "codefile/report.h"
#include "console/binary_image.h"
#include "console/input_file.h"
#include "console/texts.h"
#include "field/field_tables.h"
#include "store/code_context.h"
#include "store/count_table.h"
#include "store/gen_matrix.h"
#include "transform/char_vector.h"
#include "transform/transform_and_count.h"

namespace wdist {

namespace {

// The records a run owns; they keep their storage from record to record.
struct RunRecords {
  GenMatrix code;
  GenMatrix image;  // the binary image of an F_4 code (weight distribution only)
  CountTable point;
  CountTable scratch;
};

std::uint64_t power_points(std::int32_t q, std::int32_t k) {
  std::uint64_t theta = 0;
  projective_point_count(q, k, theta);
  return theta;
}

// Every entry of the point table's planes, rows from `first` to `rows`.
void clear_point_table(CountTable& point, std::uint64_t first) {
  for (std::uint64_t e = 0; e <= point.cols; ++e)
    std::memset(point.a[e] + first, 0, (point.rows + 1 - first) * sizeof(Counter));
}

void compute_weight_distribution(RunRecords& r) {
  const std::int32_t q = r.code.q, k = r.code.k, n = r.code.n;
  std::uint64_t P = 0;
  if (q == 4) {
    size_gen_matrix(r.image, 2 * k, 3 * n, 4);
    P = (std::uint64_t{1} << (2 * k)) - 1;
    size_code_context(k, 3 * n, 0);
  } else {
    P = q == 2 ? (std::uint64_t{1} << k) - 1 : power_points(q, k);
    size_code_context(k, n, 0);
  }
  r.point.q = q;
  if (q == 2 || q == 4) {
    size_count_table(r.point, P, 0, q);  // one plane, one entry per message
  } else {
    size_count_table(r.point, P, static_cast<std::uint64_t>(q - 1), q);
    size_count_table(r.scratch, static_cast<std::uint64_t>(q), static_cast<std::uint64_t>(q - 1), q);
  }
  r.point.dim = k;
  const GenMatrix* columns = &r.code;
  if (q == 4) {
    build_binary_image(r.code, r.image);
    r.point.dim = std::int64_t{2} * k;
    columns = &r.image;
  }
  if ((q == 2 || q == 4) && transform_and_count_blockwise(*columns, r.point)) return;
  clear_point_table(r.point, 0);
  count_columns(*columns, r.point);
  transform_and_count(r.point, r.scratch);
}

void compute_projective_sums(RunRecords& r) {
  const std::int32_t q = r.code.q, k = r.code.k, n = r.code.n;
  size_code_context(k, n, 0);
  const std::uint64_t P = power_points(q, k);
  r.point.q = q;
  size_count_table(r.point, P, static_cast<std::uint64_t>(q - 1), q);
  r.point.dim = k;
  // Row 0 is cleared as well, although nothing on this path reads it, so
  // that every counter of the table is defined.
  clear_point_table(r.point, 0);
  size_count_table(r.scratch, static_cast<std::uint64_t>(q), static_cast<std::uint64_t>(q - 1), q);
  count_columns_projective(r.code, r.point);
  transform_and_count_projective(r.point, r.scratch);
}

using ComputeRecord = void (*)(RunRecords&);

void write_block(std::FILE* out, const RunRecords& r, std::int32_t record, std::clock_t mark) {
  write_code_report(out, r.code, r.code.k, record, 1);
  const double seconds = static_cast<double>(std::clock() - mark) / 1000000.0;
  std::fprintf(out, texts::kReportTimeFormat, seconds);
  write_weights(out);
}

void run_records(const char* input_name, const char* output_name, RecordPath path, ComputeRecord compute) {
  reset_code_context();
  RunRecords r{};
  r.code.mem = r.image.mem = 0;
  r.point.mem = r.scratch.mem = 0;

  std::FILE* in = open_input_file(input_name);
  if (in == nullptr) {
    std::fprintf(stderr, texts::kCannotOpenInputFormat, input_name, std::strerror(errno));
    return;
  }
  std::FILE* out = std::fopen(output_name, "w");
  if (out == nullptr) {
    std::fprintf(stderr, texts::kCannotOpenOutputFormat, output_name, std::strerror(errno));
    std::fclose(in);
    return;
  }

  std::int32_t record = 0;
  int write_errno = 0;
  for (;;) {
    const int c = std::getc(in);
    if (c == EOF) {
      if (std::ferror(in)) std::fprintf(stderr, texts::kInputReadErrorFormat, input_name, std::strerror(errno));
      break;
    }
    if (c != '?') continue;
    ++record;
    const ReadResult read = read_code(in, r.code, path);
    if (read.status == ReadStatus::refused) {
      std::fprintf(stderr, texts::kRecordRefusedFormat, record, read.reason);
      continue;
    }
    if (read.status == ReadStatus::truncated) {
      std::fprintf(stderr, texts::kRecordTruncatedFormat, record);
      break;
    }
    if (read.status == ReadStatus::failed) {
      std::fprintf(stderr, texts::kInputReadErrorFormat, input_name, std::strerror(errno));
      break;
    }
    const std::clock_t mark = std::clock();
    compute(r);
    write_block(out, r, record, mark);
    // A report that takes no more bytes (a full disk, a file size limit)
    // ends the run: the blocks still to come could not be kept either.
    if (std::ferror(out)) {
      write_errno = errno;
      break;
    }
    if (record % 100 == 0) {
      std::printf(texts::kProgressNumberFormat, record);
      std::printf(texts::kProgressStatsFormat, code_context.md, static_cast<long long>(code_context.br));
    }
  }

  std::fclose(in);
  bool write_failed = std::ferror(out) != 0;
  if (std::fclose(out) != 0) {
    write_failed = true;
    if (write_errno == 0) write_errno = errno;
  }
  if (write_failed) std::fprintf(stderr, texts::kCannotWriteOutputFormat, output_name, std::strerror(write_errno));
  release_gen_matrix(r.code);
  release_gen_matrix(r.image);
  release_count_table(r.point);
  release_count_table(r.scratch);
}

}  // namespace

void run_weight_distribution(const char* input_name, const char* output_name) {
  run_records(input_name, output_name, RecordPath::weight_distribution, compute_weight_distribution);
}

void run_projective_sums(const char* input_name, const char* output_name) {
  run_records(input_name, output_name, RecordPath::projective_sums, compute_projective_sums);
}

}  // namespace wdist
