#include "lapack/tridiagonal/deflation.h"

#include <algorithm>

#include "blas/level1/level1.h"
#include "lapack/dlamch.h"
#include "lapack/tridiagonal/dlamrg.h"

namespace ztr {

namespace {
// The deflation tolerance is this many ulps of the largest entry of d or z.
constexpr double kDeflationUlps = 8.0;
}  // namespace

double prepare_merge(int n, int n1, const double* d, int* indxq, double* rho, double* z,
                     double* scratch, int* merge_index, int* sorted, bool* all_deflate) {
  const int inc1 = 1;
  const int n2 = n - n1;
  if (*rho < 0.0) {
    const double minus_one = -1.0;
    blas_dscal(&n2, &minus_one, z + n1, &inc1);
  }
  // z is the concatenation of two unit vectors: norm sqrt(2).
  const double t_norm = 1.0 / std::sqrt(2.0);
  blas_dscal(&n, &t_norm, z, &inc1);
  *rho = std::fabs(2.0 * *rho);

  for (int i = n1; i < n; ++i) indxq[i] += n1;
  for (int i = 0; i < n; ++i) scratch[i] = d[indxq[i] - 1];
  dlamrg(n1, n2, scratch, 1, 1, merge_index);
  for (int i = 0; i < n; ++i) sorted[i] = indxq[merge_index[i] - 1];

  const double zmax = std::fabs(z[blas_idamax(&n, z, &inc1) - 1]);
  const double dmax = std::fabs(d[blas_idamax(&n, d, &inc1) - 1]);
  const double tol = kDeflationUlps * dlamch("Epsilon") * std::max(dmax, zmax);
  *all_deflate = *rho * zmax <= tol;
  return tol;
}

}  // namespace ztr
