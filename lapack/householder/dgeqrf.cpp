#include <algorithm>
#include <climits>

#include "lapack/householder/householder.h"
#include "lapack/householder/qr_common.h"
#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/threads.h"

namespace ztr {

namespace {
// m/n at and above which the task-parallel path is skipped for the serial blocked one, whose
// panels are split by rows.
constexpr int kTallRatio = 70;
}  // namespace

void dgeqrf(const int* m, const int* n, double* a, const int* lda, double* tau, double* work,
            const int* lwork, int* info) {
  int bad = 0;
  if (*m < 0) {
    bad = 1;
  } else if (*n < 0) {
    bad = 2;
  } else if (*lda < std::max(1, *m)) {
    bad = 4;
  } else if (*lwork < (std::min(*m, *n) == 0 ? 1 : *n) && *lwork != -1) {
    // Nothing to factor needs one word, as the workspace query answers.
    bad = 7;
  }
  if (bad != 0) {
    *info = -bad;
    xerbla("DGEQRF", &bad, 6);
    return;
  }
  install_default_xerbla();
  install_default_progress();
  ztr_lapack_dgeqrf(*m, *n, a, *lda, tau, work, *lwork, info);
}

bool ztr_lapack_dgeqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork,
                       int* info) {
  *info = 0;
  const int k = std::min(m, n);
  if (k == 0) {
    work[0] = 1;
    return false;
  }
  const int threads = std::max(1, domain_max_threads(kDomainAll));
  const int nb = std::max(1, ilaenv(1, "DGEQRF", " ", m, n, threads, -1));
  const int b = std::max(1, ilaenv(1, "DGEQRF", "B", m, n, threads, -1));
  const int nbmin = ilaenv(2, "DGEQRF", " ", m, n, threads, -1);
  const bool serial = threads < 2 || m / n >= kTallRatio;
  const long long lwkopt = std::max<long long>(
      n, static_cast<long long>(k) * nb + static_cast<long long>(threads) * b * nb * nb);
  work[0] = static_cast<double>(lwkopt);
  if (lwork == -1) {
    if (serial) ztr_lapack_dgeqrf_blk(m, n, a, lda, tau, work, lwork, info);
    return false;
  }
  // A task-path workspace beyond an int's range cannot be allocated as one private array.
  if (serial || lwkopt > INT_MAX)
    return ztr_lapack_dgeqrf_blk(m, n, a, lda, tau, work, lwork, info);
  const int nx = ilaenv(3, "DGEQRF", " ", m, n, threads, -1);
  if (nb < std::max(2, nbmin) || k < nb || k <= nx)
    return ztr_lapack_dgeqrf_blk(m, n, a, lda, tau, work, lwork, info);
  return qr_detail::dgeqrf_tasks(m, n, a, lda, tau, work, lwork, info, nb, b, threads,
                                 static_cast<int>(lwkopt));
}

}  // namespace ztr
