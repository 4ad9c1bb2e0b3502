// Plain reference loops accumulated in long double, and the tolerance test used with them.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <vector>

#include "service/cpu.h"

namespace ztr::test {

using LD = long double;
constexpr double kEps = std::numeric_limits<double>::epsilon();

// Position of element i of a Fortran vector of n entries with increment inc.
inline std::ptrdiff_t at(int i, int n, int inc) {
  return inc >= 0 ? static_cast<std::ptrdiff_t>(i) * inc
                  : static_cast<std::ptrdiff_t>(n - 1 - i) * -inc;
}
// Storage a vector of n entries with increment inc needs (at least 1).
inline std::size_t span(int n, int inc) {
  const int a = inc < 0 ? -inc : inc;
  return n <= 0 ? 1 : static_cast<std::size_t>(n - 1) * (a ? a : 1) + 1;
}

// Kernel variants this processor can run: CpuType 2 up to what the hardware supports.
inline int runnable_variants() {
  const int n = hardware_cpu_type() - kCpuTypeMin + 1;
  return n < kCpuTypeCount ? n : kCpuTypeCount;
}

inline std::vector<double> random_vector(std::size_t n, std::mt19937& gen, double lo = -1,
                                         double hi = 1) {
  std::uniform_real_distribution<double> d(lo, hi);
  std::vector<double> v(n);
  for (double& x : v) x = d(gen);
  return v;
}

// |got - want| within `terms` roundings of the magnitude `mag` (the sum of the absolute
// values of everything that entered the computation).
inline bool close(double got, LD want, LD mag, int terms) {
  if (std::isnan(got) || std::isnan(static_cast<double>(want))) return false;
  return std::fabs(static_cast<LD>(got) - want) <= (terms + 2) * kEps * mag + 1e-300L;
}

}  // namespace ztr::test
