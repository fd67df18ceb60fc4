// The progress line of a long record on standard error: one line, written
// over in place, with the share done, the time spent and an estimate of
// the time left.
#pragma once

#include <cstdint>
#include <string>

namespace wdist::cli {

class ProgressLine {
 public:
  // `enabled`: whether anything is ever shown.
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ProgressLine(ProgressLine&&) = delete;
  ProgressLine& operator=(ProgressLine&&) = delete;

  // `done` of `total` units of the record `what` after `elapsed` seconds,
  // `resumed` of them done before this run started (they count as done but
  // not into the rate).
  void show(const std::string& what, std::uint64_t done, std::uint64_t total, std::uint64_t resumed, double elapsed);
  // Removes the line (before other output on standard error, and at the end).
  void clear();

 private:
  bool enabled_;
  std::size_t shown_ = 0;  // characters on the line now
};

}  // namespace wdist::cli
