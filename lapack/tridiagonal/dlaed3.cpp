#include <cmath>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/auxiliary/dlaset.h"
#include "lapack/tridiagonal/dlaed1.h"
#include "lapack/tridiagonal/dlaed4.h"

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

  for (int j = 1; j <= k; ++j) {
    dlaed4(k, j, dlamda, w, &at(1, j), rho, &d[j - 1], info);
    if (*info != 0) return;
  }

  if (k == 2) {
    // dlaed4 returned the eigenvectors themselves; put their rows in grouped order.
    for (int j = 1; j <= k; ++j) {
      const double w1 = at(1, j), w2 = at(2, j);
      const double v[2] = {w1, w2};
      at(1, j) = v[indx[1] - 1];
      at(2, j) = v[indx[2] - 1];
    }
  } else if (k > 2) {
    // Recompute z from the roots so that the vectors below are orthogonal to working
    // accuracy: z(i)^2 = prod_j (d(i) - lambda(j)) / prod_{j != i} (d(i) - d(j)), up to a
    // common factor that the normalisation removes.
    const int inc1 = 1;
    blas_dcopy(&k, w, &inc1, s, &inc1);
    const int diag_stride = ldq + 1;
    blas_dcopy(&k, q, &diag_stride, w, &inc1);
    for (int j = 1; j <= k; ++j) {
      for (int i = 1; i < j; ++i) w[i - 1] *= at(i, j) / (dlamda[i - 1] - dlamda[j - 1]);
      for (int i = j + 1; i <= k; ++i) w[i - 1] *= at(i, j) / (dlamda[i - 1] - dlamda[j - 1]);
    }
    for (int i = 0; i < k; ++i) w[i] = std::copysign(std::sqrt(-w[i]), s[i]);
    for (int j = 1; j <= k; ++j) {
      for (int i = 1; i <= k; ++i) s[i - 1] = w[i - 1] / at(i, j);
      const double norm = blas_dnrm2(&k, s, &inc1);
      for (int i = 1; i <= k; ++i) at(i, j) = s[indx[i] - 1] / norm;
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
