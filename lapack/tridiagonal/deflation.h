// The deflation shared by the two merges of the divide-and-conquer tridiagonal eigensolver:
// the one that forms the merged eigenvectors (dlaed2) and the one that updates a given
// orthogonal matrix (dlaed8).  Both see the merged problem D + rho*z*z' with D the two
// halves' eigenvalues, each half in its own order, and remove from the secular equation
// every eigenvalue whose z component is negligible and one of every pair of eigenvalues
// close enough that a plane rotation can zero one z component.
// All index values are one-based, as the LAPACK routines keep them.
#pragma once

#include <cmath>

#include "lapack/auxiliary/dlapy2.h"

namespace ztr {

// Normalises the rank-one modification and finds the ascending order of d.
//   z[0..n-1] (the upper half's last-row entries, then the lower half's first-row ones) is
//   scaled to a unit vector, its lower part negated when rho < 0, and rho becomes |2*rho|.
//   indxq[0..n-1] orders each half ascending; its lower part is shifted by n1 so that it
//   indexes the whole of d.  sorted[0..n-1] receives the positions in d in ascending order.
//   scratch (n doubles) and merge_index (n ints) are overwritten.
// Returns the deflation tolerance, 8 ulps of the largest entry of d or z; everything
// deflates when rho * max|z| is within it (*all_deflate).
double prepare_merge(int n, int n1, const double* d, int* indxq, double* rho, double* z,
                     double* scratch, int* merge_index, int* sorted, bool* all_deflate);

// The deflation loop over d and z in the order `sorted` (as prepare_merge leaves them).
// Entries with rho*|z| <= tol deflate; two neighbours nj after pj whose rotation
// [c -s; s c] (c = z(nj)/tau, s = -z(pj)/tau) changes the matrix by at most tol are rotated:
// z(nj) = tau, z(pj) = 0, d updated, and rotate(pj, nj, c, s) told so that the caller turns
// the vectors the same way.  Returns k, the size of the remaining secular problem, with
// dlamda[0..k-1] its poles (ascending) and w[0..k-1] their z components; indxp[0..n-1]
// lists the positions in d of the k kept entries, then of the deflated ones in descending
// order of d.
template <class Rotate>
int deflate(int n, const int* sorted_arg, double* d_arg, double* z_arg, double rho, double tol,
            double* dlamda, double* w, int* indxp_arg, Rotate rotate) {
  const int* sorted = sorted_arg - 1;  // one-based views
  double* d = d_arg - 1;
  double* z = z_arg - 1;
  int* indxp = indxp_arg - 1;
  int k = 0;
  int k2 = n + 1;
  int j = 1;
  for (; j <= n && rho * std::fabs(z[sorted[j]]) <= tol; ++j) indxp[--k2] = sorted[j];
  if (j > n) return 0;
  int pj = sorted[j];
  for (++j; j <= n; ++j) {
    const int nj = sorted[j];
    if (rho * std::fabs(z[nj]) <= tol) {
      indxp[--k2] = nj;
      continue;
    }
    const double tau = dlapy2(z[nj], z[pj]);
    const double c = z[nj] / tau;
    const double s = -z[pj] / tau;
    const double t = d[nj] - d[pj];
    if (std::fabs(t * c * s) <= tol) {
      z[nj] = tau;
      z[pj] = 0.0;
      rotate(pj, nj, c, s);
      const double tt = d[pj] * c * c + d[nj] * s * s;
      d[nj] = d[pj] * s * s + d[nj] * c * c;
      d[pj] = tt;
      // Insert pj into the deflated list, which is kept in descending order of d.
      --k2;
      int i = 1;
      while (k2 + i <= n && d[pj] < d[indxp[k2 + i]]) {
        indxp[k2 + i - 1] = indxp[k2 + i];
        ++i;
      }
      indxp[k2 + i - 1] = pj;
    } else {
      dlamda[k] = d[pj];
      w[k] = z[pj];
      indxp[++k] = pj;
    }
    pj = nj;
  }
  dlamda[k] = d[pj];
  w[k] = z[pj];
  indxp[++k] = pj;
  return k;
}

}  // namespace ztr
