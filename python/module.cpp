// The Python module wdist: the library's weight_distribution(), its record
// reader and stabilizer_enumerators(), for Python and SageMath sessions.
//
// Rows come in as Python objects and leave as a wdist::Code of element
// codes; the computation runs with the GIL released, and its progress
// callback, which the library calls on this same thread, takes the GIL
// back just long enough to let Python run its signal handlers: a
// KeyboardInterrupt raised there sets the library's cancel flag, and the
// pending exception is what the call raises once the library returns.
// Counts of any size come back as Python ints through their hex digits.
#include <pybind11/pybind11.h>
#include <pybind11/eval.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "wdist/records.h"
#include "wdist/stabilizer.h"
#include "wdist/search.h"
#include "wdist/wdist.h"

namespace py = pybind11;

namespace {

// wdist.WorkLimitError, made at import.
PyObject* work_limit_error = nullptr;

// Messages are UTF-8 of any bytes, NULs included (a character shown in a
// message is shown whole); a byte that is not UTF-8 (there should be none)
// becomes U+FFFD rather than an error in place of the message.
[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr) throw py::error_already_set();
  PyErr_SetObject(type, text);
  Py_DECREF(text);
  throw py::error_already_set();
}

[[noreturn]] void raise_status(const wdist::Status& status) {
  switch (status.code) {
    case wdist::StatusCode::invalid_code: raise(PyExc_ValueError, status.message);
    case wdist::StatusCode::too_much_work: raise(work_limit_error, status.message);
    case wdist::StatusCode::out_of_memory: raise(PyExc_MemoryError, status.message);
    case wdist::StatusCode::cancelled:
      // Cancelled by a signal handler that raised: its exception is pending.
      if (PyErr_Occurred() != nullptr) throw py::error_already_set();
      raise(PyExc_KeyboardInterrupt, status.message);
    case wdist::StatusCode::internal_error:
    case wdist::StatusCode::ok: break;
  }
  raise(PyExc_RuntimeError, status.message);
}

// str(o) as UTF-8 for a message; characters UTF-8 cannot carry (lone
// surrogates) as Python's escapes ('backslashreplace'), never an error.
std::string utf8_of(PyObject* text) {
  const py::object bytes =
      py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text, "utf-8", "backslashreplace"));
  if (!bytes) throw py::error_already_set();
  return {PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))};
}

std::string text_of(PyObject* o) {
  const py::object text = py::reinterpret_steal<py::object>(PyObject_Str(o));
  if (!text) throw py::error_already_set();
  return utf8_of(text.ptr());
}

// repr(o), the same way: how Python shows a character or a string.
std::string repr_of(PyObject* o) {
  const py::object text = py::reinterpret_steal<py::object>(PyObject_Repr(o));
  if (!text) throw py::error_already_set();
  return utf8_of(text.ptr());
}

// A whole number from a Python object that has __index__; false (and no
// Python error) when it has none, `overflow` set when it does not fit.
bool whole_number(PyObject* o, long long& value, bool& overflow) {
  PyObject* index = PyNumber_Index(o);
  if (index == nullptr) {
    PyErr_Clear();
    return false;
  }
  int sign = 0;
  value = PyLong_AsLongLongAndOverflow(index, &sign);
  Py_DECREF(index);
  overflow = sign != 0;
  return true;
}

// ---- rows to element codes

// The matrix as read from Python, before the library's checks. Entries
// that cannot be element codes at all (negative, or beyond a byte) are
// kept as 255, which no field takes, and the first of them is remembered
// so that its own value can be named.
struct Matrix {
  std::vector<wdist::ElemCode> entries;
  long long k = 0;
  long long n = -1;  // the length of the first row, once there is one
  bool wild = false;
  std::size_t wild_index = 0;
  std::string wild_text;
  bool wild_negative = false;
};

void put(Matrix& m, long long value) {
  if (value >= 0 && value <= 255) {
    m.entries.push_back(static_cast<wdist::ElemCode>(value));
    return;
  }
  if (!m.wild) {
    m.wild = true;
    m.wild_index = m.entries.size();
    m.wild_text = std::to_string(value);
    m.wild_negative = value < 0;
  }
  m.entries.push_back(255);
}

void put_huge(Matrix& m, const std::string& text, bool negative) {
  if (!m.wild) {
    m.wild = true;
    m.wild_index = m.entries.size();
    m.wild_text = text;
    m.wild_negative = negative;
  }
  m.entries.push_back(255);
}

// Called after each row with the number of entries it had.
void end_row(Matrix& m, long long length) {
  ++m.k;
  if (m.n < 0) {
    m.n = length;
    return;
  }
  if (length != m.n)
    raise(PyExc_ValueError, "row " + std::to_string(m.k) + " is of length " + std::to_string(length) +
                                ", row 1 of length " + std::to_string(m.n));
}

// The integer item formats of the buffer protocol (struct module codes).
struct ItemFormat {
  bool integer = false;
  bool is_signed = false;
  bool big_endian = false;
  std::size_t size = 0;
};

ItemFormat item_format(const Py_buffer& view) {
  ItemFormat f;
  const char* s = view.format != nullptr ? view.format : "B";
  f.big_endian = std::endian::native == std::endian::big;
  if (*s == '@' || *s == '=') {
    ++s;
  } else if (*s == '<') {
    f.big_endian = false;
    ++s;
  } else if (*s == '>' || *s == '!') {
    f.big_endian = true;
    ++s;
  }
  if (s[0] == '\0' || s[1] != '\0' || std::strchr("bBhHiIlLqQnN?", s[0]) == nullptr) return f;
  const auto size = static_cast<std::size_t>(view.itemsize);
  if (size != 1 && size != 2 && size != 4 && size != 8) return f;
  f.integer = true;
  f.is_signed = std::strchr("bhilqn", s[0]) != nullptr;
  f.size = size;
  return f;
}

void put_item(Matrix& m, const unsigned char* p, const ItemFormat& f) {
  std::uint64_t u = 0;
  for (std::size_t i = 0; i < f.size; ++i) u = (u << 8) | p[f.big_endian ? i : f.size - 1 - i];
  const unsigned bits = 8 * static_cast<unsigned>(f.size);
  if (f.is_signed) {
    if (bits < 64 && ((u >> (bits - 1)) & 1U) != 0) u |= ~std::uint64_t{0} << bits;
    put(m, static_cast<long long>(u));
  } else if (u > static_cast<std::uint64_t>(LLONG_MAX)) {
    put_huge(m, std::to_string(u), false);
  } else {
    put(m, static_cast<long long>(u));
  }
}

// A buffer's view for reading, released on leaving.
class BufferView {
 public:
  // False (no Python error) when `o` has no strided buffer to give.
  bool get(PyObject* o) {
    if (PyObject_CheckBuffer(o) == 0) return false;
    if (PyObject_GetBuffer(o, &view_, PyBUF_RECORDS_RO) != 0) {
      PyErr_Clear();
      return false;
    }
    held_ = true;
    return true;
  }
  ~BufferView() {
    if (held_) PyBuffer_Release(&view_);
  }
  BufferView() = default;
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;
  BufferView(BufferView&&) = delete;
  BufferView& operator=(BufferView&&) = delete;
  [[nodiscard]] const Py_buffer& view() const { return view_; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

const unsigned char* item_at(const Py_buffer& v, Py_ssize_t i, Py_ssize_t j) {
  const auto* base = static_cast<const unsigned char*>(v.buf);
  Py_ssize_t offset = i * v.strides[0];
  if (v.ndim == 2) offset += j * v.strides[1];
  return base + offset;
}

// A row from a one-dimensional buffer of integers; false when `row` is no
// such buffer (it is then read as a sequence).
bool read_buffer_row(Matrix& m, PyObject* row) {
  BufferView b;
  if (!b.get(row)) return false;
  const Py_buffer& v = b.view();
  const ItemFormat f = item_format(v);
  if (v.ndim != 1 || !f.integer) return false;
  for (Py_ssize_t j = 0; j < v.shape[0]; ++j) put_item(m, item_at(v, j, 0), f);
  end_row(m, v.shape[0]);
  return true;
}

// The whole matrix from a two-dimensional buffer of integers (a NumPy
// array, a cast memoryview); false when `rows` is no such buffer.
bool read_buffer_matrix(Matrix& m, PyObject* rows) {
  BufferView b;
  if (!b.get(rows)) return false;
  const Py_buffer& v = b.view();
  const ItemFormat f = item_format(v);
  if (v.ndim != 2 || !f.integer) return false;
  m.entries.reserve(static_cast<std::size_t>(v.shape[0]) * static_cast<std::size_t>(v.shape[1]));
  for (Py_ssize_t i = 0; i < v.shape[0]; ++i) {
    for (Py_ssize_t j = 0; j < v.shape[1]; ++j) put_item(m, item_at(v, i, j), f);
    end_row(m, v.shape[1]);
  }
  return true;
}

// A row of decimal digits, as in a code record: "1000110". Only the ASCII
// digits are digits (not the full-width ones, nor those of other
// scripts); a column is a character.
void read_digit_row(Matrix& m, PyObject* row) {
  const Py_ssize_t length = PyUnicode_GET_LENGTH(row);
  const int kind = PyUnicode_KIND(row);
  const void* data = PyUnicode_DATA(row);
  for (Py_ssize_t j = 0; j < length; ++j) {
    const Py_UCS4 c = PyUnicode_READ(kind, data, j);
    if (c < '0' || c > '9') {
      const py::object character = py::reinterpret_steal<py::object>(PyUnicode_FromOrdinal(static_cast<int>(c)));
      if (!character) throw py::error_already_set();
      raise(PyExc_ValueError, "row " + std::to_string(m.k + 1) + ", column " + std::to_string(j + 1) + ": " +
                                  repr_of(character.ptr()) + " is not a digit");
    }
    put(m, static_cast<long long>(c - '0'));
  }
  end_row(m, static_cast<long long>(length));
}

void read_sequence_row(Matrix& m, PyObject* row) {
  const std::string where = "row " + std::to_string(m.k + 1);
  const py::object items =
      py::reinterpret_steal<py::object>(PySequence_Fast(row, (where + " is not a sequence of element codes").c_str()));
  if (!items) throw py::error_already_set();
  const Py_ssize_t length = PySequence_Fast_GET_SIZE(items.ptr());
  PyObject** item = PySequence_Fast_ITEMS(items.ptr());
  for (Py_ssize_t j = 0; j < length; ++j) {
    long long value = 0;
    bool overflow = false;
    if (!whole_number(item[j], value, overflow))
      raise(PyExc_TypeError, where + ", column " + std::to_string(j + 1) + ": " + text_of(item[j]) +
                                 " is not an integer (convert field elements with int())");
    if (overflow) {
      const std::string text = text_of(item[j]);
      put_huge(m, text, text.starts_with("-"));
    } else {
      put(m, value);
    }
  }
  end_row(m, length);
}

wdist::Code code_of(PyObject* rows, int q) {
  Matrix m;
  constexpr const char* kNotRows = "rows must be a sequence of rows or a two-dimensional buffer of integers";
  // A string is a sequence too, of one-character rows: never what was meant.
  if (PyUnicode_Check(rows)) raise(PyExc_TypeError, kNotRows);
  if (!read_buffer_matrix(m, rows)) {
    const py::object list = py::reinterpret_steal<py::object>(PySequence_Fast(rows, kNotRows));
    if (!list) throw py::error_already_set();
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(list.ptr());
    PyObject** row = PySequence_Fast_ITEMS(list.ptr());
    for (Py_ssize_t i = 0; i < count; ++i) {
      if (PyUnicode_Check(row[i]))
        read_digit_row(m, row[i]);
      else if (!read_buffer_row(m, row[i]))
        read_sequence_row(m, row[i]);
    }
  }
  if (m.k > INT_MAX) raise(PyExc_ValueError, "more rows than a 32-bit integer counts");
  wdist::Code code;
  code.q = q;
  code.k = static_cast<int>(m.k);
  code.n = m.n < 0 ? 0 : m.n;
  // An entry beyond a byte is named here unless the library's check meets
  // an entry not below q before it.
  if (m.wild) {
    bool earlier = false;
    for (std::size_t i = 0; i < m.wild_index && !earlier; ++i) earlier = m.entries[i] >= q;
    if (!earlier) {
      const auto n = static_cast<std::size_t>(code.n);
      const std::string where = "entry " + m.wild_text + " in row " + std::to_string(m.wild_index / n + 1) +
                                ", column " + std::to_string(m.wild_index % n + 1);
      raise(PyExc_ValueError, where + (m.wild_negative ? " is negative" : " is not below q = " + std::to_string(q)));
    }
  }
  code.entries = std::move(m.entries);
  return code;
}

// ---- arguments

int field_of(PyObject* q) {
  long long value = 0;
  bool overflow = false;
  if (!whole_number(q, value, overflow)) raise(PyExc_TypeError, "q must be an integer, not " + text_of(q));
  // Beyond 64 bits the value is named as Python writes it.
  if (wdist::Status s = wdist::check_field(overflow ? 0 : value, overflow ? text_of(q) : std::string()); !s)
    raise_status(s);
  return static_cast<int>(value);
}

wdist::DualRoute dual_route(PyObject* dual) {
  constexpr const char* kChoices = "dual must be 'auto', 'never' or 'always', not ";
  if (!PyUnicode_Check(dual)) raise(PyExc_TypeError, kChoices + text_of(dual));
  if (PyUnicode_CompareWithASCIIString(dual, "auto") == 0) return wdist::DualRoute::automatic;
  if (PyUnicode_CompareWithASCIIString(dual, "never") == 0) return wdist::DualRoute::never;
  if (PyUnicode_CompareWithASCIIString(dual, "always") == 0) return wdist::DualRoute::always;
  raise(PyExc_ValueError, kChoices + repr_of(dual));
}

constexpr long long kMostThreads = 4096;

unsigned thread_option(PyObject* threads) {
  if (threads == Py_None) return 0;
  long long value = 0;
  bool overflow = false;
  if (!whole_number(threads, value, overflow) || overflow || value < 1 || value > kMostThreads)
    raise(PyExc_ValueError, "threads must be None or a number in 1 .. 4096, not " + text_of(threads));
  return static_cast<unsigned>(value);
}

double work_option(PyObject* max_work) {
  if (max_work == Py_None) return wdist::Options{}.max_work;
  const std::string out_of_range = "max_work must lie in 1 .. 2**62, not ";
  const double value = PyFloat_AsDouble(max_work);
  if (value == -1.0 && PyErr_Occurred() != nullptr) {
    // An integer beyond a float is a number out of range, as 2**63 is.
    const bool overflow = PyErr_ExceptionMatches(PyExc_OverflowError) != 0;
    PyErr_Clear();
    if (overflow) raise(PyExc_ValueError, out_of_range + text_of(max_work));
    raise(PyExc_TypeError, "max_work must be a number, not " + text_of(max_work));
  }
  if (!(value >= 1) || value > 0x1p62) raise(PyExc_ValueError, out_of_range + text_of(max_work));
  return value;
}

// ---- results

py::int_ python_int(const mpz_class& x) {
  if (x.fits_slong_p()) return {x.get_si()};
  const std::string hex = x.get_str(16);
  PyObject* value = PyLong_FromString(hex.c_str(), nullptr, 16);
  if (value == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::int_>(value);
}

// The class of weight_distribution's results, made at import (the list
// subclass is written in Python: a type with list's behaviour whole). Held
// for the life of the process, as work_limit_error is.
py::handle result_class;

constexpr const char* kResultClassSource = R"(
class WeightDistribution(list):
    """The counts A_0 .. A_n, a list, with what the computation found.

    rank
        The dimension of the code: the rank of its generator matrix.
    method
        'direct' when the code's own messages were counted, 'dual' when
        those of its dual code were (then the MacWilliams identity).
    distribution
        The counts as a plain list (a copy).
    """

    __slots__ = ('rank', 'method')

    @property
    def distribution(self):
        return list(self)

    def __reduce__(self):
        return (_result, (list(self), self.rank, self.method))


class StabilizerEnumerators:
    """A stabilizer code's Shor-Laflamme enumerators and distance.

    A, B
        Lists of n + 1 ints: A[w] elements of the stabilizer group S of
        weight w, B[w] those of its normalizer N(S).
    n, k, rank, generators
        Qubits, logical qubits (n - rank), the rank of S over F_2 (|S| =
        2**rank) and the number of generators given.
    distance
        For k >= 1 the least w >= 1 with B[w] > A[w]; for k = 0 the least
        weight of an element of S other than the identity, and then
        distance_in_stabilizer is True.
    degenerate
        An element of S other than the identity has a weight below the
        distance.
    """

    __slots__ = ('A', 'B', 'n', 'k', 'rank', 'generators', 'distance', 'distance_in_stabilizer', 'degenerate')

    def __init__(self, **fields):
        for name in self.__slots__:
            setattr(self, name, fields[name])

    def __eq__(self, other):
        if not isinstance(other, StabilizerEnumerators):
            return NotImplemented
        return all(getattr(self, f) == getattr(other, f) for f in self.__slots__)

    def __repr__(self):
        return 'StabilizerEnumerators([[%d,%d,%d]], rank=%d, degenerate=%s)' % (
            self.n, self.k, self.distance, self.rank, self.degenerate)

    def __reduce__(self):
        return (_stabilizer_result, tuple(getattr(self, f) for f in self.__slots__))


def _stabilizer_result(*values):
    return StabilizerEnumerators(**dict(zip(StabilizerEnumerators.__slots__, values)))


def _result(counts, rank, method):
    r = WeightDistribution(counts)
    r.rank = rank
    r.method = method
    return r


class MinimumDistance(tuple):
    """The pair (d, witness): the minimum distance and one codeword of that
    weight (a list of n element codes); (None, None) for the zero code.

    d, witness
        The two as attributes.
    rank
        The dimension of the code.
    method
        'information sets', 'direct' or 'dual': how d was found.
    """

    @property
    def d(self):
        return self[0]

    @property
    def witness(self):
        return self[1]

    def __reduce__(self):
        return (_minimum, (self[0], self[1], self.rank, self.method))


def _minimum(d, witness, rank, method):
    r = MinimumDistance((d, witness))
    r.rank = rank
    r.method = method
    return r
)";

py::object weight_distribution(const py::handle& rows, const py::handle& q, bool projective, const py::handle& dual,
                             const py::handle& threads, const py::handle& max_work) {
  wdist::Options options;
  const int field = field_of(q.ptr());
  options.projective = projective;
  options.dual = dual_route(dual.ptr());
  options.threads = thread_option(threads.ptr());
  options.max_work = work_option(max_work.ptr());
  const wdist::Code code = code_of(rows.ptr(), field);

  std::atomic<bool> cancel{false};
  options.cancel = &cancel;
  options.progress = [&cancel](const wdist::Progress&) {
    if (cancel.load()) return;  // a raised exception is pending already
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) cancel.store(true);
  };
  wdist::Distribution d;
  wdist::Status status;
  {
    const py::gil_scoped_release nogil;
    status = wdist::weight_distribution(code, options, d);
  }
  // A handler that raised near the end may not have stopped the work; its
  // exception is raised all the same.
  if (PyErr_Occurred() != nullptr) throw py::error_already_set();
  if (!status) raise_status(status);
  py::list counts(d.counts.size());
  for (std::size_t w = 0; w < d.counts.size(); ++w) counts[w] = python_int(d.counts[w]);
  py::object result = result_class(counts);
  result.attr("rank") = py::int_(d.rank);
  result.attr("method") = py::str(d.method == wdist::Method::dual ? "dual" : "direct");
  return result;
}

// ---- stabilizer codes

py::handle stabilizer_class;  // wdist.StabilizerEnumerators, made at import

// Generators as Pauli strings (or strings of 2n binary digits) when every
// one is a str; otherwise the binary symplectic matrix, r rows of 2n
// integers 0 or 1 (a NumPy array, say), x part then z part.
wdist::PauliGenerators generators_of(PyObject* generators) {
  wdist::PauliGenerators g;
  if (PySequence_Check(generators) != 0 && PyUnicode_Check(generators) == 0 && PyObject_CheckBuffer(generators) == 0) {
    const py::sequence items = py::reinterpret_borrow<py::sequence>(generators);
    const auto r = static_cast<std::size_t>(items.size());
    bool all_text = r > 0;
    for (std::size_t i = 0; i < r && all_text; ++i) all_text = PyUnicode_Check(items[i].ptr()) != 0;
    if (all_text) {
      std::vector<std::string> texts;
      texts.reserve(r);
      for (std::size_t i = 0; i < r; ++i) texts.push_back(utf8_of(items[i].ptr()));
      if (wdist::Status s = wdist::parse_generators(texts, 0, g); !s) raise_status(s);
      return g;
    }
  }
  const wdist::Code code = code_of(generators, 2);
  if (code.n % 2 != 0)
    raise(PyExc_ValueError, "a binary symplectic matrix has 2n columns (x part, then z part), not " +
                                std::to_string(code.n));
  g.n = code.n / 2;
  g.r = code.k;
  g.bits.assign(code.entries.begin(), code.entries.end());
  if (wdist::Status s = wdist::check_generators(g); !s) raise_status(s);
  return g;
}

py::object stabilizer_enumerators(const py::handle& generators, const py::handle& threads, const py::handle& max_work) {
  wdist::Options options;
  options.threads = thread_option(threads.ptr());
  options.max_work = work_option(max_work.ptr());
  const wdist::PauliGenerators g = generators_of(generators.ptr());

  std::atomic<bool> cancel{false};
  options.cancel = &cancel;
  options.progress = [&cancel](const wdist::Progress&) {
    if (cancel.load()) return;
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) cancel.store(true);
  };
  wdist::StabilizerEnumerators e;
  wdist::Status status;
  {
    const py::gil_scoped_release nogil;
    status = wdist::stabilizer_enumerators(g, options, e);
  }
  if (PyErr_Occurred() != nullptr) throw py::error_already_set();
  if (!status) raise_status(status);
  auto ints = [](const std::vector<mpz_class>& counts) {
    py::list out(counts.size());
    for (std::size_t w = 0; w < counts.size(); ++w) out[w] = python_int(counts[w]);
    return out;
  };
  py::dict fields;
  fields["A"] = ints(e.A);
  fields["B"] = ints(e.B);
  fields["n"] = py::int_(e.n);
  fields["k"] = py::int_(e.k);
  fields["rank"] = py::int_(e.rank);
  fields["generators"] = py::int_(e.generators);
  fields["distance"] = py::int_(e.distance);
  fields["distance_in_stabilizer"] = py::bool_(e.distance_in_stabilizer);
  fields["degenerate"] = py::bool_(e.degenerate);
  return stabilizer_class(**fields);
}

// ---- minimum distance

py::handle minimum_class;

// The search on the threads, the GIL released, Ctrl-C served between its
// units as weight_distribution serves it.
wdist::SearchResult run_search(const wdist::Code& code, wdist::SearchOptions& options) {
  std::atomic<bool> cancel{false};
  options.cancel = &cancel;
  options.progress = [&cancel](const wdist::SearchProgress&) {
    if (cancel.load()) return;
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) cancel.store(true);
  };
  wdist::SearchResult r;
  wdist::Status status;
  {
    const py::gil_scoped_release nogil;
    status = wdist::minimum_distance(code, options, r);
  }
  if (PyErr_Occurred() != nullptr) throw py::error_already_set();
  if (!status) {
    // A stop by the work limit while it ran: what it proved goes with the message.
    if (status.code == wdist::StatusCode::too_much_work && r.lower_bound > 0)
      status.message += " (proven: " + std::to_string(r.lower_bound) + " <= d" +
                        (r.upper_bound >= 0 ? " <= " + std::to_string(r.upper_bound) : std::string()) + ")";
    raise_status(status);
  }
  return r;
}

py::object minimum_distance(const py::handle& rows, const py::handle& q, const py::handle& threads,
                            const py::handle& max_work) {
  wdist::SearchOptions options;
  const int field = field_of(q.ptr());
  options.threads = thread_option(threads.ptr());
  options.max_work = work_option(max_work.ptr());
  const wdist::Code code = code_of(rows.ptr(), field);
  const wdist::SearchResult r = run_search(code, options);
  py::object d = py::none(), witness = py::none();
  if (r.min_distance >= 0) {
    d = py::int_(r.min_distance);
    py::list w(r.witness.size());
    for (std::size_t j = 0; j < r.witness.size(); ++j) w[j] = py::int_(r.witness[j]);
    witness = w;
  }
  py::object result = minimum_class(py::make_tuple(d, witness));
  result.attr("rank") = py::int_(r.rank);
  result.attr("method") = py::str(wdist::search_method_name(r.method));
  return result;
}

py::object low_weight_counts(const py::handle& rows, const py::handle& q, const py::handle& up_to,
                             const py::handle& threads, const py::handle& max_work) {
  wdist::SearchOptions options;
  const int field = field_of(q.ptr());
  long long limit = 0;
  bool overflow = false;
  if (!whole_number(up_to.ptr(), limit, overflow)) raise(PyExc_TypeError, "up_to must be an integer, not " + repr_of(up_to.ptr()));
  if (overflow || limit < 1 || limit > (1LL << 30)) raise(PyExc_ValueError, "up_to must be in 1 .. 2**30, not " + repr_of(up_to.ptr()));
  options.minimum_distance = false;
  options.weights_up_to = static_cast<int>(limit);
  options.threads = thread_option(threads.ptr());
  options.max_work = work_option(max_work.ptr());
  const wdist::Code code = code_of(rows.ptr(), field);
  const wdist::SearchResult r = run_search(code, options);
  py::list counts(r.counts.size());
  for (std::size_t w = 0; w < r.counts.size(); ++w) counts[w] = python_int(r.counts[w]);
  py::object result = result_class(counts);
  result.attr("rank") = py::int_(r.rank);
  result.attr("method") = py::str(wdist::search_method_name(r.method));
  return result;
}

constexpr const char* kMinimumDistanceDoc = R"(minimum_distance(rows, q, *, threads=None, max_work=None) -> MinimumDistance

The minimum distance d of the code spanned by the rows and a codeword of
weight d, by information sets (Brouwer-Zimmermann) or the complete
distribution, whichever the plan finds cheaper. rows, q, threads as for
weight_distribution; max_work bounds the 64-bit words the search walks
(about one message of the distribution each): a search estimated above it
is refused before any work, one that reaches it while running stops with
WorkLimitError, whose message gives the bounds proven.

Returns a MinimumDistance: the tuple (d, witness), also as attributes d and
witness, with rank and method ('information sets', 'direct' or 'dual');
(None, None) for the zero code. The same result, witness included, for any
number of threads.)";

constexpr const char* kLowWeightCountsDoc = R"(low_weight_counts(rows, q, up_to, *, threads=None, max_work=None) -> WeightDistribution

The counts A_0 .. A_up_to of the code spanned by the rows, exactly, each
codeword counted once, for codes whose complete distribution is out of
reach. A WeightDistribution of up_to + 1 counts (A_0 = 1), with rank and
method ('information sets', 'direct' or 'dual'). Errors as for
minimum_distance.)";

// ---- records

struct Record {
  int number = 0;
  int q = 0;
  int k = 0;
  long long n = 0;
  py::list rows;
};

py::list rows_of(const wdist::Code& code) {
  py::list rows(static_cast<std::size_t>(code.k));
  const auto n = static_cast<std::size_t>(code.n);
  for (std::size_t i = 0; i < static_cast<std::size_t>(code.k); ++i) {
    py::list row(n);
    for (std::size_t j = 0; j < n; ++j) row[j] = py::int_(code.entries[i * n + j]);
    rows[i] = row;
  }
  return rows;
}

// The iterator read_records() returns: the file stays open until the last
// record, close(), the end of a with block, or the object's end.
class RecordFile {
 public:
  RecordFile(const py::object& path, bool skip_refused) : skip_refused_(skip_refused) {
    const py::object os = py::module_::import("os");
    const py::object name = os.attr("fspath")(path);
    // The name as text for messages, also when it was given as bytes.
    name_ = text_of(os.attr("fsdecode")(name).ptr());
    py::object bytes = name;
    if (PyUnicode_Check(name.ptr())) {
      bytes = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(name.ptr()));
      if (!bytes) throw py::error_already_set();
    }
    const std::string file_name(PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr())));
    if (file_name.find('\0') != std::string::npos) raise(PyExc_ValueError, "embedded null byte");
    file_ = std::fopen(file_name.c_str(), "r");
    if (file_ == nullptr) {
      PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name.ptr());
      throw py::error_already_set();
    }
    reader_ = std::make_unique<wdist::RecordReader>(file_);
  }
  ~RecordFile() { close(); }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  RecordFile(RecordFile&&) = delete;
  RecordFile& operator=(RecordFile&&) = delete;

  void close() {
    reader_.reset();
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

  Record next() {
    for (;;) {
      if (file_ == nullptr) throw py::stop_iteration();
      wdist::Record record;
      errno = 0;
      const wdist::RecordStatus status = reader_->next(record);
      switch (status) {
        case wdist::RecordStatus::ok: {
          Record r;
          r.number = record.number;
          r.q = record.code.q;
          r.k = record.code.k;
          r.n = record.code.n;
          r.rows = rows_of(record.code);
          return r;
        }
        case wdist::RecordStatus::refused:
          if (skip_refused_) continue;
          raise(PyExc_ValueError, where(record) + record.reason);
        case wdist::RecordStatus::truncated:
          close();
          raise(PyExc_ValueError, where(record) + "the input ends inside the record");
        case wdist::RecordStatus::failed: {
          const int error = errno;
          close();
          errno = error;
          PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, py::str(name_).ptr());
          throw py::error_already_set();
        }
        case wdist::RecordStatus::end: close(); throw py::stop_iteration();
      }
    }
  }

 private:
  [[nodiscard]] std::string where(const wdist::Record& record) const {
    return name_ + ": record " + std::to_string(record.number) + ": ";
  }

  std::string name_;
  bool skip_refused_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<wdist::RecordReader> reader_;
};

// ---- documentation

constexpr const char* kModuleDoc = R"(Weight distributions of linear codes over every finite field F_q, q <= 256.

The distribution A_0 .. A_n of a code (A_w codewords of weight w) is computed
exactly, without enumerating codewords: the matrix columns are counted on the
points of projective space and transformed, over the code itself or, for a
high-rate code, over its dual code and the MacWilliams identity.
stabilizer_enumerators() gives a stabilizer code's Shor-Laflamme
enumerators, k and distance the same way.

    >>> import wdist
    >>> wdist.weight_distribution([[1, 0, 0, 0, 1, 1, 0],
    ...                            [0, 1, 0, 0, 1, 0, 1],
    ...                            [0, 0, 1, 0, 0, 1, 1],
    ...                            [0, 0, 0, 1, 1, 1, 1]], 2)
    [1, 0, 0, 7, 7, 0, 0, 1]

Element codes: q = p^m, a a root of the Conway polynomial of F_q; the
element c_0 + c_1*a + ... + c_(m-1)*a^(m-1) (0 <= c_j < p) has the code
c_0 + c_1*p + ... + c_(m-1)*p^(m-1), the integer coding GAP, Sage, Magma
and galois share. For a prime q that is the residue 0 .. q-1; for q = 4 the
code 2 is a root w of x^2 + x + 1 and 3 is w^2 = w + 1. Rows are lists of
ints or NumPy integer arrays.

Errors are exceptions: ValueError for a code that cannot be taken (the
message says why, in the words of the wdist program), WorkLimitError (a
ValueError) for a code above the work limit, MemoryError, KeyboardInterrupt
when Ctrl-C stops a computation, RuntimeError for a broken invariant of the
library (please report it).
)";

constexpr const char* kWeightDistributionDoc =
    R"(weight_distribution(rows, q, *, projective=False, dual='auto', threads=None, max_work=None) -> WeightDistribution

The weight distribution A_0 .. A_n of the code spanned by `rows` over F_q.

rows
    The generator matrix: k >= 1 rows of n element codes each. Either a
    sequence of rows, each a list or tuple of integers (anything with
    __index__), a string of digits ('1000110'), or an object with the
    buffer protocol (bytes, bytearray, array.array, memoryview, a NumPy
    array of integers; bytes hold the codes themselves, not digits); or
    the whole matrix as a two-dimensional buffer of integers, such as a
    NumPy array. The rows need not be independent.
q
    A prime power up to 256 (2, 3, 4, 5, 7, 8, 9, 11, ..., 256); the
    entries are its element codes (module help).
projective
    False: A_w counts every codeword once (A_0 = 1, the counts add up to
    q**rank). True: one count per one-dimensional subcode, A_w/(q-1) for
    w >= 1, and 0 at index 0.
dual
    'auto' (whichever of the code and its dual costs less), 'never' (the
    code's own q**rank messages) or 'always' (the dual's q**(n-rank)
    messages, then the MacWilliams identity). The counts are the same.
threads
    Threads to compute with; None: every hardware thread.
max_work
    A code whose route (as `dual` chooses it) counts more messages than
    this is refused with WorkLimitError before any work; None: 2**48. At
    most 2**62.

Returns a WeightDistribution: a list of n + 1 Python ints, exact whatever
their size (it compares, prints and indexes as that list), with the
attributes rank (the code's dimension), method ('direct' or 'dual': whether
the code's own messages or its dual's were counted, as the wdist program
prints it) and distribution (the counts as a plain list).

Raises ValueError for a q that is not a prime power up to 256, no rows, rows of
different lengths, an entry that is negative or not below q, or a character
of a string row that is not an ASCII digit (the message names the first
such entry by row and column, counted from 1), and for an option out of
range; TypeError for an entry or an option of a type that cannot be one;
WorkLimitError (a subclass of ValueError) above the work limit; MemoryError
when the storage cannot be had; KeyboardInterrupt when Ctrl-C (or another
signal handler that raises) stops the work, which it does between two units
of work, well within a second.

The GIL is released while the counts are computed.)";

constexpr const char* kReadRecordsDoc = R"(read_records(path, *, skip_refused=False) -> iterator of Record

The code records of a file in the record format of the wdist programs, in
order: each starts at a '?', then k, n and q, the rest of that line, and k
rows of exactly n characters (a digit is its value; any other character
repeats the last digit of the record, 0 before the first).

The file is opened at once (OSError when it cannot be) and closed after the
last record, by close(), or at the end of a with block:

    with wdist.read_records('codes.txt') as records:
        for r in records:
            print(r.number, wdist.weight_distribution(r.rows, r.q))

A record that cannot be taken (q not a prime power up to 256, k < 1, an entry not
below q, ...) raises ValueError('codes.txt: record 3: <reason>'); the
iterator goes on with the next record when next() is called again. With
skip_refused=True such records are passed over (the record numbers still
count them). Input that ends inside a record raises ValueError and ends the
iteration; a read error raises OSError.)";

constexpr const char* kStabilizerEnumeratorsDoc =
    R"(stabilizer_enumerators(generators, *, threads=None, max_work=None) -> StabilizerEnumerators

The Shor-Laflamme enumerators of the stabilizer code the generators span,
exact: A[w] elements of the stabilizer group S of weight w (the qubits where
the operator is not I), B[w] those of its normalizer N(S), the operators
commuting with every generator; with k = n - rank, the distance and whether
the code is degenerate.

generators
    Either a sequence of Pauli strings of n letters I, X, Y, Z (upper or
    lower case, '_' and '.' for I, a leading phase '+', '-', 'i', '-i'
    ignored) or of 2n binary digits; or the binary symplectic matrix: r
    rows of 2n integers 0 or 1 (x part, then z part), a sequence of rows
    or a two-dimensional buffer such as a NumPy array. They must commute;
    they need not be independent.
threads, max_work
    As for weight_distribution(): S has 2**rank elements to count.

    >>> e = wdist.stabilizer_enumerators(['XZZXI', 'IXZZX', 'XIXZZ', 'ZXIXZ'])
    >>> e.A, e.B, e.k, e.distance
    ([1, 0, 0, 0, 15, 0], [1, 0, 0, 30, 15, 18], 1, 3)

Raises ValueError for generators that do not commute ('generators 1 and 3
do not commute'), a wrong length or a character that is no Pauli letter
(naming the generator and column), or entries of the matrix that are not
0 or 1; WorkLimitError, MemoryError and KeyboardInterrupt as
weight_distribution() does. The GIL is released while the counts are
computed.)";

constexpr const char* kRecordDoc = "A code record read by read_records().";

}  // namespace

PYBIND11_MODULE(wdist, m) {
  py::options options;
  options.disable_function_signatures();
  m.doc() = kModuleDoc;
  m.attr("__version__") = wdist::kVersion;

  work_limit_error = PyErr_NewExceptionWithDoc(
      "wdist.WorkLimitError",
      "A code whose route counts more messages than max_work allows; the message gives the estimate.",
      PyExc_ValueError, nullptr);
  if (work_limit_error == nullptr) throw py::error_already_set();
  m.attr("WorkLimitError") = py::handle(work_limit_error);

  py::dict scope;
  scope["__name__"] = py::str("wdist");
  scope["__builtins__"] = py::module_::import("builtins");
  py::exec(kResultClassSource, scope);
  result_class = py::object(scope["WeightDistribution"]).release();
  m.attr("WeightDistribution") = result_class;
  m.attr("_result") = scope["_result"];
  stabilizer_class = py::object(scope["StabilizerEnumerators"]).release();
  m.attr("StabilizerEnumerators") = stabilizer_class;
  m.attr("_stabilizer_result") = scope["_stabilizer_result"];
  m.def("stabilizer_enumerators", &stabilizer_enumerators, kStabilizerEnumeratorsDoc, py::arg("generators"),
        py::kw_only(), py::arg("threads") = py::none(), py::arg("max_work") = py::none());

  minimum_class = py::object(scope["MinimumDistance"]).release();
  m.attr("MinimumDistance") = minimum_class;
  m.attr("_minimum") = scope["_minimum"];
  m.def("minimum_distance", &minimum_distance, kMinimumDistanceDoc, py::arg("rows"), py::arg("q"), py::kw_only(),
        py::arg("threads") = py::none(), py::arg("max_work") = py::none());
  m.def("low_weight_counts", &low_weight_counts, kLowWeightCountsDoc, py::arg("rows"), py::arg("q"), py::arg("up_to"),
        py::kw_only(), py::arg("threads") = py::none(), py::arg("max_work") = py::none());

  m.def("weight_distribution", &weight_distribution, kWeightDistributionDoc, py::arg("rows"), py::arg("q"),
        py::kw_only(), py::arg("projective") = false, py::arg("dual") = py::str("auto"), py::arg("threads") = py::none(),
        py::arg("max_work") = py::none());

  py::class_<Record>(m, "Record", kRecordDoc)
      .def_readonly("number", &Record::number, "The record's place in its file, from 1 (refused records count).")
      .def_readonly("q", &Record::q, "The field size.")
      .def_readonly("k", &Record::k, "The number of rows.")
      .def_readonly("n", &Record::n, "The length.")
      .def_readonly("rows", &Record::rows, "The generator matrix: k lists of n element codes.")
      .def("__repr__", [](const Record& r) {
        return "Record(number=" + std::to_string(r.number) + ", q=" + std::to_string(r.q) +
               ", k=" + std::to_string(r.k) + ", n=" + std::to_string(r.n) + ")";
      });

  py::class_<RecordFile>(m, "RecordFile", "The records of a file, as read_records() returns them.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &RecordFile::next)
      .def("close", &RecordFile::close, "Closes the file; the iteration ends.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](RecordFile& f, const py::args&) {
        f.close();
        return false;
      });

  m.def(
      "read_records",
      [](const py::object& path, bool skip_refused) { return std::make_unique<RecordFile>(path, skip_refused); },
      kReadRecordsDoc, py::arg("path"), py::kw_only(), py::arg("skip_refused") = false);
}
