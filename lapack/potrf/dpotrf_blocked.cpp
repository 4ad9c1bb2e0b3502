// The serial blocked factorization, left-looking: each block column first receives the
// updates of all the columns before it (SYRK on its diagonal block, one GEMM on the panel
// below), then its diagonal block is factored unblocked and the panel solved against it.
// The multiplies have the full depth of the factored part, the shape they run fastest in.
#include <algorithm>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/potrf/potrf.h"
#include "service/letters.h"

namespace ztr {

void ztr_lapack_dpotrf_blocked(char uplo, int n, double* a, int lda, int* info, int nb) {
  *info = 0;
  if (n <= 0) return;
  if (nb <= 1 || nb >= n) {
    ztr_lapack_dpotf2(uplo, n, a, lda, info);
    return;
  }
  const bool upper = same_letter(uplo, 'U');
  const double one = 1.0, minus_one = -1.0;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  for (int j = 0; j < n; j += nb) {
    const int jb = std::min(nb, n - j), rest = n - j - jb;
    if (upper) {
      ztr_blas_dsyrk("U", "T", &jb, &j, &minus_one, at(0, j), &lda, &one, at(j, j), &lda);
    } else {
      ztr_blas_dsyrk("L", "N", &jb, &j, &minus_one, at(j, 0), &lda, &one, at(j, j), &lda);
    }
    int block_info = 0;
    ztr_lapack_dpotf2(uplo, jb, at(j, j), lda, &block_info);
    if (block_info != 0) {
      *info = j + block_info;
      return;
    }
    if (rest == 0) break;
    if (upper) {
      ztr_blas_dgemm("T", "N", &jb, &rest, &j, &minus_one, at(0, j), &lda, at(0, j + jb), &lda,
                     &one, at(j, j + jb), &lda);
      ztr_blas_dtrsm("L", "U", "T", "N", &jb, &rest, &one, at(j, j), &lda, at(j, j + jb), &lda);
    } else {
      ztr_blas_dgemm("N", "T", &rest, &jb, &j, &minus_one, at(j + jb, 0), &lda, at(j, 0), &lda,
                     &one, at(j + jb, j), &lda);
      ztr_blas_dtrsm("R", "L", "T", "N", &rest, &jb, &one, at(j, j), &lda, at(j + jb, j), &lda);
    }
  }
}

}  // namespace ztr
