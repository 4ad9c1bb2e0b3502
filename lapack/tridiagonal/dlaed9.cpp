#include "lapack/tridiagonal/dlaed9.h"

#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/tridiagonal/dlaed4.h"

namespace ztr {

void dlaed9(int k, double* d, double* s, int lds, double rho, const double* dlamda, double* w,
            double* tmp, int* info) {
  *info = 0;
  const std::ptrdiff_t ld = lds;
  auto at = [&](int i, int j) -> double& { return s[i + j * ld]; };
  // Column j first holds dlamda(i) - lambda(j), each to full relative accuracy.
  for (int j = 0; j < k; ++j) {
    dlaed4(k, j + 1, dlamda, w, &at(0, j), rho, &d[j], info);
    if (*info != 0) return;
  }
  // For k <= 2 the root finder returned the eigenvectors themselves.
  if (k <= 2) return;

  // z(i)^2 = prod_j (dlamda(i) - lambda(j)) / prod_{j != i} (dlamda(i) - dlamda(j)), up to a
  // common factor that the normalisation removes; the sign is that of w(i).
  const int inc1 = 1;
  blas_dcopy(&k, w, &inc1, tmp, &inc1);
  for (int i = 0; i < k; ++i) w[i] = at(i, i);
  for (int j = 0; j < k; ++j)
    for (int i = 0; i < k; ++i)
      if (i != j) w[i] *= at(i, j) / (dlamda[i] - dlamda[j]);
  for (int i = 0; i < k; ++i) w[i] = std::copysign(std::sqrt(-w[i]), tmp[i]);
  for (int j = 0; j < k; ++j) {
    for (int i = 0; i < k; ++i) at(i, j) = w[i] / at(i, j);
    const double norm = blas_dnrm2(&k, &at(0, j), &inc1);
    for (int i = 0; i < k; ++i) at(i, j) /= norm;
  }
}

}  // namespace ztr
