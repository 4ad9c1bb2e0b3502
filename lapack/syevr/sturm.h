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

// Bisection steps that narrow an interval of the given width down to pivmin, plus two: the
// bound of the bisection loops.  A width that is not a number (non-finite input data) gives
// the most steps the exponent range of a double allows, rather than an undefined conversion.
inline int bisection_steps(double width, double pivmin) {
  constexpr int kMostSteps = 2100;  // log2 of the largest over the smallest positive double
  const double steps = (std::log(width + pivmin) - std::log(pivmin)) / std::log(2.0);
  if (!(steps < kMostSteps)) return kMostSteps + 2;
  return (steps > 0 ? static_cast<int>(steps) : 0) + 2;
}

// Work list of the bisection routines: intervals (lo, hi] with the Sturm counts at both ends,
// in caller-provided arrays (count holds pairs).  Processed depth first with lower halves
// first, so eigenvalues come out in ascending order.
struct BracketStack {
  double* lo;
  double* hi;
  int* count;
  int top = 0;

  void push(double l, double h, int cl, int ch) {
    lo[top] = l;
    hi[top] = h;
    count[2 * top] = cl;
    count[2 * top + 1] = ch;
    ++top;
  }
  void pop(double& l, double& h, int& cl, int& ch) {
    --top;
    l = lo[top];
    h = hi[top];
    cl = count[2 * top];
    ch = count[2 * top + 1];
  }
  // One bisection step of (l, h] at mid, whose count c is already clamped to [cl, ch]: keep
  // the half that holds eigenvalues; when both do, keep the lower one and push the upper one.
  void halve(double mid, int c, double& l, double& h, int& cl, int& ch) {
    if (c == cl) {
      l = mid;
    } else if (c == ch) {
      h = mid;
    } else {
      push(mid, h, c, ch);
      h = mid;
      ch = c;
    }
  }
};

}  // namespace ztr
