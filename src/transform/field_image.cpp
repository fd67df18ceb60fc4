#include "transform/field_image.h"

namespace wdist {

namespace {

std::int64_t power(std::int64_t base, int exponent) {
  std::int64_t result = 1;
  for (int i = 0; i < exponent; ++i) result *= base;
  return result;
}

}  // namespace

int image_multiples(const GaloisField& f) { return f.p > 1 ? (f.q - 1) / (f.p - 1) : 0; }

int image_row_count(const GaloisField& f, int k) { return f.m * k; }

std::int64_t image_column_count(const GaloisField& f, std::int64_t n) { return image_multiples(f) * n; }

void image_patterns(const GaloisField& f, const MatrixView& code, int multiple, std::int64_t first,
                    std::int64_t count, std::uint64_t* patterns) {
  const ElemCode* times = f.mul[f.exp[multiple]];
  const auto m = static_cast<unsigned>(f.m);
  for (std::int64_t c = 0; c < count; ++c) patterns[c] = 0;
  // A row at a time over the chunk: each row is read contiguously.
  for (int i = 0; i < code.k; ++i) {
    const ElemCode* row = code.rows[i] + first;
    const unsigned shift = static_cast<unsigned>(i) * m;
    for (std::int64_t c = 0; c < count; ++c) patterns[c] |= std::uint64_t{times[row[c]]} << shift;
  }
}

void write_image_rows(const GaloisField& f, const MatrixView& code, ElemCode* const* rows) {
  const int r = image_multiples(f), m = f.m;
  const std::int64_t n = code.n;
  for (int s = 0; s < r; ++s) {
    const ElemCode* times = f.mul[f.exp[s]];
    for (int i = 0; i < code.k; ++i) {
      const ElemCode* row = code.rows[i];
      for (int j = 0; j < m; ++j) {
        ElemCode* out = rows[i * m + j] + s * n;
        for (std::int64_t c = 0; c < n; ++c) out[c] = f.digit[times[row[c]]][j];
      }
    }
  }
}

bool zeros_from_image_count(const GaloisField& f, std::int64_t n, std::int64_t on_hyperplane, std::int64_t& zeros) {
  const std::int64_t q = f.q, p = f.p, sub = q / p;
  const std::int64_t numerator = (p - 1) * on_hyperplane - (sub - 1) * n, denominator = q - sub;
  if (numerator < 0 || numerator % denominator != 0 || numerator / denominator > n) return false;
  zeros = numerator / denominator;
  return true;
}

bool weight_from_image_weight(const GaloisField& f, std::int64_t image_weight, std::int64_t& weight) {
  const std::int64_t scale = power(f.p, f.m - 1);
  if (image_weight < 0 || image_weight % scale != 0) return false;
  weight = image_weight / scale;
  return true;
}

}  // namespace wdist
