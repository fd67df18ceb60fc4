// Reading stabilizer records (wdist/stabilizer.h): the head "? r n", then r
// generators, one a line, in the notation of codefile/pauli_text.h.
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "codefile/decimal.h"
#include "codefile/pauli_text.h"
#include "codefile/record_reader.h"
#include "wdist/stabilizer.h"

namespace wdist {

namespace {

// What reading one line of a row gave.
enum class LineStatus {
  row,          // `line` holds it (blanks at its start dropped, `first_column` the column of its first character)
  next_record,  // a '?' starts the line: it is left unread for the next record
  end,          // the input ended (or failed) before a row
};

struct Line {
  std::int64_t first_column = 1;
  // Characters beyond the most a generator on n qubits can hold (a sign,
  // a phase and 2n digits) are not stored, only counted; blanks among them
  // are harmless when nothing but blanks follows.
  std::int64_t overflow = 0;
};

// The next line that holds more than blanks. `line` grows with what is read,
// up to `most` characters.
LineStatus read_row_line(std::FILE* in, std::size_t most, std::string& line, Line& info) {
  for (;;) {
    line.clear();
    info = Line{};
    int c = getc_unlocked(in);
    while (c != EOF && c != '\n' && is_pauli_blank(c)) {
      ++info.first_column;
      c = getc_unlocked(in);
    }
    if (c == EOF) return LineStatus::end;
    if (c == '\n') continue;
    if (c == '?') {
      std::ungetc(c, in);
      return LineStatus::next_record;
    }
    std::int64_t blanks_beyond = 0;
    for (; c != EOF && c != '\n'; c = getc_unlocked(in)) {
      if (line.size() < most) {
        line.push_back(static_cast<char>(c));
      } else if (is_pauli_blank(c)) {
        ++blanks_beyond;
      } else {
        info.overflow += blanks_beyond + 1;
        blanks_beyond = 0;
      }
    }
    return LineStatus::row;
  }
}

// The library's refusals of a head: what is not a stabilizer code at all.
// Numbers are named as written (a saturated value is not in the input).
bool accept_head(std::int64_t r, const WrittenNumber& written_r, std::int64_t n, const WrittenNumber& written_n,
                 std::string& reason) {
  char number[kNumberTextSize];
  char text[kNumberTextSize + 96];
  if (r < 1) {
    number_text(r, written_r, number, sizeof number);
    std::snprintf(text, sizeof text, "r = %s, the number of generators must be at least 1", number);
  } else if (n < 1 || n > kMaxQubits) {
    number_text(n, written_n, number, sizeof number);
    std::snprintf(text, sizeof text, "n = %s, the number of qubits must lie in 1 .. %lld", number,
                  static_cast<long long>(kMaxQubits));
  } else if (r > INT32_MAX) {
    number_text(r, written_r, number, sizeof number);
    std::snprintf(text, sizeof text, "r = %s, the number of generators does not fit a 32-bit integer", number);
  } else {
    return true;
  }
  reason = text;
  return false;
}

// The head's two numbers, r and n: the first status that is not ok.
DecimalStatus read_head(std::FILE* in, std::int64_t* head, WrittenNumber* written) {
  for (int i = 0; i < 2; ++i)
    if (const DecimalStatus s = read_decimal(in, head[i], written[i]); s != DecimalStatus::ok) return s;
  return DecimalStatus::ok;
}

// Generator i (0-based) of n qubits from its row line into `row`; false,
// with `reason` naming the generator, when the line is not one.
bool read_generator(const std::string& line, const Line& info, std::int64_t n, int i, std::uint8_t* row,
                    std::string& reason) {
  char why[200];
  const bool read = read_pauli_text(line.data(), line.size(), n, info.first_column, row, why, sizeof why);
  if (read && info.overflow == 0) return true;
  // A row too long to be stored whole is named by a character outside
  // the notation in its stored part, or else by its length.
  if (info.overflow > 0 && (read || why[0] != 'c'))
    std::snprintf(why, sizeof why, "has %lld characters, more than an operator on n = %lld qubits can",
                  static_cast<long long>(line.size()) + static_cast<long long>(info.overflow),
                  static_cast<long long>(n));
  reason = "generator " + std::to_string(i + 1) + (why[0] == 'c' ? ", " : " ") + why;
  return false;
}

}  // namespace

StabilizerReader::StabilizerReader(std::FILE* in, GroupKind kind) : in_(in), kind_(kind) {}

RecordStatus StabilizerReader::next(StabilizerRecord& record) {
  record.reason.clear();
  PauliGenerators& g = record.generators;
  g.n = 0;
  g.r = 0;
  g.bits.clear();
  if (done_) return RecordStatus::end;
  for (;;) {
    const int c = getc_unlocked(in_);
    if (c == EOF) {
      done_ = true;
      return std::ferror(in_) ? RecordStatus::failed : RecordStatus::end;
    }
    if (c == '?') break;
  }
  record.number = ++number_;
  const auto stop = [this, &g]() {
    done_ = true;
    g.bits = {};
    return std::ferror(in_) ? RecordStatus::failed : RecordStatus::truncated;
  };

  std::int64_t head[2] = {};
  WrittenNumber written[2];
  switch (read_head(in_, head, written)) {
    case DecimalStatus::ok:
      break;
    case DecimalStatus::unreadable:
      record.reason = "its head does not hold two numbers r n";
      return RecordStatus::refused;
    case DecimalStatus::end_of_input:
    case DecimalStatus::read_error:
      return stop();
  }
  if (!accept_head(head[0], written[0], head[1], written[1], record.reason)) return RecordStatus::refused;
  const auto r = static_cast<int>(head[0]);
  const std::int64_t n = head[1];
  record_reader_detail::drop_line(in_);

  const std::size_t bits = 2 * static_cast<std::size_t>(n);
  const std::size_t most = bits + 2;
  Line info;
  for (int i = 0; i < r; ++i) {
    try {
      switch (read_row_line(in_, most, line_, info)) {
        case LineStatus::row:
          break;
        case LineStatus::next_record:
          record.reason = "it ends after " + std::to_string(i) + " of its " + std::to_string(r) + " generators";
          g.bits = {};
          return RecordStatus::refused;
        case LineStatus::end:
          return stop();
      }
      g.bits.resize(g.bits.size() + bits);
    } catch (const std::bad_alloc&) {
      record.reason = "the storage of generator " + std::to_string(i + 1) + " (" +
                      bytes_text((static_cast<std::uint64_t>(i) + 1) * bits) + " for the record so far) cannot be had";
      g.bits = {};
      return RecordStatus::refused;
    } catch (const std::length_error&) {
      record.reason = "the storage of generator " + std::to_string(i + 1) + " cannot be had";
      g.bits = {};
      return RecordStatus::refused;
    }
    std::uint8_t* row = g.bits.data() + static_cast<std::size_t>(i) * bits;
    if (!read_generator(line_, info, n, i, row, record.reason)) {
      g.bits = {};
      return RecordStatus::refused;
    }
  }
  g.n = n;
  g.r = r;
  if (Status s = kind_ == GroupKind::stabilizer ? check_commuting(g) : Status{}; !s) {
    record.reason = s.message;
    g.bits = {};
    return RecordStatus::refused;
  }
  return RecordStatus::ok;
}

}  // namespace wdist
