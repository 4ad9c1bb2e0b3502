#include "lapack/tridiagonal/dlaed1.h"

#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/tridiagonal/dlamrg.h"
#include "service/error.h"

namespace ztr {

void dlaed1(const int* n, double* d, double* q, const int* ldq, int* indxq, const double* rho,
            const int* cutpnt, double* work, int* iwork, int* info) {
  const int nn = *n;
  int bad = 0;
  if (nn < 0) {
    bad = 1;
  } else if (*ldq < std::max(1, nn)) {
    bad = 4;
  } else if (std::min(1, nn / 2) > *cutpnt || nn / 2 < *cutpnt) {
    bad = 7;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DLAED1", &bad, 6);
    return;
  }
  if (nn == 0) return;
  const std::ptrdiff_t ld = *ldq;
  const int cut = *cutpnt;
  // Workspace: z, dlamda, w, then q2 and the vectors of the secular problem.
  double* z = work;
  double* dlamda = z + nn;
  double* w = dlamda + nn;
  double* q2 = w + nn;
  int* indx = iwork;
  int* indxc = indx + nn;
  int* coltyp = indxc + nn;
  int* indxp = coltyp + nn;

  // z: the last row of the upper block's vectors and the first row of the lower block's.
  const int inc1 = 1;
  blas_dcopy(&cut, q + (cut - 1), ldq, z, &inc1);
  const int rest = nn - cut;
  blas_dcopy(&rest, q + cut + cut * ld, ldq, z + cut, &inc1);

  double r = *rho;
  int k = 0;
  dlaed2(&k, nn, cut, d, q, *ldq, indxq, &r, z, dlamda, w, q2, indx, indxc, indxp, coltyp, info);
  if (*info != 0) return;
  if (k != 0) {
    const std::ptrdiff_t q2_size = static_cast<std::ptrdiff_t>(coltyp[0] + coltyp[1]) * cut +
                                   static_cast<std::ptrdiff_t>(coltyp[1] + coltyp[2]) * rest;
    dlaed3(k, nn, cut, d, q, *ldq, r, dlamda, q2, indxc, coltyp, w, q2 + q2_size, info);
    if (*info != 0) return;
    dlamrg(k, nn - k, d, 1, -1, indxq);
  } else {
    for (int i = 0; i < nn; ++i) indxq[i] = i + 1;
  }
}

}  // namespace ztr
