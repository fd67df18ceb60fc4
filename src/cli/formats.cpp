#include "cli/formats.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "codefile/report.h"

namespace wdist::cli {

namespace {

const char* method_name(Method m) { return m == Method::dual ? "dual" : "direct"; }

// Text is appended piece by piece to one string: a file of many small
// records spends much of its time here.
void append(std::string& out, std::int64_t value) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

// A count of any size: most fit 64 bits and are written as such, larger
// ones by their digits.
void append_count(std::string& out, const mpz_class& count) {
  if (mpz_fits_slong_p(count.get_mpz_t()) != 0) {
    append(out, static_cast<std::int64_t>(count.get_si()));
    return;
  }
  const std::size_t at = out.size();
  out.resize(at + mpz_sizeinbase(count.get_mpz_t(), 10) + 2);
  mpz_get_str(out.data() + at, 10, count.get_mpz_t());
  out.resize(at + std::char_traits<char>::length(out.data() + at));
}

// A count of a record without big integers (Job::counts64).
void append_count(std::string& out, std::uint64_t count) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, count);
  out.append(digits, static_cast<std::size_t>(r.ptr - digits));
}

// visit(w, A_w) for every nonzero count in increasing w, whether the
// counts are all there (counts[w], big or 64-bit) or only the nonzero ones;
// visit returns false to stop.
template <class Counts, class Visit>
void for_each_count(const Counts& counts, Visit visit) {
  for (std::size_t w = 0; w < counts.size(); ++w)
    if (counts[w] != 0 && !visit(static_cast<std::int64_t>(w), counts[w])) return;
}
template <class Visit>
void for_each_count(const NonzeroCounts& counts, Visit visit) {
  for (const auto& [w, count] : counts)
    if (count != 0 && !visit(w, count)) return;
}

// The smallest w >= 1 with a nonzero count; -1 for the zero code.
template <class Counts>
std::int64_t first_weight(const Counts& counts) {
  std::int64_t first = -1;
  for_each_count(counts, [&first](std::int64_t w, const auto&) {
    if (w >= 1) first = w;
    return first < 0;
  });
  return first;
}

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

// A nonzero count of a report's weight line: most fit 63 bits and are
// written as such, larger ones by their digits.
void write_count(ReportSink& out, std::int64_t w, const mpz_class& count) {
  if (count == 0) return;
  if (mpz_fits_slong_p(count.get_mpz_t()) != 0)
    write_weight(out, w, static_cast<std::uint64_t>(count.get_si()));
  else
    write_weight_digits(out, w, count.get_str(10).c_str());
}

void write_count(ReportSink& out, std::int64_t w, std::uint64_t count) {
  if (count == 0) return;
  if (count <= static_cast<std::uint64_t>(INT64_MAX))
    write_weight(out, w, count);
  else
    write_count(out, w, mpz_class(static_cast<unsigned long>(count)));
}

// How many counts are nonzero: what the text of a record grows with.
template <class Counts>
std::size_t nonzero_of(const Counts& counts) {
  std::size_t nonzero = 0;
  for_each_count(counts, [&nonzero](std::int64_t, const auto&) {
    ++nonzero;
    return true;
  });
  return nonzero;
}

template <class Counts>
std::string text_of(const RecordOrigin& origin, const Distribution& d, const Counts& counts) {
  std::string out;
  out.reserve(origin.file.size() + 64 + 16 * nonzero_of(counts));
  out += origin.file;
  out += " record ";
  append(out, origin.number);
  out += ": q=";
  append(out, d.q);
  out += " n=";
  append(out, d.n);
  out += " k=";
  append(out, d.k);
  out += " rank=";
  append(out, d.rank);
  const std::int64_t distance = first_weight(counts);
  out += " d=";
  if (distance < 0)
    out += '-';
  else
    append(out, distance);
  if (d.method == Method::dual) out += " (through the dual)";
  out += d.projective ? " projective\n" : "\n";
  for_each_count(counts, [&out](std::int64_t w, const auto& count) {
    out += "  ";
    append(out, w);
    out += ' ';
    append_count(out, count);
    out += '\n';
    return true;
  });
  out += '\n';
  return out;
}

template <class Counts>
std::string json_of(const RecordOrigin& origin, const Distribution& d, const Counts& counts) {
  std::string out;
  out.reserve(origin.file.size() + 160 + 24 * nonzero_of(counts));
  out += "{\"file\": ";
  append_json_string(out, origin.file);
  out += ", \"record\": ";
  append(out, origin.number);
  out += ", \"q\": ";
  append(out, d.q);
  out += ", \"n\": ";
  append(out, d.n);
  out += ", \"k\": ";
  append(out, d.k);
  out += ", \"rank\": ";
  append(out, d.rank);
  out += ", \"min_distance\": ";
  const std::int64_t distance = first_weight(counts);
  if (distance < 0)
    out += "null";
  else
    append(out, distance);
  out += R"(, "method": ")";
  out += method_name(d.method);
  out += d.projective ? R"(", "projective": true)" : R"(", "projective": false)";
  out += ", \"distribution\": [";
  bool first = true;
  for_each_count(counts, [&out, &first](std::int64_t w, const auto& count) {
    out += first ? "[" : ", [";
    first = false;
    append(out, w);
    out += ", ";
    append_count(out, count);
    out += ']';
    return true;
  });
  out += "]}\n";
  return out;
}


template <class Counts>
std::string report_of(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity, double seconds,
                      const Distribution& d, const Counts& counts) {
  // The menu counts messages, not codewords: each nonzero codeword comes
  // from q^(k - rank) messages, and so does the zero codeword, less the
  // zero message over F_3, F_5, F_7 (their transform leaves it out).
  // A full-rank record (the common case) has the factor 1 and needs no big
  // integer.
  const bool full_rank = code.k == d.rank;
  mpz_class factor;
  if (!full_rank)
    mpz_ui_pow_ui(factor.get_mpz_t(), static_cast<unsigned long>(code.q), static_cast<unsigned long>(code.k - d.rank));
  const bool counts_zero_message = code.q == 2 || code.q == 4;
  std::int64_t zero_columns = 0;
  for (std::int64_t c = 0; c < code.n; ++c) {
    bool zero = true;
    for (int i = 0; i < code.k && zero; ++i) zero = code.entries[static_cast<std::size_t>(i * code.n + c)] == 0;
    zero_columns += zero ? 1 : 0;
  }
  // Without a projective count the index is the weight; with one, the
  // weight plus the zero columns (counts already holds A_w / (q - 1)).
  const std::int64_t shift = d.projective ? zero_columns : 0;
  std::vector<const ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  std::string text;
  ReportSink out(text);
  write_code_report(out, code.k, static_cast<std::int32_t>(code.n), code.q, origin.number, capacity.rows,
                    capacity.cols, rows.data());
  write_report_time(out, seconds);
  write_weights_start(out);
  if (full_rank)
    write_count(out, shift, std::uint64_t{d.projective ? 0U : counts_zero_message ? 1U : 0U});
  else
    write_count(out, shift, mpz_class(d.projective ? (factor - 1) / (code.q - 1) : counts_zero_message ? factor : factor - 1));
  mpz_class count;
  for_each_count(counts, [&](std::int64_t w, const auto& a) {
    if (w == 0) return true;
    if (w + shift > code.n) return false;
    if (full_rank) {
      write_count(out, w + shift, a);
    } else {
      count = factor;
      count *= a;
      write_count(out, w + shift, count);
    }
    return true;
  });
  return text;
}

}  // namespace

std::string text_record(const RecordOrigin& origin, const Distribution& d) { return text_of(origin, d, d.counts); }
std::string text_record(const RecordOrigin& origin, const Distribution& d, const std::vector<std::uint64_t>& counts) {
  return text_of(origin, d, counts);
}
std::string text_record(const RecordOrigin& origin, const Distribution& d, const NonzeroCounts& counts) {
  return text_of(origin, d, counts);
}

std::string json_record(const RecordOrigin& origin, const Distribution& d) { return json_of(origin, d, d.counts); }
std::string json_record(const RecordOrigin& origin, const Distribution& d, const std::vector<std::uint64_t>& counts) {
  return json_of(origin, d, counts);
}
std::string json_record(const RecordOrigin& origin, const Distribution& d, const NonzeroCounts& counts) {
  return json_of(origin, d, counts);
}

std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const Distribution& d) {
  return report_of(origin, code, capacity, seconds, d, d.counts);
}
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const Distribution& d, const std::vector<std::uint64_t>& counts) {
  return report_of(origin, code, capacity, seconds, d, counts);
}
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const Distribution& d, const NonzeroCounts& counts) {
  return report_of(origin, code, capacity, seconds, d, counts);
}

void size_capacity(MatrixCapacity& c, std::int32_t rows, std::int32_t cols) {
  if (c.held && rows <= c.rows && cols <= c.cols) return;
  c.held = true;
  c.rows = rows;
  const std::int64_t rounded = 16 * ((static_cast<std::int64_t>(cols) - 1) / 16 + 1);
  c.cols = static_cast<std::int32_t>(rounded > INT32_MAX ? INT32_MAX : rounded);
}

}  // namespace wdist::cli
