// The Sturm count of a symmetric tridiagonal block, shared by the bisection routines.
#pragma once
#include <cmath>

namespace ztr {

// Number of eigenvalues of rows first..last (zero-based) of T that are <= x (to rounding):
// the negative pivots of the LDL^T factorization of T - x*I, from the diagonal d and the
// squared off-diagonals e2.  A pivot smaller than pivmin in magnitude is replaced by
// -pivmin, which keeps the recurrence finite and counts an exact zero as negative.
inline int sturm_count(int first, int last, const double* d, const double* e2, double pivmin,
                       double x) {
  double t = d[first] - x;
  if (std::fabs(t) < pivmin) t = -pivmin;
  int count = t <= 0 ? 1 : 0;
  for (int j = first + 1; j <= last; ++j) {
    t = d[j] - e2[j - 1] / t - x;
    if (std::fabs(t) < pivmin) t = -pivmin;
    if (t <= 0) ++count;
  }
  return count;
}

}  // namespace ztr
