// The counter types every kernel is compiled for, listed once: 16-bit
// counters (the narrow program, and any record whose length allows them)
// and 32-bit counters. Each kernel source instantiates its templates with
//   #define WDIST_INSTANTIATE(C) template void f<C>(C*, ...);
//   WDIST_FOR_EACH_COUNTER(WDIST_INSTANTIATE)
// and its header declares them the same way with `extern template`.
#pragma once

#include <cstdint>

#define WDIST_FOR_EACH_COUNTER(X) \
  X(std::int16_t)                 \
  X(std::int32_t)
