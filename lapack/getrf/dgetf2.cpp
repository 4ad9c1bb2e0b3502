#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/dlamch.h"
#include "lapack/getrf/getrf.h"

namespace ztr {

// Crout order: column j is first brought up to date with everything to its left (one
// matrix-vector product), then pivoted and scaled, and row j of U is completed with one more
// product.  Two DGEMV calls per column touch the panel far less often than the rank-1 form.
void ztr_lapack_dgetf2(int m, int n, double* a, int lda, int* ipiv, int* info) {
  *info = 0;
  if (m <= 0 || n <= 0) return;
  const double sfmin = dlamch("S");
  const double one = 1.0, minus_one = -1.0;
  const int inc1 = 1;
  const int steps = m < n ? m : n;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  for (int j = 0; j < steps; ++j) {
    const int rows = m - j;
    if (j > 0) {
      blas_dgemv("N", &rows, &j, &minus_one, at(j, 0), &lda, at(0, j), &inc1, &one, at(j, j),
                 &inc1);
    }
    const int jp = j + blas_idamax(&rows, at(j, j), &inc1) - 1;
    ipiv[j] = jp + 1;
    if (*at(jp, j) != 0.0) {
      if (jp != j) blas_dswap(&n, at(j, 0), &lda, at(jp, 0), &lda);
      if (j + 1 < m) {
        const int below = m - j - 1;
        const double pivot = *at(j, j);
        if (std::fabs(pivot) >= sfmin) {
          const double r = 1.0 / pivot;
          blas_dscal(&below, &r, at(j + 1, j), &inc1);
        } else {
          // 1/pivot would overflow: divide entry by entry.
          for (int i = 1; i <= below; ++i) *at(j + i, j) /= pivot;
        }
      }
    } else if (*info == 0) {
      *info = j + 1;
    }
    if (j > 0 && j + 1 < n) {
      const int right = n - j - 1;
      blas_dgemv("T", &j, &right, &minus_one, at(0, j + 1), &lda, at(j, 0), &lda, &one,
                 at(j, j + 1), &lda);
    }
  }
}

}  // namespace ztr
