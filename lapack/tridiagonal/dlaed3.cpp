#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/auxiliary/dlaset.h"
#include "lapack/tridiagonal/dlaed1.h"
#include "lapack/tridiagonal/dlaed9.h"

namespace ztr {

void dlaed3(int k, int n, int n1, double* d, double* q, int ldq, double rho, double* dlamda,
            const double* q2, const int* indx_arg, const int* ctot_arg, double* w, double* s,
            int* info) {
  *info = 0;
  if (k == 0) return;
  const std::ptrdiff_t ld = ldq;
  const int* indx = indx_arg - 1;  // one-based
  const int* ctot = ctot_arg - 1;
  auto at = [&](int i, int j) -> double& { return q[(i - 1) + (j - 1) * ld]; };

  dlaed9(k, d, q, ldq, rho, dlamda, w, s, info);
  if (*info != 0) return;
  // Put the rows of the vectors in grouped order.
  if (k >= 2) {
    const int inc1 = 1;
    for (int j = 1; j <= k; ++j) {
      blas_dcopy(&k, &at(1, j), &inc1, s, &inc1);
      for (int i = 1; i <= k; ++i) at(i, j) = s[indx[i] - 1];
    }
  }

  // Back to the original basis: the upper rows from the upper-half and dense columns of q2,
  // the lower rows from the dense and lower-half ones.
  const int n2 = n - n1;
  const int n12 = ctot[1] + ctot[2];
  const int n23 = ctot[2] + ctot[3];
  const double one = 1.0, zero = 0.0;
  dlacpy("A", &n23, &k, &at(ctot[1] + 1, 1), &ldq, s, &n23);
  if (n23 != 0) {
    ztr_blas_dgemm("N", "N", &n2, &k, &n23, &one, q2 + static_cast<std::ptrdiff_t>(n1) * n12, &n2,
                   s, &n23, &zero, &at(n1 + 1, 1), &ldq);
  } else {
    dlaset("A", &n2, &k, &zero, &zero, &at(n1 + 1, 1), &ldq);
  }
  dlacpy("A", &n12, &k, q, &ldq, s, &n12);
  if (n12 != 0) {
    ztr_blas_dgemm("N", "N", &n1, &k, &n12, &one, q2, &n1, s, &n12, &zero, q, &ldq);
  } else {
    dlaset("A", &n1, &k, &zero, &zero, q, &ldq);
  }
}

}  // namespace ztr
