#include "menu/console/random_codes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "menu/console/texts.h"
#include "field/fields.h"

namespace wdist {

void write_random_codes(const char* name, std::int32_t n, std::int32_t k, std::int32_t q, std::int32_t number) {
  if (!is_menu_field(q)) {
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
  // Rows go out in chunks, so a long row needs no buffer of its length. The
  // first failed write (a full disk, a file size limit) ends the file: what
  // follows could not be written either, and a large request would otherwise
  // keep drawing digits for a stream that takes none.
  char chunk[4096];
  for (std::int32_t i = 1; i <= number && !std::ferror(out); ++i) {
    std::fprintf(out, texts::kGeneratedHeadFormat, k, n, q, i);
    for (std::int32_t row = 0; row < k && !std::ferror(out); ++row) {
      // Entries are drawn column by column, each one digit since q < 10.
      for (std::int32_t left = n; left > 0 && !std::ferror(out);) {
        constexpr auto kChunk = static_cast<std::int32_t>(sizeof chunk);
        const std::int32_t length = left < kChunk ? left : kChunk;
        for (std::int32_t j = 0; j < length; ++j) chunk[j] = static_cast<char>('0' + std::rand() % q);
        std::fwrite(chunk, 1, static_cast<std::size_t>(length), out);
        left -= length;
      }
      std::fputc('\n', out);
    }
  }
  bool failed = std::ferror(out) != 0;
  if (std::fclose(out) != 0) failed = true;
  if (failed) std::fprintf(stderr, texts::kCannotWriteOutputFormat, name, std::strerror(errno));
}

}  // namespace wdist
