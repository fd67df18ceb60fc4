#include "cli/formats.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codefile/report.h"

namespace wdist::cli {

namespace {

std::string digits(const mpz_class& x) { return x.get_str(10); }

const char* method_name(Method m) { return m == Method::dual ? "dual" : "direct"; }

void append_json_string(std::string& out, const std::string& s) {
  out += '"';
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, R"(\u%04x)", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  out += '"';
}

// The decimal digits of a count: counts that fit 64 bits without GMP's
// string (an allocation per count), larger ones through it.
struct CountDigits {
  char small[24] = {};
  std::string large;
  const char* of(const mpz_class& x) {
    if (mpz_fits_ulong_p(x.get_mpz_t()) != 0) {
      const auto r = std::to_chars(small, small + sizeof small - 1, mpz_get_ui(x.get_mpz_t()));
      *r.ptr = '\0';
      return small;
    }
    large = x.get_str(10);
    return large.c_str();
  }
};

}  // namespace

std::string text_record(const RecordOrigin& origin, const Distribution& d) {
  std::string out = origin.file + " record " + std::to_string(origin.number) + ": q=" + std::to_string(d.q) +
                    " n=" + std::to_string(d.n) + " k=" + std::to_string(d.k) + " rank=" + std::to_string(d.rank);
  const std::int64_t distance = min_distance(d);
  out += distance < 0 ? " d=-" : " d=" + std::to_string(distance);
  out += d.method == Method::dual ? " (through the dual)" : "";
  out += d.projective ? " projective\n" : "\n";
  for (std::size_t w = 0; w < d.counts.size(); ++w)
    if (d.counts[w] != 0) out += "  " + std::to_string(w) + " " + digits(d.counts[w]) + "\n";
  out += "\n";
  return out;
}

std::string json_record(const RecordOrigin& origin, const Distribution& d) {
  std::string out = "{\"file\": ";
  append_json_string(out, origin.file);
  out += ", \"record\": " + std::to_string(origin.number) + ", \"q\": " + std::to_string(d.q) +
         ", \"n\": " + std::to_string(d.n) + ", \"k\": " + std::to_string(d.k) + ", \"rank\": " + std::to_string(d.rank);
  const std::int64_t distance = min_distance(d);
  out += ", \"min_distance\": " + (distance < 0 ? std::string("null") : std::to_string(distance));
  out += R"(, "method": ")" + std::string(method_name(d.method)) + "\"";
  out += d.projective ? ", \"projective\": true" : ", \"projective\": false";
  out += ", \"distribution\": [";
  bool first = true;
  for (std::size_t w = 0; w < d.counts.size(); ++w) {
    if (d.counts[w] == 0) continue;
    out += first ? "[" : ", [";
    first = false;
    out += std::to_string(w) + ", " + digits(d.counts[w]) + "]";
  }
  out += "]}\n";
  return out;
}

void size_capacity(MatrixCapacity& c, std::int32_t rows, std::int32_t cols) {
  if (c.held && rows <= c.rows && cols <= c.cols) return;
  c.held = true;
  c.rows = rows;
  const std::int64_t rounded = 16 * ((static_cast<std::int64_t>(cols) - 1) / 16 + 1);
  c.cols = static_cast<std::int32_t>(rounded > INT32_MAX ? INT32_MAX : rounded);
}

void write_report_record(std::FILE* out, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                         double seconds, const Distribution& d) {
  // The menu counts messages, not codewords: each nonzero codeword comes
  // from q^(k - rank) messages, and so does the zero codeword, less the
  // zero message over F_3, F_5, F_7 (their transform leaves it out).
  mpz_class factor;
  mpz_ui_pow_ui(factor.get_mpz_t(), static_cast<unsigned long>(code.q), static_cast<unsigned long>(code.k - d.rank));
  const bool counts_zero_message = code.q == 2 || code.q == 4;
  std::int64_t zero_columns = 0;
  for (std::int64_t c = 0; c < code.n; ++c) {
    bool zero = true;
    for (int i = 0; i < code.k && zero; ++i) zero = code.entries[static_cast<std::size_t>(i * code.n + c)] == 0;
    zero_columns += zero ? 1 : 0;
  }
  std::vector<mpz_class> counts(static_cast<std::size_t>(code.n) + 1);
  if (!d.projective) {
    for (std::size_t w = 1; w < counts.size(); ++w) counts[w] = d.counts[w] * factor;
    counts[0] = counts_zero_message ? factor : factor - 1;
  } else {
    // One count per projective point of messages, at its weight plus the
    // zero columns: d.counts already holds A_w / (q - 1).
    for (std::size_t w = 1; w + static_cast<std::size_t>(zero_columns) < counts.size(); ++w)
      counts[w + static_cast<std::size_t>(zero_columns)] = d.counts[w] * factor;
    counts[static_cast<std::size_t>(zero_columns)] = (factor - 1) / (code.q - 1);
  }
  std::vector<const ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  write_code_report(out, code.k, static_cast<std::int32_t>(code.n), code.q, origin.number, capacity.rows, capacity.cols,
                    rows.data());
  write_report_time(out, seconds);
  write_weights_start(out);
  CountDigits count_digits;
  for (std::size_t w = 0; w < counts.size(); ++w)
    if (counts[w] != 0) write_weight_digits(out, static_cast<std::int64_t>(w), count_digits.of(counts[w]));
}

}  // namespace wdist::cli
