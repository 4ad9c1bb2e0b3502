#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/tridiagonal/deflation.h"
#include "lapack/tridiagonal/dlaed7.h"

namespace ztr {

void dlaed8(int icompq, int* k, int n, int qsiz, double* d, double* q, int ldq, int* indxq,
            double* rho, int cutpnt, double* z, double* dlamda, double* q2, int ldq2, double* w,
            int* perm, int* givptr, int* givcol, double* givnum, int* indxp, int* indx) {
  *k = 0;
  *givptr = 0;
  if (n == 0) return;
  const std::ptrdiff_t ld = ldq, ld2 = ldq2;
  auto qcol = [&](int j) { return q + (j - 1) * ld; };  // one-based column
  const int inc1 = 1;

  bool all_deflate = false;
  const double tol = prepare_merge(n, cutpnt, d, indxq, rho, z, dlamda, indxp, indx, &all_deflate);
  if (all_deflate) {
    // Only the sort remains.
    for (int j = 0; j < n; ++j) {
      perm[j] = indx[j];
      dlamda[j] = d[perm[j] - 1];
      if (icompq == 1) blas_dcopy(&qsiz, qcol(perm[j]), &inc1, q2 + j * ld2, &inc1);
    }
    blas_dcopy(&n, dlamda, &inc1, d, &inc1);
    if (icompq == 1) dlacpy("A", &qsiz, &n, q2, &ldq2, q, &ldq);
    return;
  }

  *k = deflate(n, indx, d, z, *rho, tol, dlamda, w, indxp, [&](int pj, int nj, double c, double s) {
    givcol[2 * *givptr] = pj;
    givcol[2 * *givptr + 1] = nj;
    givnum[2 * *givptr] = c;
    givnum[2 * *givptr + 1] = s;
    ++*givptr;
    if (icompq == 1) blas_drot(&qsiz, qcol(pj), &inc1, qcol(nj), &inc1, &c, &s);
  });

  // The kept columns first, then the deflated ones; the deflated pairs also go straight
  // back to the end of d and q.
  for (int j = 0; j < n; ++j) {
    perm[j] = indxp[j];
    dlamda[j] = d[perm[j] - 1];
    if (icompq == 1) blas_dcopy(&qsiz, qcol(perm[j]), &inc1, q2 + j * ld2, &inc1);
  }
  const int rest = n - *k;
  if (rest > 0) {
    blas_dcopy(&rest, dlamda + *k, &inc1, d + *k, &inc1);
    if (icompq == 1) dlacpy("A", &qsiz, &rest, q2 + *k * ld2, &ldq2, qcol(*k + 1), &ldq);
  }
}

}  // namespace ztr
