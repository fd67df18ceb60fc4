// Reading one code record, written once for every reader of the format:
// "?" (already consumed by the caller's scan), then k, n and q (read like
// "%d"), the rest of that line, and k rows.
//
// For q <= 10 a row is exactly n characters: a digit stands for its value,
// any other character repeats the record's last digit (0 before the
// first). The rest of every row line but the last is dropped; after the
// last row nothing more is read.
//
// For q >= 11 a row is one line of n decimal numbers 0 .. q-1 separated by
// blanks (spaces, tabs, a carriage return before the newline); lines of
// blanks only between rows are passed over (for n >= 1). The line ends the
// row: a row with fewer or more entries, an entry q or above, or any other
// character refuses the record once its k rows have been read, so the
// input goes on with the next record. The input's end ends the last row.
//
// Where the rows go and which heads are taken is the caller's: the menu
// programs size their matrix record (and halt when it cannot be had), the
// library fills a code value as the rows come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codefile/decimal.h"
#include "field/fields.h"

namespace wdist {

struct HeadNumbers {
  std::int64_t k = 0;  // as read; may lie outside the 32-bit range (then refused)
  std::int64_t n = 0;
  std::int64_t q = 0;
  // As written, for messages: beyond 64 bits the values above are saturated.
  WrittenNumber written_k{}, written_n{}, written_q{};
};

enum class ReadStatus {
  ok,         // the rows hold the record
  refused,    // the record cannot be computed; the reason says why
  truncated,  // the input ended inside the record
  failed,     // the input could not be read (a read error, not its end)
};

struct ReadResult {
  ReadStatus status;
  char reason[160];  // for `refused`
};

namespace record_reader_detail {

// Drops characters up to and including the next newline; the end of the
// input ends it as well (a later read that needs a character reports it).
inline void drop_line(std::FILE* in) {
#ifdef __GLIBC__
  // What the buffer holds is searched at once (getc_unlocked is this
  // pointer moved on, one character a call).
  if (const char* start = in->_IO_read_ptr; start < in->_IO_read_end) {
    const auto held = in->_IO_read_end - start;
    const void* found = std::memchr(start, '\n', static_cast<std::size_t>(held));
    if (found == nullptr) {
      in->_IO_read_ptr += held;
    } else {
      in->_IO_read_ptr += static_cast<const char*>(found) - start + 1;
      return;
    }
  }
#endif
  int c;
  do c = getc_unlocked(in);
  while (c != '\n' && c != EOF);
}

// Up to `wanted` characters from the stream's buffer, as many as it holds
// (false when it holds none, nothing taken): a row then costs no call per
// character, and a row longer than the buffer a few instructions per
// eight characters all the same. Taking them moves the buffer's pointer as
// getc_unlocked would, so the stream reads on from the same place either way.
inline bool buffered_chars(std::FILE* in, std::int32_t wanted, const unsigned char*& chars, std::int32_t& count) {
#ifdef __GLIBC__
  const auto held = in->_IO_read_end - in->_IO_read_ptr;
  if (held <= 0) return false;
  count = held < wanted ? static_cast<std::int32_t>(held) : wanted;
  chars = reinterpret_cast<const unsigned char*>(in->_IO_read_ptr);
  in->_IO_read_ptr += count;
  return true;
#else
  static_cast<void>(in);
  static_cast<void>(wanted);
  static_cast<void>(chars);
  static_cast<void>(count);
  return false;
#endif
}

// Eight characters at a time, as bytes of a word: whether each is a digit
// below q (q < 8: its byte is 0x30 + a value below q), and those values.
inline bool plain_digit_word(const unsigned char* chars, std::uint64_t below_q, std::uint64_t& values) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t x = 0;
  std::memcpy(&x, chars, 8);
  values = x & (7 * kOnes);
  // 0x80 - q added to each value below 8 carries into the byte's top bit
  // exactly when the value is q or more, and never into the next byte.
  return (x & (0xf8 * kOnes)) == 0x30 * kOnes && ((values + below_q) & (0x80 * kOnes)) == 0;
}

// Whether every one of the n characters is a digit below q, and if so their
// values into `entries` (when not null): the common row, which then costs a
// few instructions per eight characters; any other row takes the character
// by character rules.
inline bool take_plain_digits(const unsigned char* chars, std::int32_t n, std::int32_t q, ElemCode* entries) {
  static_assert(sizeof(ElemCode) == 1, "entries are written a word of bytes at a time");
  if (n < 8 || q < 1 || q > 8) return false;
  const std::uint64_t below_q = static_cast<std::uint64_t>(0x80 - q) * std::uint64_t{0x0101010101010101};
  std::uint64_t values = 0;
  // The last word overlaps the one before it when n is not a multiple of
  // eight: its characters are checked and written twice, alike.
  const auto last = static_cast<std::size_t>(n - 8);
  for (std::size_t j = 0;; j += 8) {
    if (j > last) j = last;
    if (!plain_digit_word(chars + j, below_q, values)) return false;
    if (entries != nullptr) std::memcpy(entries + j, &values, 8);
    if (j == last) return true;
  }
}

inline ReadResult result(ReadStatus status) { return ReadResult{status, {}}; }

inline ReadResult stopped(std::FILE* in) {
  return result(std::ferror(in) ? ReadStatus::failed : ReadStatus::truncated);
}

inline bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The rows of a record over a field of q >= 11 (the format above); `r`
// holds the accepted head's result.
template <class Store>
ReadResult read_number_rows(std::FILE* in, std::int32_t k, std::int32_t n, std::int32_t q, Store store, ReadResult r) {
  // Entries go to the store a buffer at a time, in the order read.
  constexpr std::int32_t kBuffer = 256;
  ElemCode buffer[kBuffer];
  bool refused = false;
  auto refuse = [&](const char* format, auto... values) {
    if (refused) return;
    refused = true;
    std::snprintf(r.reason, sizeof r.reason, format, values...);
  };
  for (std::int32_t i = 1; i <= k; ++i) {
    if (n == 0) {
      // Rows of no entries: their line ends, as in the digit format.
      if (i < k) drop_line(in);
      if (std::feof(in)) break;
      continue;
    }
    std::int64_t entries = 0;  // of this row, read so far
    std::int32_t stored = 0;   // given to the store: entries 0 .. stored - 1
    std::int32_t held = 0;     // in the buffer: entries stored .. stored + held - 1
    auto flush = [&] {
      if (held == 0) return;
      ElemCode* to = store(i - 1, stored, held);
      if (to != nullptr) std::memcpy(to, buffer, static_cast<std::size_t>(held));
      stored += held;
      held = 0;
    };
    bool bad_char = false;
    int c = getc_unlocked(in);
    for (;;) {
      while (is_blank(c)) c = getc_unlocked(in);
      if (c == EOF) break;
      if (c == '\n') {
        if (entries == 0) {  // a line of blanks before the row
          c = getc_unlocked(in);
          continue;
        }
        break;
      }
      if (c < '0' || c > '9') {
        if (!bad_char) refuse("row %d holds the character '%c', not a number", static_cast<int>(i), c);
        bad_char = true;
        c = getc_unlocked(in);
        continue;
      }
      // One number; its text kept (shortened) for a message.
      char text[24];
      std::size_t length = 0;
      std::int64_t value = 0;
      for (; c >= '0' && c <= '9'; c = getc_unlocked(in)) {
        if (value < q) value = 10 * value + (c - '0');
        if (length + 1 < sizeof text) text[length++] = static_cast<char>(c);
      }
      text[length] = '\0';
      if (value >= q)
        refuse("entry %s in row %lld, column %lld is not below q = %d", text, static_cast<long long>(i),
               static_cast<long long>(entries) + 1, static_cast<int>(q));
      if (entries < n) {
        buffer[held++] = static_cast<ElemCode>(value < q ? value : 0);
        ++entries;
        if (held == kBuffer) flush();
      } else {
        ++entries;
      }
    }
    if (entries < n && c == EOF) return stopped(in);
    flush();
    if (entries != n)
      refuse("row %d holds %lld entries, not n = %d", static_cast<int>(i), static_cast<long long>(entries),
             static_cast<int>(n));
    if (c == EOF && i < k) return stopped(in);
  }
  if (refused) r.status = ReadStatus::refused;
  return r;
}

// The head's three numbers into `head`; false, with `r` saying why, when
// the input does not hold them.
inline bool read_head(std::FILE* in, HeadNumbers& head, ReadResult& r) {
  struct Field {
    std::int64_t* value;
    WrittenNumber* written;
  };
  const Field fields[] = {{&head.k, &head.written_k}, {&head.n, &head.written_n}, {&head.q, &head.written_q}};
  for (const Field& field : fields) {
    switch (read_decimal(in, *field.value, *field.written)) {
      case DecimalStatus::ok:
        break;
      case DecimalStatus::unreadable:
        r = result(ReadStatus::refused);
        std::snprintf(r.reason, sizeof r.reason, "%s", "its head does not hold three numbers k n q");
        return false;
      case DecimalStatus::end_of_input:
        r = result(ReadStatus::truncated);
        return false;
      case DecimalStatus::read_error:
        r = result(ReadStatus::failed);
        return false;
    }
  }
  return true;
}

}  // namespace record_reader_detail

// Reads one record from `in`, positioned just after its "?".
//   accept(const HeadNumbers&, char* reason, std::size_t size) -> bool
// judges the head right after it is read; a refused head leaves the stream
// right after the last head character read.
//   start(std::int32_t k, std::int32_t n, std::int32_t q)
// is called once the head is accepted, before anything more is read.
//   store(std::int32_t i, std::int32_t j, std::int32_t count) -> ElemCode*
// gives the storage of entries j .. j + count - 1 of row i (0-based),
// asked in the order the entries are read, count >= 1; a row comes in as
// many pieces as the stream's buffer cuts it into. Null: these entries are
// read and dropped (the caller has said why). A record with an entry of q
// or more is read to its end and then refused.
template <class Accept, class Start, class Store>
ReadResult read_record(std::FILE* in, Accept accept, Start start, Store store) {
  using namespace record_reader_detail;
  HeadNumbers head{};
  ReadResult r = result(ReadStatus::ok);
  if (!read_head(in, head, r)) return r;
  if (!accept(head, r.reason, sizeof r.reason)) {
    r.status = ReadStatus::refused;
    return r;
  }
  const auto k = static_cast<std::int32_t>(head.k);
  const auto n = static_cast<std::int32_t>(head.n);
  const auto q = static_cast<std::int32_t>(head.q);
  start(k, n, q);
  drop_line(in);
  if (q >= 11) return read_number_rows(in, k, n, q, store, r);

  int remembered = 0;
  std::int64_t bad_row = 0, bad_column = 0;
  int bad_value = 0;
  for (std::int32_t i = 1; i <= k; ++i) {
    // Entries j + 1 .. n of the row are still to come.
    for (std::int32_t j = 0; j < n;) {
      const unsigned char* chars = nullptr;
      std::int32_t count = 0;
      // cppcheck-suppress unreadVariable ; read through `chars`
      unsigned char single = 0;
      if (!buffered_chars(in, n - j, chars, count)) {
        // An empty buffer: one character through the stream, which fills it.
        const int c = getc_unlocked(in);
        if (c == EOF) return stopped(in);
        single = static_cast<unsigned char>(c);
        chars = &single;
        count = 1;
      }
      ElemCode* entries = store(i - 1, j, count);
      if (take_plain_digits(chars, count, q, entries)) {
        remembered = chars[count - 1] - '0';
      } else {
        for (std::int32_t t = 0; t < count; ++t) {
          const int c = chars[t];
          if (c >= '0' && c <= '9') remembered = c - '0';
          if (entries != nullptr) entries[t] = static_cast<ElemCode>(remembered);
          if (remembered >= q && bad_row == 0) {
            bad_row = i;
            bad_column = j + t + 1;
            bad_value = remembered;
          }
        }
      }
      j += count;
    }
    if (i < k) drop_line(in);
    // Rows without entries read nothing but their line ends: once the input
    // has ended, the rest of them would only spin through up to 2^31 rows.
    if (n == 0 && std::feof(in)) break;
  }
  if (bad_row != 0) {
    r.status = ReadStatus::refused;
    std::snprintf(r.reason, sizeof r.reason, "entry %d in row %lld, column %lld is not below q = %d", bad_value,
                  static_cast<long long>(bad_row), static_cast<long long>(bad_column), q);
  }
  return r;
}

}  // namespace wdist
