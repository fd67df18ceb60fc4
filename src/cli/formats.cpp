#include "cli/formats.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "program/report.h"

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

// A count of a record without big integers (finish_record_u64).
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

// The length of the well-formed UTF-8 sequence that starts s[0] (1 to 4
// bytes, by the table of well-formed sequences of the Unicode standard: no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0 when none
// does; then `subpart` is the length of its longest start that could still
// have begun one, the ill-formed piece that one U+FFFD replaces.
std::size_t utf8_sequence(const unsigned char* s, std::size_t size, std::size_t& subpart) {
  const unsigned char lead = s[0];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the second byte's range
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : 0x80;
    high = lead == 0xed ? 0x9f : 0xbf;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : 0x80;
    high = lead == 0xf4 ? 0x8f : 0xbf;
  } else {
    subpart = 1;
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (k >= size || s[k] < low || s[k] > high) {
      subpart = k;
      return 0;
    }
    low = 0x80;
    high = 0xbf;
  }
  return length;
}

// A JSON string of `s`, which is bytes (a file name): quotes, backslashes
// and control characters escaped, and each ill-formed piece of UTF-8
// replaced by U+FFFD (as "\ufffd"), since a JSON text is Unicode and
// cannot carry other bytes.
void append_json_string(std::string& out, const std::string& s) {
  out += '"';
  const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = bytes[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, R"(\u%04x)", c);
      out += escaped;
      ++i;
    } else {
      std::size_t subpart = 0;
      const std::size_t length = utf8_sequence(bytes + i, s.size() - i, subpart);
      if (length == 0) {
        out += R"(\ufffd)";
        i += subpart;
      } else {
        out.append(s, i, length);
        i += length;
      }
    }
  }
  out += '"';
}

}  // namespace

void append_json_name(std::string& out, const std::string& s) { append_json_string(out, s); }

namespace {

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

// Decimal digits of a count, at most one too many for a big one.
std::uint64_t digits_of(std::uint64_t count) {
  std::uint64_t digits = 1;
  for (; count >= 10; count /= 10) ++digits;
  return digits;
}
std::uint64_t digits_of(const mpz_class& count) { return mpz_sizeinbase(count.get_mpz_t(), 10) + 1; }

// At most how many bytes a record's output takes in `format`, every number
// at its widest: a head (a text head line; the JSON object around its
// counts, the name escaped at up to 6 bytes a byte; a report block's head,
// rows, generator and time lines) and a line per nonzero count besides its
// digits ("  w A_w\n", ", [w, A_w]", " w^A_w ", where a rank-deficient
// record's count is times q^(k - rank), of at most k - rank + 1 digits,
// and the zero weight may have a line of its own). Each format takes this
// much at once, so that a failure to have it is the one to name.
template <class Counts>
std::uint64_t output_bound(Format format, const RecordOrigin& origin, const Code& code, int rank,
                           const Counts& counts) {
  std::uint64_t head = 0, line = 0;
  switch (format) {
    case Format::text:
      head = origin.file.size() + 192;
      line = 2 + 20 + 1 + 1;
      break;
    case Format::json:
      head = 6 * origin.file.size() + 320;
      line = 3 + 20 + 2 + 1;
      break;
    case Format::report:
      line = 1 + 20 + 1 + 1 + static_cast<std::uint64_t>(std::max(code.k - rank, 0)) + 1;
      head = 80 + static_cast<std::uint64_t>(code.k) * (static_cast<std::uint64_t>(code.n) + 1) + 32 + 160 + 2 +
             line + 20;
      break;
  }
  std::uint64_t bytes = head;
  for_each_count(counts, [&bytes, line](std::int64_t, const auto& count) {
    bytes += line + digits_of(count);
    return true;
  });
  return bytes;
}

// The nonzero counts one a line ("  <label>w count").
template <class Counts>
void append_text_counts(std::string& out, const char* label, const Counts& counts) {
  for_each_count(counts, [&out, label](std::int64_t w, const auto& count) {
    out += "  ";
    out += label;
    append(out, w);
    out += ' ';
    append_count(out, count);
    out += '\n';
    return true;
  });
}

// The nonzero counts as a JSON list of [w, count] pairs.
template <class Counts>
void append_json_counts(std::string& out, const Counts& counts) {
  out += '[';
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
  out += ']';
}

// The least nonzero weight with a count, or `none` ("-" in text, null in
// JSON) when there is none.
template <class Counts>
void append_distance(std::string& out, const Counts& counts, const char* none) {
  const std::int64_t distance = first_weight(counts);
  if (distance < 0)
    out += none;
  else
    append(out, distance);
}
constexpr const char* kTextNone = "-";
constexpr const char* kJsonNone = "null";

// The output `make` returns, or out_of_memory naming `bound`, the bytes it
// takes at most, when they cannot be had.
template <class Make>
Status take_output(std::uint64_t bound, std::string& out, Make make) {
  try {
    out = make();
    return Status{};
  } catch (const std::bad_alloc&) {
    out = std::string();
    return Status{StatusCode::out_of_memory, "its output of " + bytes_text(bound) + " cannot be had"};
  }
}

template <class Counts>
std::string text_of(const RecordOrigin& origin, const Distribution& d, const Counts& counts) {
  std::string out;
  out.reserve(output_bound(Format::text, origin, Code{}, d.rank, counts));
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
  out += " d=";
  append_distance(out, counts, kTextNone);
  if (d.method == Method::dual) out += " (through the dual)";
  out += d.projective ? " projective\n" : "\n";
  append_text_counts(out, "", counts);
  out += '\n';
  return out;
}

template <class Counts>
std::string json_of(const RecordOrigin& origin, const Distribution& d, const Counts& counts) {
  std::string out;
  out.reserve(output_bound(Format::json, origin, Code{}, d.rank, counts));
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
  append_distance(out, counts, kJsonNone);
  out += R"(, "method": ")";
  out += method_name(d.method);
  out += d.projective ? R"(", "projective": true)" : R"(", "projective": false)";
  out += ", \"distribution\": ";
  append_json_counts(out, counts);
  out += "}\n";
  return out;
}


// The columns of `code` that are zero in every row.
std::int64_t zero_columns(const Code& code) {
  std::int64_t count = 0;
  for (std::int64_t c = 0; c < code.n; ++c) {
    bool zero = true;
    for (int i = 0; i < code.k && zero; ++i) zero = code.entries[static_cast<std::size_t>(i * code.n + c)] == 0;
    count += zero ? 1 : 0;
  }
  return count;
}

template <class Counts>
std::string report_of(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity, double seconds,
                      const PlanSummary& summary, const Distribution& d, const Counts& counts) {
  // The menu counts messages, not codewords: each nonzero codeword comes
  // from q^(k - rank) messages, and so does the zero codeword, less the
  // zero message where the layout leaves it out (F_3, F_5, F_7).
  // A full-rank record (the common case) has the factor 1 and needs no big
  // integer.
  const bool full_rank = code.k == d.rank;
  mpz_class factor;
  if (!full_rank)
    mpz_ui_pow_ui(factor.get_mpz_t(), static_cast<unsigned long>(code.q), static_cast<unsigned long>(code.k - d.rank));
  const bool counts_zero_message = summary.zero_message_counted;
  // Where the zero columns shift the weights (the sums of one count per
  // projective point: counts already holds A_w / (q - 1)), count w is of
  // weight w plus the zero columns; otherwise of weight w.
  const std::int64_t shift = summary.zero_columns_shift ? zero_columns(code) : 0;
  std::vector<const ElemCode*> rows(static_cast<std::size_t>(code.k));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = code.entries.data() + i * static_cast<std::size_t>(code.n);
  std::string text;
  text.reserve(output_bound(Format::report, origin, code, d.rank, counts));
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

// A record's output in `format` from `counts`: the distribution's own or a
// tally of fixed-width counts.
template <class Counts>
Status output_from(Format format, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                   double seconds, const PlanSummary& summary, const Distribution& d, const Counts& counts,
                   std::string& out) {
  return take_output(output_bound(format, origin, code, d.rank, counts), out, [&] {
    switch (format) {
      case Format::json:
        return json_of(origin, d, counts);
      case Format::report:
        return report_of(origin, code, capacity, seconds, summary, d, counts);
      case Format::text:
        break;
    }
    return text_of(origin, d, counts);
  });
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
                          double seconds, const PlanSummary& summary, const Distribution& d) {
  return report_of(origin, code, capacity, seconds, summary, d, d.counts);
}
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const PlanSummary& summary, const Distribution& d,
                          const std::vector<std::uint64_t>& counts) {
  return report_of(origin, code, capacity, seconds, summary, d, counts);
}
std::string report_record(const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                          double seconds, const PlanSummary& summary, const Distribution& d,
                          const NonzeroCounts& counts) {
  return report_of(origin, code, capacity, seconds, summary, d, counts);
}

std::uint64_t output_bytes(Format format, const RecordOrigin& origin, const Code& code, const Distribution& d,
                           const std::vector<std::uint64_t>* counts) {
  return counts != nullptr ? output_bound(format, origin, code, d.rank, *counts)
                           : output_bound(format, origin, code, d.rank, d.counts);
}
std::uint64_t output_bytes(Format format, const RecordOrigin& origin, const Code& code, const Distribution& d,
                           const NonzeroCounts& counts) {
  return output_bound(format, origin, code, d.rank, counts);
}

void size_capacity(MatrixCapacity& c, std::int32_t rows, std::int32_t cols) {
  if (c.held && rows <= c.rows && cols <= c.cols) return;
  c.held = true;
  c.rows = rows;
  const std::int64_t rounded = 16 * ((static_cast<std::int64_t>(cols) - 1) / 16 + 1);
  c.cols = static_cast<std::int32_t>(rounded > INT32_MAX ? INT32_MAX : rounded);
}

Status record_output(Format format, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                     double seconds, const PlanSummary& summary, const Distribution& d,
                     const std::vector<std::uint64_t>* counts, std::string& out) {
  return counts != nullptr ? output_from(format, origin, code, capacity, seconds, summary, d, *counts, out)
                           : output_from(format, origin, code, capacity, seconds, summary, d, d.counts, out);
}

Status record_output(Format format, const RecordOrigin& origin, const Code& code, const MatrixCapacity& capacity,
                     double seconds, const PlanSummary& summary, const Distribution& d, const NonzeroCounts& counts,
                     std::string& out) {
  return output_from(format, origin, code, capacity, seconds, summary, d, counts, out);
}

namespace {

// The bytes a group record's text takes at most: a head, and per nonzero
// count its digits and a line's worth around them ("  A w c\n", ", [w, c]").
std::uint64_t group_bound(const RecordOrigin& origin, const std::vector<mpz_class>& a,
                          const std::vector<mpz_class>* b) {
  std::uint64_t bytes = 6 * origin.file.size() + 384;
  for (const auto* counts : {&a, b}) {
    if (counts == nullptr) continue;
    for_each_count(*counts, [&bytes](std::int64_t, const mpz_class& count) {
      bytes += 32 + digits_of(count);
      return true;
    });
  }
  return bytes;
}


}  // namespace

std::string stabilizer_text(const RecordOrigin& origin, const StabilizerEnumerators& e) {
  std::string out;
  out.reserve(group_bound(origin, e.A, &e.B));
  out += origin.file;
  out += " record ";
  append(out, origin.number);
  out += ": [[";
  append(out, e.n);
  out += ',';
  append(out, e.k);
  out += ',';
  append(out, e.distance);
  out += "]] n=";
  append(out, e.n);
  out += " generators=";
  append(out, e.generators);
  out += " rank=";
  append(out, e.rank);
  out += " k=";
  append(out, e.k);
  out += " d=";
  append(out, e.distance);
  if (e.distance_in_stabilizer) out += " (least weight of a nonzero element of S)";
  out += e.degenerate ? " degenerate\n" : " nondegenerate\n";
  append_text_counts(out, "A ", e.A);
  append_text_counts(out, "B ", e.B);
  out += '\n';
  return out;
}

std::string stabilizer_json(const RecordOrigin& origin, const StabilizerEnumerators& e) {
  std::string out;
  out.reserve(group_bound(origin, e.A, &e.B));
  out += "{\"file\": ";
  append_json_string(out, origin.file);
  out += ", \"record\": ";
  append(out, origin.number);
  out += ", \"n\": ";
  append(out, e.n);
  out += ", \"generators\": ";
  append(out, e.generators);
  out += ", \"rank\": ";
  append(out, e.rank);
  out += ", \"k\": ";
  append(out, e.k);
  out += ", \"distance\": ";
  append(out, e.distance);
  out += e.distance_in_stabilizer ? ", \"distance_in_stabilizer\": true" : ", \"distance_in_stabilizer\": false";
  out += e.degenerate ? ", \"degenerate\": true" : ", \"degenerate\": false";
  out += ", \"A\": ";
  append_json_counts(out, e.A);
  out += ", \"B\": ";
  append_json_counts(out, e.B);
  out += "}\n";
  return out;
}

std::string additive_text(const RecordOrigin& origin, const AdditiveDistribution& a) {
  std::string out;
  out.reserve(group_bound(origin, a.counts, nullptr));
  out += origin.file;
  out += " record ";
  append(out, origin.number);
  out += ": additive over F_4 n=";
  append(out, a.n);
  out += " generators=";
  append(out, a.generators);
  out += " rank=";
  append(out, a.rank);
  out += " d=";
  append_distance(out, a.counts, kTextNone);
  if (a.method == Method::dual) out += " (through the dual)";
  out += '\n';
  append_text_counts(out, "", a.counts);
  out += '\n';
  return out;
}

std::string additive_json(const RecordOrigin& origin, const AdditiveDistribution& a) {
  std::string out;
  out.reserve(group_bound(origin, a.counts, nullptr));
  out += "{\"file\": ";
  append_json_string(out, origin.file);
  out += ", \"record\": ";
  append(out, origin.number);
  out += R"(, "additive": true, "n": )";
  append(out, a.n);
  out += ", \"generators\": ";
  append(out, a.generators);
  out += ", \"rank\": ";
  append(out, a.rank);
  out += ", \"min_distance\": ";
  append_distance(out, a.counts, kJsonNone);
  out += R"(, "method": ")";
  out += method_name(a.method);
  out += R"(", "distribution": )";
  append_json_counts(out, a.counts);
  out += "}\n";
  return out;
}

Status group_output(Format format, const RecordOrigin& origin, const StabilizerEnumerators& e, std::string& out) {
  return take_output(group_bound(origin, e.A, &e.B), out, [&] {
    return format == Format::json ? stabilizer_json(origin, e) : stabilizer_text(origin, e);
  });
}

Status group_output(Format format, const RecordOrigin& origin, const AdditiveDistribution& a, std::string& out) {
  return take_output(group_bound(origin, a.counts, nullptr), out, [&] {
    return format == Format::json ? additive_json(origin, a) : additive_text(origin, a);
  });
}

}  // namespace wdist::cli
