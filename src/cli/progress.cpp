#include "cli/progress.h"

#include <cstdio>

namespace wdist::cli {

void ProgressLine::show(const std::string& what, std::uint64_t done, std::uint64_t total, std::uint64_t resumed,
                        double elapsed) {
  if (!enabled_ || total == 0) return;
  char text[256];
  const double share = 100.0 * static_cast<double>(done) / static_cast<double>(total);
  const std::uint64_t here = done > resumed ? done - resumed : 0;
  if (here == 0 || elapsed <= 0) {
    std::snprintf(text, sizeof text, "wdist: %s: %5.1f%% done, %.0f s", what.c_str(), share, elapsed);
  } else {
    const double left = elapsed / static_cast<double>(here) * static_cast<double>(total - done);
    std::snprintf(text, sizeof text, "wdist: %s: %5.1f%% done, %.0f s, about %.0f s left", what.c_str(), share,
                  elapsed, left);
  }
  std::string line = text;
  const std::size_t length = line.size();
  if (length < shown_) line.append(shown_ - length, ' ');
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  shown_ = length;
}

void ProgressLine::clear() {
  if (!enabled_ || shown_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(stderr);
  shown_ = 0;
}

}  // namespace wdist::cli
