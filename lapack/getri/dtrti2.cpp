#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/getri/getri.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

bool trtri_arguments_ok(const char* name, const char* uplo, const char* diag, const int* n,
                        const int* lda, int* info) {
  int bad = 0;
  if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (!same_letter(*diag, 'U') && !same_letter(*diag, 'N')) {
    bad = 2;
  } else if (*n < 0) {
    bad = 3;
  } else if (*lda < std::max(1, *n)) {
    bad = 5;
  }
  *info = -bad;
  if (bad != 0) xerbla_dispatch(name, &bad, 6);
  return bad == 0;
}

// Column by column: with the inverse of the leading (upper) or trailing (lower) part already
// in place, column j of the inverse is that part times column j, scaled by -1/A(j, j).
void dtrti2(const char* uplo, const char* diag, const int* n, double* a, const int* lda,
            int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const bool unit = same_letter(*diag, 'U');
  if (!trtri_arguments_ok("DTRTI2", uplo, diag, n, lda, info)) return;
  const int ld = *lda, inc1 = 1;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * ld; };
  const char* dg = unit ? "U" : "N";
  if (upper) {
    for (int j = 0; j < *n; ++j) {
      double ajj = -1.0;
      if (!unit) {
        *at(j, j) = 1.0 / *at(j, j);
        ajj = -*at(j, j);
      }
      blas_dtrmv("U", "N", dg, &j, a, lda, at(0, j), &inc1);
      blas_dscal(&j, &ajj, at(0, j), &inc1);
    }
  } else {
    for (int j = *n - 1; j >= 0; --j) {
      double ajj = -1.0;
      if (!unit) {
        *at(j, j) = 1.0 / *at(j, j);
        ajj = -*at(j, j);
      }
      const int below = *n - 1 - j;
      if (below > 0) {
        blas_dtrmv("L", "N", dg, &below, at(j + 1, j + 1), lda, at(j + 1, j), &inc1);
        blas_dscal(&below, &ajj, at(j + 1, j), &inc1);
      }
    }
  }
}

}  // namespace ztr
