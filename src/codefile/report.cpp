#include "codefile/report.h"

#include <cstring>

#include "console/texts.h"
#include "store/code_context.h"

namespace wdist {

void write_code_report(std::FILE* out, const GenMatrix& g, std::int32_t k, std::int32_t record,
                       std::uint64_t generator_value) {
  std::fprintf(out, texts::kReportHeadFormat, k, g.n, g.q, record, g.cap_rows, g.cap_cols);
  // Entries are printed with "%d"; the reader only stores the values 0..9,
  // so a row is assembled digit by digit and written in chunks.
  char chunk[4096];
  for (std::int32_t i = 1; i <= k; ++i) {
    const ElemCode* row = g.a[i];
    std::int32_t j = 1;
    while (j <= g.n) {
      std::size_t used = 0;
      for (; j <= g.n && used + 4 < sizeof chunk; ++j) {
        if (row[j] < 10)
          chunk[used++] = static_cast<char>('0' + row[j]);
        else
          used += static_cast<std::size_t>(std::snprintf(chunk + used, sizeof chunk - used, "%d", row[j]));
      }
      std::fwrite(chunk, 1, used, out);
    }
    std::fputc('\n', out);
  }
  std::fprintf(out, texts::kReportGeneratorFormat, static_cast<unsigned long long>(generator_value));
}

void write_weights(std::FILE* out) {
  const CodeContext& c = code_context;
  std::fputs(texts::kReportWeightsStart, out);
  for (std::int64_t w = 0; w <= c.length; ++w)
    if (c.Bspec[w] != 0)
      std::fprintf(out, texts::kReportWeightFormat, static_cast<int>(w), static_cast<long long>(c.Bspec[w]));
}

}  // namespace wdist
