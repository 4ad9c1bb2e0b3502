#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/householder/householder.h"
#include "lapack/sytrd/sytrd.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void dsytd2(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
            double* tau, int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const int nn = *n;
  int bad = 0;
  if (!upper && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (nn < 0) {
    bad = 2;
  } else if (*lda < std::max(1, nn)) {
    bad = 4;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DSYTD2", &bad, 6);
    return;
  }
  if (nn <= 0) return;
  const std::ptrdiff_t ld = *lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  const int inc1 = 1;
  const double zero = 0.0, minus_one = -1.0;
  if (upper) {
    // Annihilate A(0:i-1, i+1) for i = n-2 down to 0.
    for (int i = nn - 2; i >= 0; --i) {
      const int len = i + 1;
      double taui = 0.0;
      ztr_lapack_dlarfg(len, at(i, i + 1), at(0, i + 1), 1, &taui);
      e[i] = *at(i, i + 1);
      if (taui != 0.0) {
        *at(i, i + 1) = 1.0;
        // x := taui*A*v in tau(0:i), then w := x - (taui/2)*(x'v)*v.
        blas_dsymv(uplo, &len, &taui, a, lda, at(0, i + 1), &inc1, &zero, tau, &inc1);
        const double alpha = -0.5 * taui * blas_ddot(&len, tau, &inc1, at(0, i + 1), &inc1);
        blas_daxpy(&len, &alpha, at(0, i + 1), &inc1, tau, &inc1);
        blas_dsyr2(uplo, &len, &minus_one, at(0, i + 1), &inc1, tau, &inc1, a, lda);
        *at(i, i + 1) = e[i];
      }
      d[i + 1] = *at(i + 1, i + 1);
      tau[i] = taui;
    }
    d[0] = *at(0, 0);
  } else {
    // Annihilate A(i+2:n-1, i) for i = 0 to n-2.
    for (int i = 0; i < nn - 1; ++i) {
      const int len = nn - i - 1;
      double taui = 0.0;
      ztr_lapack_dlarfg(len, at(i + 1, i), at(std::min(i + 2, nn - 1), i), 1, &taui);
      e[i] = *at(i + 1, i);
      if (taui != 0.0) {
        *at(i + 1, i) = 1.0;
        blas_dsymv(uplo, &len, &taui, at(i + 1, i + 1), lda, at(i + 1, i), &inc1, &zero, tau + i,
                   &inc1);
        const double alpha = -0.5 * taui * blas_ddot(&len, tau + i, &inc1, at(i + 1, i), &inc1);
        blas_daxpy(&len, &alpha, at(i + 1, i), &inc1, tau + i, &inc1);
        blas_dsyr2(uplo, &len, &minus_one, at(i + 1, i), &inc1, tau + i, &inc1, at(i + 1, i + 1),
                   lda);
        *at(i + 1, i) = e[i];
      }
      d[i] = *at(i, i);
      tau[i] = taui;
    }
    d[nn - 1] = *at(nn - 1, nn - 1);
  }
}

}  // namespace ztr
