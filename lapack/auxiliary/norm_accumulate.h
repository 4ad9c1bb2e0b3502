// Accumulators shared by the matrix norms: a maximum that keeps NaNs, and a sum of squares
// kept as scale^2 * sumsq so that it neither overflows nor underflows.
#pragma once

#include <cmath>

namespace ztr {

// The norm of anything holding a NaN must be NaN, which a plain max would drop.
inline double nan_max(double current, double x) {
  return (x > current || std::isnan(x)) ? x : current;
}

inline void add_square(double x, double* scale, double* sumsq) {
  const double ax = std::fabs(x);
  if (ax == 0.0) return;
  if (*scale < ax || std::isnan(ax)) {
    *sumsq = 1.0 + *sumsq * (*scale / ax) * (*scale / ax);
    *scale = ax;
  } else {
    *sumsq += (ax / *scale) * (ax / *scale);
  }
}

}  // namespace ztr
