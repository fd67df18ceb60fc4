// Memory that cannot be had, on request, in a test binary: linking
// failing_new.cpp replaces the binary's allocation functions (the seam
// every C++ allocation goes through), and while a FailFrom lives every
// request of its size or more fails as memory that cannot be had does.
// (failing_preload.cpp is the same seam for a whole program.)
#pragma once

#include <cstddef>

namespace wdist_test {

class FailFrom {
 public:
  explicit FailFrom(std::size_t bytes);
  ~FailFrom();
  FailFrom(const FailFrom&) = delete;
  FailFrom& operator=(const FailFrom&) = delete;
  FailFrom(FailFrom&&) = delete;
  FailFrom& operator=(FailFrom&&) = delete;
};

// The largest request made since the last reset (by any thread).
void reset_largest_request();
std::size_t largest_request();

}  // namespace wdist_test
