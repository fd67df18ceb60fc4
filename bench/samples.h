// Samples of one quantity over a benchmark's timed rounds, read as
// quantiles (the tables give median (min–max)).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

struct Samples {
  std::vector<double> v;
  void add(double x) { v.push_back(x); }
  // The sample at `fraction` of the sorted order: 0 the least, 0.5 the
  // median, 1 the largest; 0 without samples.
  double at(double fraction) const {
    if (v.empty()) return 0;
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    return s[static_cast<std::size_t>(fraction * static_cast<double>(s.size() - 1) + 0.5)];
  }
  double min() const { return at(0); }
  double median() const { return at(0.5); }
  double max() const { return at(1); }
};
