#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/householder/householder.h"

namespace ztr {

void ztr_lapack_dorg2r(int m, int n, int k, double* a, int lda, const double* tau, double* work) {
  if (n <= 0) return;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  // Columns k+1..n start as those of the identity.
  for (int j = k; j < n; ++j) {
    for (int i = 0; i < m; ++i) *at(i, j) = 0.0;
    *at(j, j) = 1.0;
  }
  for (int i = k - 1; i >= 0; --i) {
    if (i + 1 < n) {
      *at(i, i) = 1.0;
      ztr_lapack_dlarf("L", m - i, n - i - 1, at(i, i), 1, tau[i], at(i, i + 1), lda, work);
    }
    if (i + 1 < m) {
      const int len = m - i - 1, inc1 = 1;
      const double scale = -tau[i];
      blas_dscal(&len, &scale, at(i + 1, i), &inc1);
    }
    *at(i, i) = 1.0 - tau[i];
    for (int l = 0; l < i; ++l) *at(l, i) = 0.0;
  }
}

}  // namespace ztr
