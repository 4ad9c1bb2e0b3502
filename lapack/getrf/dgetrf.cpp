#include <algorithm>

#include "lapack/getrf/getrf.h"
#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/threads.h"

namespace ztr {

using namespace getrf_detail;

void dgetrf(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info) {
  int bad = 0;
  if (*m < 0) {
    bad = 1;
  } else if (*n < 0) {
    bad = 2;
  } else if (*lda < std::max(1, *m)) {
    bad = 4;
  }
  if (bad != 0) {
    *info = -bad;
    xerbla("DGETRF", &bad, 6);
    return;
  }
  ztr_lapack_dgetrf(*m, *n, a, *lda, ipiv, info);
}

// The choice of algorithm: narrow matrices and single threads go to the serial recursion;
// the look-ahead path where the tuning table says the thread count does not pay for a
// scheduler (its crossover is raised only for 8 threads on large matrices); otherwise the
// scheduled path, or the plain leaf when the matrix is no wider than one block.
bool ztr_lapack_dgetrf(int m, int n, double* a, int lda, int* ipiv, int* info) {
  *info = 0;
  if (m <= 0 || n <= 0) return false;
  if (n <= ilaenv(3, "DGETRF", " ", m, n, -1, -1)) {
    return ztr_lapack_dgetrf_rec(m, n, a, lda, ipiv, info, 0, 0);
  }
  const int threads = domain_max_threads(kDomainAll);
  if (threads <= 1) return ztr_lapack_dgetrf_rec(m, n, a, lda, ipiv, info, 0, 0);
  if (n <= ilaenv(3, "DGETRF", " ", m, n, threads, -1)) {
    return ztr_lapack_dgetrf_ib(m, n, a, lda, ipiv, info);
  }
  const int nb = ilaenv(1, "DGETRF", " ", m, n, threads, -1);
  if (nb > 1 && nb < std::min(m, n)) {
    return ztr_lapack_dgetrf_sched(m, n, a, lda, ipiv, info, nb, threads);
  }
  ztr_lapack_dgetf2(m, n, a, lda, ipiv, info);
  return report_progress(0, n);
}

}  // namespace ztr
