#include "lapack/ilaenv.h"
#include "lapack/potrf/potrf.h"
#include "service/error.h"
#include "service/letters.h"
#include "service/threads.h"

namespace ztr {

void dpotrf(const char* uplo, const int* n, double* a, const int* lda, int* info) {
  int bad = 0;
  if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (*n < 0) {
    bad = 2;
  } else if (*lda < (*n > 1 ? *n : 1)) {
    bad = 4;
  }
  if (bad != 0) {
    *info = -bad;
    xerbla("DPOTRF", &bad, 6);
    return;
  }
  ztr_lapack_dpotrf(*uplo, *n, a, *lda, info);
}

// Small matrices go to the unblocked kernel, one thread (or a block as wide as the matrix)
// to the serial blocked algorithm, everything else to the tiles.
void ztr_lapack_dpotrf(char uplo, int n, double* a, int lda, int* info) {
  *info = 0;
  if (n <= 0) return;
  const char opts[2] = {uplo, '\0'};
  if (n < ilaenv(3, "DPOTRF", opts, n, -1, -1, -1)) {
    ztr_lapack_dpotf2(uplo, n, a, lda, info);
    return;
  }
  const int threads = domain_max_threads(kDomainAll);
  const int nb = ilaenv(1, "DPOTRF", opts, n, threads, -1, -1);
  if (threads <= 1 || nb < 2 || nb >= n) {
    ztr_lapack_dpotrf_blocked(uplo, n, a, lda, info, nb);
    return;
  }
  ztr_lapack_dpotrf_tiled(uplo, n, a, lda, info, nb, threads);
}

}  // namespace ztr
