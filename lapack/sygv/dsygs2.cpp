// The unblocked reduction, one row (uplo 'U') or column ('L') of the result per step.
//
// itype 1: step k finishes row/column k of inv(U')*A*inv(U): the pivot is scaled by 1/B(k,k)^2,
// the rest of the row is scaled and corrected with half the pivot times B's row on each side
// of a symmetric rank-2 update of the trailing matrix, and then solved with the trailing
// triangle of B.  itypes 2 and 3 build U*A*U' from the top-left corner outwards by the same
// steps in reverse, multiplying where itype 1 solves.
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/sygv/sygst.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void ztr_lapack_dsygs2(int itype, char uplo, int n, double* a, int lda, const double* b, int ldb) {
  const bool upper = same_letter(uplo, 'U');
  const char ul[2] = {upper ? 'U' : 'L', '\0'};
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto B = [&](int i, int j) { return b + i + static_cast<std::ptrdiff_t>(j) * ldb; };
  const double one = 1.0, minus_one = -1.0;
  if (itype == 1) {
    for (int k = 0; k < n; ++k) {
      const double bkk = *B(k, k);
      const double akk = *A(k, k) / (bkk * bkk);
      *A(k, k) = akk;
      const int rest = n - k - 1;
      if (rest == 0) break;
      const double scale = 1.0 / bkk, ct = -0.5 * akk;
      // The row (upper) or column (lower) right of / below the pivot, and B's alongside.
      double* x = upper ? A(k, k + 1) : A(k + 1, k);
      const double* y = upper ? B(k, k + 1) : B(k + 1, k);
      const int incx = upper ? lda : 1, incy = upper ? ldb : 1;
      blas_dscal(&rest, &scale, x, &incx);
      blas_daxpy(&rest, &ct, y, &incy, x, &incx);
      blas_dsyr2(ul, &rest, &minus_one, x, &incx, y, &incy, A(k + 1, k + 1), &lda);
      blas_daxpy(&rest, &ct, y, &incy, x, &incx);
      blas_dtrsv(ul, upper ? "T" : "N", "N", &rest, B(k + 1, k + 1), &ldb, x, &incx);
    }
    return;
  }
  for (int k = 0; k < n; ++k) {
    const double akk = *A(k, k), bkk = *B(k, k), ct = 0.5 * akk;
    // The column above (upper) or row left of ('L') the pivot, and B's alongside.
    double* x = upper ? A(0, k) : A(k, 0);
    const double* y = upper ? B(0, k) : B(k, 0);
    const int incx = upper ? 1 : lda, incy = upper ? 1 : ldb;
    if (k > 0) {
      blas_dtrmv(ul, upper ? "N" : "T", "N", &k, b, &ldb, x, &incx);
      blas_daxpy(&k, &ct, y, &incy, x, &incx);
      blas_dsyr2(ul, &k, &one, x, &incx, y, &incy, a, &lda);
      blas_daxpy(&k, &ct, y, &incy, x, &incx);
      blas_dscal(&k, &bkk, x, &incx);
    }
    *A(k, k) = akk * bkk * bkk;
  }
}

void dsygs2(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
            const double* b, const int* ldb, int* info) {
  if (sygst_detail::check("DSYGS2", itype, uplo, n, lda, ldb, info) != 0) return;
  ztr_lapack_dsygs2(*itype, *uplo, *n, a, *lda, b, *ldb);
}

}  // namespace ztr
