// The blocked reduction.  Per diagonal block of kb columns, itype 1 finishes the block row
// (upper) or column (lower) right of / below it: solve with the block's factor, half the
// SYMM correction on each side of the SYR2K update of the trailing matrix, solve with the
// trailing factor.  itypes 2 and 3 grow the product from the top-left corner: the block row
// or column left of the diagonal block is multiplied by the factor before it, corrected by
// SYMM around the SYR2K update of the leading part, multiplied by the block's factor, and
// the diagonal block is finished unblocked.
#include <algorithm>
#include <cstddef>

#include "blas/level3/level3.h"
#include "lapack/ilaenv.h"
#include "lapack/sygv/sygst.h"
#include "service/error.h"
#include "service/letters.h"
#include "service/threads.h"

namespace ztr {

int sygst_detail::check(const char* name, const int* itype, const char* uplo, const int* n,
                        const int* lda, const int* ldb, int* info) {
  int bad = 0;
  if (*itype < 1 || *itype > 3) {
    bad = 1;
  } else if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 2;
  } else if (*n < 0) {
    bad = 3;
  } else if (*lda < std::max(1, *n)) {
    bad = 5;
  } else if (*ldb < std::max(1, *n)) {
    bad = 7;
  }
  *info = -bad;
  if (bad == 0) return 0;
  xerbla(name, &bad, 6);
  return 1;
}

void ztr_lapack_dsygst(int itype, char uplo, int n, double* a, int lda, const double* b, int ldb) {
  if (n <= 0) return;
  const bool upper = same_letter(uplo, 'U');
  const char ul[2] = {upper ? 'U' : 'L', '\0'};
  const int nb = sygst_block_size(1, "DSYGST", ul, n, itype, domain_max_threads(kDomainAll));
  if (nb <= 1 || nb >= n) {
    ztr_lapack_dsygs2(itype, uplo, n, a, lda, b, ldb);
    return;
  }
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto B = [&](int i, int j) { return b + i + static_cast<std::ptrdiff_t>(j) * ldb; };
  const double one = 1.0, minus_one = -1.0, half = 0.5, minus_half = -0.5;
  for (int k = 0; k < n; k += nb) {
    const int kb = std::min(n - k, nb);
    if (itype == 1) {
      ztr_lapack_dsygs2(itype, uplo, kb, A(k, k), lda, B(k, k), ldb);
      const int rest = n - k - kb;
      if (rest == 0) continue;
      const int t = k + kb;
      if (upper) {
        ztr_blas_dtrsm("L", ul, "T", "N", &kb, &rest, &one, B(k, k), &ldb, A(k, t), &lda);
        ztr_blas_dsymm("L", ul, &kb, &rest, &minus_half, A(k, k), &lda, B(k, t), &ldb, &one,
                       A(k, t), &lda);
        ztr_blas_dsyr2k(ul, "T", &rest, &kb, &minus_one, A(k, t), &lda, B(k, t), &ldb, &one,
                        A(t, t), &lda);
        ztr_blas_dsymm("L", ul, &kb, &rest, &minus_half, A(k, k), &lda, B(k, t), &ldb, &one,
                       A(k, t), &lda);
        ztr_blas_dtrsm("R", ul, "N", "N", &kb, &rest, &one, B(t, t), &ldb, A(k, t), &lda);
      } else {
        ztr_blas_dtrsm("R", ul, "T", "N", &rest, &kb, &one, B(k, k), &ldb, A(t, k), &lda);
        ztr_blas_dsymm("R", ul, &rest, &kb, &minus_half, A(k, k), &lda, B(t, k), &ldb, &one,
                       A(t, k), &lda);
        ztr_blas_dsyr2k(ul, "N", &rest, &kb, &minus_one, A(t, k), &lda, B(t, k), &ldb, &one,
                        A(t, t), &lda);
        ztr_blas_dsymm("R", ul, &rest, &kb, &minus_half, A(k, k), &lda, B(t, k), &ldb, &one,
                       A(t, k), &lda);
        ztr_blas_dtrsm("L", ul, "N", "N", &rest, &kb, &one, B(t, t), &ldb, A(t, k), &lda);
      }
      continue;
    }
    if (k > 0) {
      if (upper) {
        ztr_blas_dtrmm("L", ul, "N", "N", &k, &kb, &one, b, &ldb, A(0, k), &lda);
        ztr_blas_dsymm("R", ul, &k, &kb, &half, A(k, k), &lda, B(0, k), &ldb, &one, A(0, k), &lda);
        ztr_blas_dsyr2k(ul, "N", &k, &kb, &one, A(0, k), &lda, B(0, k), &ldb, &one, a, &lda);
        ztr_blas_dsymm("R", ul, &k, &kb, &half, A(k, k), &lda, B(0, k), &ldb, &one, A(0, k), &lda);
        ztr_blas_dtrmm("R", ul, "T", "N", &k, &kb, &one, B(k, k), &ldb, A(0, k), &lda);
      } else {
        ztr_blas_dtrmm("R", ul, "N", "N", &kb, &k, &one, b, &ldb, A(k, 0), &lda);
        ztr_blas_dsymm("L", ul, &kb, &k, &half, A(k, k), &lda, B(k, 0), &ldb, &one, A(k, 0), &lda);
        ztr_blas_dsyr2k(ul, "T", &k, &kb, &one, A(k, 0), &lda, B(k, 0), &ldb, &one, a, &lda);
        ztr_blas_dsymm("L", ul, &kb, &k, &half, A(k, k), &lda, B(k, 0), &ldb, &one, A(k, 0), &lda);
        ztr_blas_dtrmm("L", ul, "T", "N", &kb, &k, &one, B(k, k), &ldb, A(k, 0), &lda);
      }
    }
    ztr_lapack_dsygs2(itype, uplo, kb, A(k, k), lda, B(k, k), ldb);
  }
}

void dsygst(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
            const double* b, const int* ldb, int* info) {
  if (sygst_detail::check("DSYGST", itype, uplo, n, lda, ldb, info) != 0) return;
  ztr_lapack_dsygst(*itype, *uplo, *n, a, *lda, b, *ldb);
}

}  // namespace ztr
