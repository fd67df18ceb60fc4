#include "menu/console/drivers.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "menu/codefile/code_reader.h"
#include "codefile/head_check.h"
#include "program/report.h"
#include "menu/console/input_file.h"
#include "menu/console/texts.h"
#include "engine/plan.h"
#include "engine/record_steps.h"
#include "menu/store/code_context.h"
#include "menu/store/count_table.h"
#include "menu/store/gen_matrix.h"
#include "menu/transform/binary_image.h"
#include "menu/transform/char_vector.h"

namespace wdist {

namespace {

// The records a run owns; they keep their storage from record to record.
struct RunRecords {
  GenMatrix code;
  GenMatrix image;  // the binary image of an F_4 code (weight distribution only)
  CountTable point;
  CountTable scratch;
};

// What the record steps work in besides the tables: the program is
// single-threaded, so one set for the whole process, as cache-sized
// buffers that are never given back.
struct MenuWorkspace {
  TallyScratch tally{};
  alignas(64) unsigned char group[kBlockGroupBytes] = {};
  engine::PreparedRecord record;
  RowPointers rows{};
};
MenuWorkspace g_work;

// The planes of the point table, for the table routes.
void* g_planes[8];

void run_plan(const engine::RecordPlan& plan, const MatrixView& columns, CountTable& point) {
  engine::prepare_record(columns, plan, g_work.record);
  for (std::uint64_t e = 0; e <= point.cols && e < 8; ++e) g_planes[e] = point.a[e];
  engine::Workspace ws{&g_work.tally, g_work.group, nullptr, nullptr};
  std::memset(code_context.Bspec, 0, static_cast<std::size_t>(code_context.length + 1) * sizeof(Count64));
  engine::run_units(g_work.record, 0, plan.units, ws, g_planes, code_context.Bspec);
}

void compute_weight_distribution(RunRecords& r) {
  const std::int32_t q = r.code.q, k = r.code.k, n = r.code.n;
  engine::RecordPlan plan{};
  engine::plan_record(engine::RecordShape{q, k, n, false}, kMenuPolicy, plan);  // an accepted head always has a plan
  size_record_tables(plan, r.code, r.image, r.point, r.scratch);
  MatrixView columns = view_of(r.code, q, g_work.rows);
  if (plan.binary_image) {
    build_binary_image(r.code, r.image);
    columns = view_of(r.image, 2, g_work.rows);
  }
  run_plan(plan, columns, r.point);
}

void compute_projective_sums(RunRecords& r) {
  const std::int32_t q = r.code.q, k = r.code.k, n = r.code.n;
  engine::RecordPlan plan{};
  engine::plan_record(engine::RecordShape{q, k, n, true}, kMenuPolicy, plan);
  size_record_tables(plan, r.code, r.image, r.point, r.scratch);
  run_plan(plan, view_of(r.code, q, g_work.rows), r.point);
}

using ComputeRecord = void (*)(RunRecords&);

void write_block(std::FILE* out, const RunRecords& r, std::int32_t record, std::clock_t mark) {
  // The clock is read before the block's text holds storage: a run that
  // ends at that read (the fuzz harness's work budget) leaves nothing held.
  const double seconds = static_cast<double>(std::clock() - mark) / 1000000.0;
  const GenMatrix& g = r.code;
  RowPointers rows{};
  ReportSink sink(out);
  write_code_report(sink, g.k, g.n, g.q, record, g.cap_rows, g.cap_cols, view_of(g, g.q, rows).rows);
  write_report_time(sink, seconds);
  write_weights(sink, code_context.Bspec, code_context.length);
}

// The progress lines after every 100th record, computed or refused: the
// record number keeps its cadence either way.
void write_progress(std::int32_t record) {
  if (record % 100 != 0) return;
  std::printf(texts::kProgressNumberFormat, record);
  std::printf(texts::kProgressStatsFormat, code_context.progress_md, static_cast<long long>(code_context.progress_br));
}

void run_records(const char* input_name, const char* output_name, RecordPath path, ComputeRecord compute) {
  release_code_context();
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
    const int c = getc_unlocked(in);
    if (c == EOF) {
      if (std::ferror(in)) std::fprintf(stderr, texts::kInputReadErrorFormat, input_name, std::strerror(errno));
      break;
    }
    if (c != '?') continue;
    ++record;
    const ReadResult read = read_code(in, r.code, path);
    if (read.status == ReadStatus::refused) {
      std::fprintf(stderr, texts::kRecordRefusedFormat, record, read.reason);
      write_progress(record);
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
    write_progress(record);
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

void size_record_tables(const engine::RecordPlan& plan, const GenMatrix& code, GenMatrix& image, CountTable& point,
                        CountTable& scratch) {
  const std::int32_t q = code.q;
  if (plan.binary_image) size_gen_matrix(image, 2 * code.k, 3 * code.n, 4);
  size_code_context(code.k, plan.binary_image ? 3 * code.n : code.n);
  point.q = q;
  if (plan.route == engine::Route::binary_table || plan.route == engine::Route::binary_blocks) {
    size_count_table(point, (std::uint64_t{1} << plan.K) - 1, 0, q);  // one plane, one entry per message
  } else {
    size_count_table(point, plan.table_rows - 1, static_cast<std::uint64_t>(q - 1), q);
    size_count_table(scratch, static_cast<std::uint64_t>(q), static_cast<std::uint64_t>(q - 1), q);
  }
  point.dim = plan.K;
}

void run_weight_distribution(const char* input_name, const char* output_name) {
  run_records(input_name, output_name, RecordPath::weight_distribution, compute_weight_distribution);
}

void run_projective_sums(const char* input_name, const char* output_name) {
  run_records(input_name, output_name, RecordPath::projective_sums, compute_projective_sums);
}

}  // namespace wdist
