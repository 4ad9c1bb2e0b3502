#include <algorithm>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/tridiagonal/deflation.h"
#include "lapack/tridiagonal/dlaed1.h"

namespace ztr {

namespace {

// Column types of the merged eigenvector matrix.
enum ColumnType { kUpper = 1, kDense = 2, kLower = 3, kDeflated = 4 };

}  // namespace

void dlaed2(int* k, int n, int n1, double* d_arg, double* q, int ldq, int* indxq_arg, double* rho,
            double* z_arg, double* dlamda_arg, double* w_arg, double* q2_arg, int* indx_arg,
            int* indxc_arg, int* indxp_arg, int* coltyp_arg, int* info) {
  *info = 0;
  *k = 0;
  if (n == 0) return;
  const std::ptrdiff_t ld = ldq;
  // One-based views.
  double* d = d_arg - 1;
  double* z = z_arg - 1;
  double* dlamda = dlamda_arg - 1;
  double* q2 = q2_arg - 1;
  int* indx = indx_arg - 1;
  int* indxc = indxc_arg - 1;
  int* indxp = indxp_arg - 1;
  int* coltyp = coltyp_arg - 1;
  auto qcol = [&](int j) { return q + (j - 1) * ld; };
  const int inc1 = 1;

  const int n2 = n - n1;
  bool all_deflate = false;
  const double tol = prepare_merge(n, n1, d_arg, indxq_arg, rho, z_arg, dlamda_arg, indxc_arg,
                                   indx_arg, &all_deflate);
  if (all_deflate) {
    // Everything deflates: only the sort remains.
    int iq2 = 1;
    for (int j = 1; j <= n; ++j) {
      const int i = indx[j];
      blas_dcopy(&n, qcol(i), &inc1, &q2[iq2], &inc1);
      dlamda[j] = d[i];
      iq2 += n;
    }
    dlacpy("A", &n, &n, &q2[1], &n, q, &ldq);
    blas_dcopy(&n, &dlamda[1], &inc1, &d[1], &inc1);
    return;
  }

  for (int i = 1; i <= n1; ++i) coltyp[i] = kUpper;
  for (int i = n1 + 1; i <= n; ++i) coltyp[i] = kLower;
  // A rotated pair mixes the two columns: the survivor is dense if they came from different
  // halves.
  const int kept = deflate(n, indx_arg, d_arg, z_arg, *rho, tol, dlamda_arg, w_arg, indxp_arg,
                           [&](int pj, int nj, double c, double s) {
                             if (coltyp[nj] != coltyp[pj]) coltyp[nj] = kDense;
                             coltyp[pj] = kDeflated;
                             blas_drot(&n, qcol(pj), &inc1, qcol(nj), &inc1, &c, &s);
                           });
  for (int j = kept + 1; j <= n; ++j) coltyp[indxp[j]] = kDeflated;

  // Group the columns by type; indxc maps a grouped position back to the sorted one.
  int ctot[5] = {0, 0, 0, 0, 0};
  for (int jj = 1; jj <= n; ++jj) ++ctot[coltyp[jj]];
  int psm[5];
  psm[1] = 1;
  psm[2] = 1 + ctot[1];
  psm[3] = psm[2] + ctot[2];
  psm[4] = psm[3] + ctot[3];
  *k = n - ctot[4];
  for (int jj = 1; jj <= n; ++jj) {
    const int js = indxp[jj];
    const int ct = coltyp[js];
    indx[psm[ct]] = js;
    indxc[psm[ct]] = jj;
    ++psm[ct];
  }

  // Upper-half columns keep only their first n1 rows in q2, lower-half ones their last n2.
  int i = 1;
  int iq1 = 1;
  int iq2 = 1 + (ctot[1] + ctot[2]) * n1;
  for (int jj = 1; jj <= ctot[1]; ++jj, ++i) {
    const int js = indx[i];
    blas_dcopy(&n1, qcol(js), &inc1, &q2[iq1], &inc1);
    z[i] = d[js];
    iq1 += n1;
  }
  for (int jj = 1; jj <= ctot[2]; ++jj, ++i) {
    const int js = indx[i];
    blas_dcopy(&n1, qcol(js), &inc1, &q2[iq1], &inc1);
    blas_dcopy(&n2, qcol(js) + n1, &inc1, &q2[iq2], &inc1);
    z[i] = d[js];
    iq1 += n1;
    iq2 += n2;
  }
  for (int jj = 1; jj <= ctot[3]; ++jj, ++i) {
    const int js = indx[i];
    blas_dcopy(&n2, qcol(js) + n1, &inc1, &q2[iq2], &inc1);
    z[i] = d[js];
    iq2 += n2;
  }
  iq1 = iq2;
  for (int jj = 1; jj <= ctot[4]; ++jj, ++i) {
    const int js = indx[i];
    blas_dcopy(&n, qcol(js), &inc1, &q2[iq2], &inc1);
    iq2 += n;
    z[i] = d[js];
  }
  // The deflated pairs go straight back to the end of d and q.
  if (*k < n) {
    const int rest = n - *k;
    dlacpy("A", &n, &ctot[4], &q2[iq1], &n, qcol(*k + 1), &ldq);
    blas_dcopy(&rest, &z[*k + 1], &inc1, &d[*k + 1], &inc1);
  }
  for (int jj = 1; jj <= 4; ++jj) coltyp[jj] = ctot[jj];
}

}  // namespace ztr
