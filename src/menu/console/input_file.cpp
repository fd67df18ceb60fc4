#include "menu/console/input_file.h"

#include <cerrno>

namespace wdist {

std::FILE* open_input_file(const char* name) {
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return nullptr;
  // fopen accepts a directory for reading; only the first read tells.
  errno = 0;
  const int c = std::getc(f);
  if (c == EOF && std::ferror(f)) {
    const int reason = errno != 0 ? errno : EIO;
    std::fclose(f);
    errno = reason;
    return nullptr;
  }
  if (c != EOF) std::ungetc(c, f);
  else std::rewind(f);  // keep the stream fresh for a file that is empty
  return f;
}

}  // namespace wdist
