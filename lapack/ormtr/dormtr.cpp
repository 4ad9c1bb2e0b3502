#include <algorithm>
#include <cstddef>

#include "lapack/ilaenv.h"
#include "lapack/ormtr/ormtr.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void dormtr(const char* side, const char* uplo, const char* trans, const int* m, const int* n,
            double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
            const int* lwork, int* info) {
  const bool left = same_letter(*side, 'L');
  const bool upper = same_letter(*uplo, 'U');
  const bool lquery = *lwork == -1;
  const int nq = left ? *m : *n;
  const int nw = std::max(1, left ? *n : *m);
  int bad = 0;
  if (!left && !same_letter(*side, 'R')) {
    bad = 1;
  } else if (!upper && !same_letter(*uplo, 'L')) {
    bad = 2;
  } else if (!same_letter(*trans, 'N') && !same_letter(*trans, 'T')) {
    bad = 3;
  } else if (*m < 0) {
    bad = 4;
  } else if (*n < 0) {
    bad = 5;
  } else if (*lda < std::max(1, nq)) {
    bad = 7;
  } else if (*ldc < std::max(1, *m)) {
    bad = 10;
  } else if (*lwork < nw && !lquery) {
    bad = 12;
  }
  if (bad == 0) {
    const char opts[3] = {left ? 'L' : 'R', same_letter(*trans, 'N') ? 'N' : 'T', '\0'};
    const int mi = left ? *m - 1 : *m, ni = left ? *n : *n - 1;
    const int nb = ilaenv(1, upper ? "DORMQL" : "DORMQR", opts, mi, ni, nq - 1, -1);
    work[0] = static_cast<double>(nw) * nb;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DORMTR", &bad, 6);
    return;
  }
  if (lquery) return;
  if (*m == 0 || *n == 0 || nq == 1) {
    work[0] = 1;
    return;
  }
  const int mi = left ? *m - 1 : *m, ni = left ? *n : *n - 1, k = nq - 1;
  const double lwkopt = work[0];
  int iinfo = 0;
  if (upper) {
    // The reflectors sit above the superdiagonal of columns 2..nq; Q acts on 1..nq-1.
    ztr_lapack_dormql(side, trans, &mi, &ni, &k, a + *lda, lda, tau, c, ldc, work, lwork, &iinfo);
  } else {
    // Below the subdiagonal of columns 1..nq-1; Q acts on rows (columns) 2..nq.
    double* c1 = left ? c + 1 : c + *ldc;
    ztr_lapack_dormqr(side, trans, &mi, &ni, &k, a + 1, lda, tau, c1, ldc, work, lwork, &iinfo);
  }
  work[0] = lwkopt;
}

}  // namespace ztr
