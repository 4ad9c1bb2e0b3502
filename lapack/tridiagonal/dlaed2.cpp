#include <algorithm>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/auxiliary/dlapy2.h"
#include "lapack/dlamch.h"
#include "lapack/tridiagonal/dlaed1.h"
#include "lapack/tridiagonal/dlamrg.h"

namespace ztr {

namespace {

// The deflation tolerance is this many ulps of the largest entry of d or z.
constexpr double kDeflationUlps = 8.0;

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
  double* w = w_arg - 1;
  double* q2 = q2_arg - 1;
  int* indxq = indxq_arg - 1;
  int* indx = indx_arg - 1;
  int* indxc = indxc_arg - 1;
  int* indxp = indxp_arg - 1;
  int* coltyp = coltyp_arg - 1;
  auto qcol = [&](int j) { return q + (j - 1) * ld; };
  const int inc1 = 1;

  const int n2 = n - n1;
  if (*rho < 0.0) {
    const double minus_one = -1.0;
    blas_dscal(&n2, &minus_one, &z[n1 + 1], &inc1);
  }
  // z is the concatenation of two unit vectors: norm sqrt(2).
  const double t_norm = 1.0 / std::sqrt(2.0);
  blas_dscal(&n, &t_norm, &z[1], &inc1);
  *rho = std::fabs(2.0 * *rho);

  for (int i = n1 + 1; i <= n; ++i) indxq[i] += n1;
  for (int i = 1; i <= n; ++i) dlamda[i] = d[indxq[i]];
  dlamrg(n1, n2, &dlamda[1], 1, 1, &indxc[1]);
  for (int i = 1; i <= n; ++i) indx[i] = indxq[indxc[i]];

  const int imax = blas_idamax(&n, &z[1], &inc1);
  const int jmax = blas_idamax(&n, &d[1], &inc1);
  const double eps = dlamch("Epsilon");
  const double tol = kDeflationUlps * eps * std::max(std::fabs(d[jmax]), std::fabs(z[imax]));

  if (*rho * std::fabs(z[imax]) <= tol) {
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

  int kk = 0;
  int k2 = n + 1;
  int pj = 0;
  int j = 1;
  // The first column that does not deflate on its z component.
  for (; j <= n; ++j) {
    const int nj = indx[j];
    if (*rho * std::fabs(z[nj]) <= tol) {
      --k2;
      coltyp[nj] = kDeflated;
      indxp[k2] = nj;
    } else {
      pj = nj;
      break;
    }
  }
  for (++j; j <= n; ++j) {
    const int nj = indx[j];
    if (*rho * std::fabs(z[nj]) <= tol) {
      --k2;
      coltyp[nj] = kDeflated;
      indxp[k2] = nj;
      continue;
    }
    // Two close eigenvalues: a rotation zeroes one z component if the change it makes to
    // the matrix is below the tolerance.
    double s = z[pj], c = z[nj];
    const double tau = dlapy2(c, s);
    const double t = d[nj] - d[pj];
    c /= tau;
    s = -s / tau;
    if (std::fabs(t * c * s) <= tol) {
      z[nj] = tau;
      z[pj] = 0.0;
      if (coltyp[nj] != coltyp[pj]) coltyp[nj] = kDense;
      coltyp[pj] = kDeflated;
      blas_drot(&n, qcol(pj), &inc1, qcol(nj), &inc1, &c, &s);
      const double tt = d[pj] * c * c + d[nj] * s * s;
      d[nj] = d[pj] * s * s + d[nj] * c * c;
      d[pj] = tt;
      // Keep the deflated list in descending order of d.
      --k2;
      int i = 1;
      while (k2 + i <= n && d[pj] < d[indxp[k2 + i]]) {
        indxp[k2 + i - 1] = indxp[k2 + i];
        indxp[k2 + i] = pj;
        ++i;
      }
      indxp[k2 + i - 1] = pj;
      pj = nj;
    } else {
      ++kk;
      dlamda[kk] = d[pj];
      w[kk] = z[pj];
      indxp[kk] = pj;
      pj = nj;
    }
  }
  ++kk;
  dlamda[kk] = d[pj];
  w[kk] = z[pj];
  indxp[kk] = pj;

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
