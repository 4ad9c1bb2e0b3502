#include <algorithm>
#include <cstddef>

#include "blas/level3/level3.h"
#include "lapack/ilaenv.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sytrd/sytrd_arguments.h"
#include "service/letters.h"

namespace ztr {

void dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
            double* tau, double* work, const int* lwork, int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const int nn = *n;
  const char opts[2] = {upper ? 'U' : 'L', '\0'};
  if (!sytrd_arguments_ok(uplo, n, lda, lwork, info)) return;
  int nb = ilaenv(1, "DSYTRD", opts, nn, -1, -1, -1);
  const double lwkopt = static_cast<double>(nn) * nb;
  work[0] = lwkopt;
  if (*lwork == -1) return;
  if (nn == 0) {
    work[0] = 1;
    return;
  }
  const std::ptrdiff_t ld = *lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  int nx = nn;
  if (nb > 1 && nb < nn) {
    nx = std::max(nb, ilaenv(3, "DSYTRD", opts, nn, -1, -1, -1));
    if (nx < nn && *lwork < static_cast<long long>(nn) * nb) {
      nb = std::max(*lwork / nn, 1);
      if (nb < ilaenv(2, "DSYTRD", opts, nn, -1, -1, -1)) nx = nn;
    } else if (nx >= nn) {
      nx = nn;
    }
  } else {
    nb = 1;
  }
  const int ldwork = nn;
  const double one = 1.0, minus_one = -1.0;
  int iinfo = 0;
  if (upper) {
    // Blocks of nb columns from the right, until the last kk columns are left.
    const int kk = nn - ((nn - nx + nb - 1) / nb) * nb;
    for (int i = nn - nb; i >= kk; i -= nb) {
      const int order = i + nb;
      ztr_lapack_dlatrd(uplo, &order, &nb, a, lda, e, tau, work, &ldwork);
      ztr_blas_dsyr2k(uplo, "N", &i, &nb, &minus_one, at(0, i), lda, work, &ldwork, &one, a, lda);
      for (int j = i; j < i + nb; ++j) {
        *at(j - 1, j) = e[j - 1];
        d[j] = *at(j, j);
      }
    }
    dsytd2(uplo, &kk, a, lda, d, e, tau, &iinfo);
  } else {
    int i = 0;
    for (; i < nn - nx; i += nb) {
      const int order = nn - i;
      ztr_lapack_dlatrd(uplo, &order, &nb, at(i, i), lda, e + i, tau + i, work, &ldwork);
      const int rest = nn - i - nb;
      ztr_blas_dsyr2k(uplo, "N", &rest, &nb, &minus_one, at(i + nb, i), lda, work + nb, &ldwork,
                      &one, at(i + nb, i + nb), lda);
      for (int j = i; j < i + nb; ++j) {
        *at(j + 1, j) = e[j];
        d[j] = *at(j, j);
      }
    }
    const int order = nn - i;
    dsytd2(uplo, &order, at(i, i), lda, d + i, e + i, tau + i, &iinfo);
  }
  work[0] = lwkopt;
}

}  // namespace ztr
