#include "support/weight_runs.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "menu/console/drivers.h"

namespace wdist_test {

namespace {

// A cursor over the report text with the few expectations the layout needs.
struct Cursor {
  const std::string& text;
  std::size_t pos;
  std::string& error;

  bool fail(const std::string& what) {
    error = "at byte " + std::to_string(pos) + ": expected " + what + ", found \"" + text.substr(pos, 24) + "\"";
    return false;
  }
  bool literal(const char* s) {
    const std::string want(s);
    if (text.compare(pos, want.size(), want) != 0) return fail("\"" + want + "\"");
    pos += want.size();
    return true;
  }
  bool number(long long& value) {
    const std::size_t start = pos;
    if (pos < text.size() && text[pos] == '-') ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == start || (text[start] == '-' && pos == start + 1)) {
      pos = start;
      return fail("a number");
    }
    value = std::stoll(text.substr(start, pos - start));
    return true;
  }
  bool unsigned_number(unsigned long long& value) {
    const std::size_t start = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos == start) return fail("digits");
    value = std::stoull(text.substr(start, pos - start));
    return true;
  }
  bool digits_line(std::string& line) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) return fail("a matrix line");
    line = text.substr(pos, end - pos);
    for (char c : line)
      if (!std::isdigit(static_cast<unsigned char>(c))) return fail("a line of digits");
    pos = end + 1;
    return true;
  }
};

// "%10.3f" of a non-negative value: right-aligned in ten places, three decimals.
bool is_time_field(const std::string& f) {
  if (f.size() != 10 || f[6] != '.') return false;
  std::size_t i = 0;
  while (i < 6 && f[i] == ' ') ++i;
  if (i == 6) return false;
  for (std::size_t j = i; j < 10; ++j)
    if (j != 6 && !std::isdigit(static_cast<unsigned char>(f[j]))) return false;
  return true;
}

bool parse_block(Cursor& c, ReportBlock& b) {
  long long v[6];
  if (!c.literal("\n? ")) return false;
  for (int i = 0; i < 6; ++i)
    if (!c.number(v[i]) || !c.literal(i < 5 ? " " : "  \n")) return false;
  b.k = static_cast<int>(v[0]);
  b.n = static_cast<int>(v[1]);
  b.q = static_cast<int>(v[2]);
  b.record = static_cast<int>(v[3]);
  b.cap_rows = v[4];
  b.cap_cols = v[5];
  for (int i = 0; i < b.k; ++i) {
    std::string line;
    if (!c.digits_line(line)) return false;
    b.rows.push_back(line);
  }
  if (!c.literal("G= ") || !c.unsigned_number(b.generator) || !c.literal(" \n")) return false;
  if (!c.literal("\n Time =  ")) return false;
  b.time_field = c.text.substr(c.pos, 10);
  if (!is_time_field(b.time_field)) return c.fail("a time field of the shape %10.3f");
  c.pos += 10;
  if (!c.literal(" seconds") || !c.literal(" \n")) return false;
  while (c.pos < c.text.size() && c.text[c.pos] == ' ') {
    long long w = 0;
    unsigned long long a = 0;
    if (!c.literal(" ") || !c.number(w) || !c.literal("^") || !c.unsigned_number(a) || !c.literal(" ")) return false;
    b.weights.emplace_back(static_cast<int>(w), a);
  }
  return true;
}

std::string make_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/wdist-weights-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

const char* path_name(ComputePath path) {
  return path == ComputePath::weight_distribution ? "weight distribution (choice 1)" : "projective sums (choice 33)";
}

bool parse_report(const std::string& text, std::vector<ReportBlock>& blocks, std::string& error) {
  Cursor c{text, 0, error};
  blocks.clear();
  while (c.pos < text.size()) {
    ReportBlock b{};
    if (!parse_block(c, b)) return false;
    blocks.push_back(b);
  }
  return true;
}

bool run_path_on_text(ComputePath path, const std::string& input, std::string& report) {
  const std::string dir = make_temp_dir();
  if (dir.empty()) return false;
  const std::string in_name = dir + "/codes.txt", out_name = in_name + "_r";
  bool ok = false;
  {
    std::ofstream in(in_name, std::ios::binary);
    in << input;
    ok = static_cast<bool>(in);
  }
  if (ok) {
    if (path == ComputePath::weight_distribution)
      wdist::run_weight_distribution(in_name.c_str(), out_name.c_str());
    else
      wdist::run_projective_sums(in_name.c_str(), out_name.c_str());
    std::ifstream out(out_name, std::ios::binary);
    std::ostringstream bytes;
    bytes << out.rdbuf();
    ok = static_cast<bool>(out);
    report = bytes.str();
  }
  std::remove(out_name.c_str());
  std::remove(in_name.c_str());
  rmdir(dir.c_str());
  return ok;
}

Weights expected_weights(ComputePath path, const TestCode& code) {
  return path == ComputePath::weight_distribution ? weight_distribution_ref(code) : projective_sums_ref(code);
}

void size_matrix_capacity(MatrixCapacity& c, int rows, int columns) {
  if (c.held && columns <= c.cap_cols && rows <= c.cap_rows) return;
  c.held = true;
  c.cap_rows = rows;
  c.cap_cols = 16 * ((static_cast<long long>(columns) - 1) / 16 + 1);
}

std::string expected_report(ComputePath path, const std::vector<TestCode>& codes, const std::string& time_field) {
  std::string text;
  MatrixCapacity cap;
  int record = 0;
  for (const TestCode& code : codes) {
    ++record;
    size_matrix_capacity(cap, code.k, code.n);
    char line[160];
    std::snprintf(line, sizeof line, "\n? %d %d %d %d %lld %lld  \n", code.k, code.n, code.q, record, cap.cap_rows,
                  cap.cap_cols);
    text += line;
    for (const std::string& row : row_texts(code)) text.append(row).append("\n");
    text.append("G= 1 \n\n Time =  ").append(time_field).append(" seconds \n");
    for (const auto& [w, a] : nonzero_pairs(expected_weights(path, code))) {
      std::snprintf(line, sizeof line, " %d^%llu ", w, static_cast<unsigned long long>(a));
      text += line;
    }
  }
  return text;
}

}  // namespace wdist_test
