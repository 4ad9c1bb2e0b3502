// The BLAS tests' reference loops and tolerances live in the shared test support.
#pragma once

#include "tests/support/test_support.h"

namespace ztr::test {

// 1 when a padding entry changed (NaN must stay NaN).
inline int changed(double got, double was) {
  return std::isnan(was) ? !std::isnan(got) : got != was;
}

// 1 when `got` misses alpha*s + beta*c (the beta term only for beta != 0) by more than
// rounding; mag bounds the sum of |terms| of s.
inline int misses(double got, LD s, LD mag, double alpha, double beta, double c, int terms) {
  LD want = alpha * s, wmag = std::fabs(alpha) * mag;
  if (beta != 0.0) want += beta * static_cast<LD>(c), wmag += std::fabs(beta * c);
  return !close(got, want, wmag, terms);
}

}  // namespace ztr::test
