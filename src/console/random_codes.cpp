#include "console/random_codes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "console/texts.h"

namespace wdist {

namespace {

bool is_supported_field(std::int32_t q) { return q == 2 || q == 3 || q == 4 || q == 5 || q == 7; }

}  // namespace

void write_random_codes(const char* name, std::int32_t n, std::int32_t k, std::int32_t q, std::int32_t number) {
  if (!is_supported_field(q)) {
    std::fprintf(stderr, texts::kGeneratorRefusedFormat, "q must be one of 2, 3, 4, 5, 7");
    return;
  }
  if (n < 0 || k < 0) {
    std::fprintf(stderr, texts::kGeneratorRefusedFormat, "n and k must not be negative");
    return;
  }
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::FILE* out = std::fopen(name, "w");
  if (out == nullptr) {
    std::fprintf(stderr, texts::kGeneratorCannotOpenFormat, name, std::strerror(errno));
    return;
  }
  std::fputc('\n', out);
  std::vector<char> line(static_cast<std::size_t>(n) + 1);
  for (std::int32_t i = 1; i <= number; ++i) {
    std::fprintf(out, texts::kGeneratedHeadFormat, k, n, q, i);
    for (std::int32_t row = 0; row < k; ++row) {
      // Entries are drawn column by column, each one digit since q < 10.
      for (std::int32_t j = 0; j < n; ++j) line[static_cast<std::size_t>(j)] = static_cast<char>('0' + std::rand() % q);
      line[static_cast<std::size_t>(n)] = '\n';
      std::fwrite(line.data(), 1, line.size(), out);
    }
  }
  bool failed = std::ferror(out) != 0;
  if (std::fclose(out) != 0) failed = true;
  if (failed) std::fprintf(stderr, texts::kCannotWriteOutputFormat, name, std::strerror(errno));
}

}  // namespace wdist
