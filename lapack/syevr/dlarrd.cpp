#include <algorithm>
#include <cmath>

#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/sturm.h"

namespace ztr {

void dlarrd(const int* n, const double* gl, const double* gu, const double* d, const double* e2,
            const double* pivmin, const double* reltol, const int* indl, const int* indu, double* w,
            double* werr, double* work, int* iwork, int* info) {
  *info = 0;
  const int nn = *n, lo_index = *indl, hi_index = *indu;
  if (nn <= 0 || hi_index < lo_index) return;
  const double pm = *pivmin;
  const double width0 = *gu - *gl;
  const int itmax = static_cast<int>((std::log(width0 + pm) - std::log(pm)) / std::log(2.0)) + 2;
  BracketStack stack{work, work + nn, iwork};
  stack.push(*gl, *gu, 0, nn);
  while (stack.top > 0) {
    double lo, hi;
    int nlo, nhi;
    stack.pop(lo, hi, nlo, nhi);
    for (int it = 0;; ++it) {
      // Only the eigenvalues lo_index..hi_index matter.
      if (nhi < lo_index || nlo >= hi_index) break;
      const double tol = std::max(2 * pm, *reltol * std::max(std::fabs(lo), std::fabs(hi)));
      if (hi - lo < tol || it >= itmax) {
        if (hi - lo >= tol) *info = 1;
        for (int k = std::max(nlo + 1, lo_index); k <= std::min(nhi, hi_index); ++k) {
          w[k - lo_index] = 0.5 * (lo + hi);
          werr[k - lo_index] = 0.5 * (hi - lo);
        }
        break;
      }
      const double mid = 0.5 * (lo + hi);
      const int c = std::min(std::max(sturm_count(0, nn - 1, d, e2, pm, mid), nlo), nhi);
      stack.halve(mid, c, lo, hi, nlo, nhi);
    }
  }
}

}  // namespace ztr
