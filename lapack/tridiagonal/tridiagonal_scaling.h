// The set-up that the tridiagonal QL/QR iterations share: the walk over the unreduced blocks
// and the scaling applied to each of them.  A block whose largest entry lies outside
// [ssfmin, ssfmax] is scaled to that bound first, so that squares of its entries neither
// overflow nor underflow, and scaled back afterwards.
#pragma once

#include <cmath>

#include "lapack/auxiliary/dlanst.h"
#include "lapack/auxiliary/dlascl.h"
#include "lapack/dlamch.h"

namespace ztr {

struct TridiagonalScaling {
  double anorm = 0;
  double target = 0;  // ssfmax or ssfmin while scaled, 0 when not
  double ssfmax = std::sqrt(1.0 / dlamch("S")) / 3.0;
  double ssfmin = std::sqrt(dlamch("S")) / (dlamch("E") * dlamch("E"));

  // Scales d[0..len-1] and e[0..len-2]; false when the block is zero (nothing to do).
  bool scale(int len, double* d, double* e) {
    anorm = dlanst("M", &len, d, e);
    target = 0;
    if (anorm == 0.0) return false;
    if (anorm > ssfmax) target = ssfmax;
    if (anorm < ssfmin) target = ssfmin;
    if (target != 0) apply(anorm, target, len, d, len - 1, e);
    return true;
  }
  // Undoes scale() on d[0..dlen-1] and e[0..elen-1].
  void unscale(int dlen, double* d, int elen, double* e) const {
    if (target != 0) apply(target, anorm, dlen, d, elen, e);
  }

 private:
  static void apply(double from, double to, int dlen, double* d, int elen, double* e) {
    const int zero = 0, one = 1;
    int info = 0;
    if (dlen > 0) dlascl("G", &zero, &zero, &from, &to, &dlen, &one, d, &dlen, &info);
    if (elen > 0) dlascl("G", &zero, &zero, &from, &to, &elen, &one, e, &elen, &info);
  }
};

// The unreduced blocks of the tridiagonal matrix with one-based views d[1..n], e[1..n-1], in
// order from the top: a block ends at the first m with |e(m)| <= sqrt|d(m)|*sqrt|d(m+1)|*eps,
// and that e(m) is set to zero.  Single rows and zero blocks are skipped; the others are
// scaled (scaling) before they are handed out.
struct UnreducedBlocks {
  static constexpr int kMaxIterationsPerEigenvalue = 30;

  explicit UnreducedBlocks(int order) : n(order) {}
  // The iteration budget of the whole matrix.
  int max_iterations() const { return n * kMaxIterationsPerEigenvalue; }
  // The next block lo..hi (one-based, hi > lo); false when there is none left.
  bool next(double* d, double* e, int* lo, int* hi) {
    while (l1 <= n) {
      if (l1 > 1) e[l1 - 1] = 0.0;
      int m = l1;
      for (; m < n; ++m) {
        const double tst = std::fabs(e[m]);
        if (tst == 0.0) break;
        if (tst <= std::sqrt(std::fabs(d[m])) * std::sqrt(std::fabs(d[m + 1])) * eps) {
          e[m] = 0.0;
          break;
        }
      }
      const int l = l1;
      l1 = m + 1;
      if (m == l || !scaling.scale(m - l + 1, d + l, e + l)) continue;
      *lo = l;
      *hi = m;
      return true;
    }
    return false;
  }

  int n;
  int l1 = 1;  // first row of the next block
  double eps = dlamch("E");
  TridiagonalScaling scaling;
};

}  // namespace ztr
