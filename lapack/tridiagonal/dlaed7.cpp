#include "lapack/tridiagonal/dlaed7.h"

#include <algorithm>

#include "blas/gemm/gemm.h"
#include "lapack/tridiagonal/dlaed9.h"
#include "lapack/tridiagonal/dlamrg.h"
#include "service/error.h"

namespace ztr {

void dlaed7(const int* icompq, const int* n, const int* qsiz, const int* tlvls, const int* curlvl,
            const int* curpbm, double* d, double* q, const int* ldq, int* indxq, const double* rho,
            const int* cutpnt, double* qstore, int* qptr, int* prmptr, int* perm, int* givptr,
            int* givcol, double* givnum, double* work, int* iwork, int* info) {
  const int nn = *n;
  int bad = 0;
  if (*icompq < 0 || *icompq > 1) {
    bad = 1;
  } else if (nn < 0) {
    bad = 2;
  } else if (*icompq == 1 && *qsiz < nn) {
    bad = 3;
  } else if (*ldq < std::max(1, nn)) {
    bad = 9;
  } else if (std::min(1, nn) > *cutpnt || nn < *cutpnt) {
    bad = 12;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DLAED7", &bad, 6);
    return;
  }
  if (nn == 0) return;
  const int ldq2 = *icompq == 1 ? *qsiz : nn;
  double* z = work;
  double* dlamda = z + nn;
  double* w = dlamda + nn;
  double* q2 = w + nn;
  int* indx = iwork;
  int* indxp = indx + nn;

  // This merge's node in the store (one-based; its entries start at ptr[node]).
  int node = 1 + (1 << *tlvls);
  for (int l = 1; l < *curlvl; ++l) node += 1 << (*tlvls - l);
  node += *curpbm;
  dlaeda(nn, *tlvls, *curlvl, *curpbm, prmptr, perm, givptr, givcol, givnum, qstore, qptr, z,
         dlamda);
  // The top merge is the last reader of the store: its record may start over at the front.
  if (*curlvl == *tlvls) {
    qptr[node - 1] = 1;
    prmptr[node - 1] = 1;
    givptr[node - 1] = 1;
  }

  double r = *rho;
  int k = 0;
  int ngiv = 0;
  const int giv0 = givptr[node - 1] - 1;
  dlaed8(*icompq, &k, nn, *qsiz, d, q, *ldq, indxq, &r, *cutpnt, z, dlamda, q2, ldq2, w,
         perm + prmptr[node - 1] - 1, &ngiv, givcol + 2 * giv0, givnum + 2 * giv0, indxp, indx);
  prmptr[node] = prmptr[node - 1] + nn;
  givptr[node] = givptr[node - 1] + ngiv;

  if (k == 0) {
    qptr[node] = qptr[node - 1];
    for (int i = 0; i < nn; ++i) indxq[i] = i + 1;
    *info = 0;
    return;
  }
  double* s = qstore + qptr[node - 1] - 1;
  dlaed9(k, d, s, k, r, dlamda, w, z, info);  // z is spent: w holds its kept entries
  if (*info != 0) return;
  if (*icompq == 1) {
    const double one = 1.0, zero = 0.0;
    ztr_blas_dgemm("N", "N", qsiz, &k, &k, &one, q2, &ldq2, s, &k, &zero, q, ldq);
  }
  qptr[node] = qptr[node - 1] + k * k;
  dlamrg(k, nn - k, d, 1, -1, indxq);
}

}  // namespace ztr
