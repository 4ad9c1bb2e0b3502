#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/householder/qr_common.h"
#include "lapack/ilaenv.h"
#include "service/threads.h"

namespace ztr {

namespace {
// Tall narrow problems (rows per column beyond this, at most kTallNarrowColumns columns) get
// a block half as wide again when several threads share the row-split panels.
constexpr int kTallRatio = 70;
constexpr int kTallNarrowColumns = 200;
// Beyond this many rows and columns the unblocked rest goes to the row-split factorization.
constexpr int kRowSplitRest = 512;
}  // namespace

// Work: an n x nb array (leading dimension n) holding the panel's T in rows 0..ib-1 and the
// DLARFB workspace below it, then threads*nb doubles for the row-split panels' products.
bool ztr_lapack_dgeqrf_blk(int m, int n, double* a, int lda, double* tau, double* work, int lwork,
                           int* info) {
  *info = 0;
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  const int k = std::min(m, n);
  const int threads = domain_max_threads(kDomainAll);
  int nb = std::max(1, ilaenv(1, "DGEQRF", " ", m, k, threads, -1));
  if (threads > 1 && n > 0 && m / n > kTallRatio && n <= kTallNarrowColumns)
    nb = std::min(nb + nb / 2, std::max(k, 1));
  // Counted in 64 bits: n * nb wraps an int for matrices a 64-bit process can hold.
  const long long lwkopt = static_cast<long long>(threads + n) * nb;
  if (lwork == -1) {
    work[0] = static_cast<double>(lwkopt);
    return false;
  }
  if (k == 0) return false;
  int nx = 0;
  if (nb < k) {
    nx = std::max(nb, ilaenv(3, "DGEQRF", " ", m, k, -1, -1));
    if (nx < k && lwork < static_cast<long long>(nb) * n) nb = lwork / n;
  }
  int i = 0;
  while (nb < k && k - i > nx) {
    const int ib = std::min(k - i, nb);
    const int ltwork = lwork - n * nb;
    ztr_lapack_dlaqrf(m - i, ib, A(i, i), lda, tau + i, work, n, work + n * nb, ltwork);
    if (qr_detail::report_progress(i + ib)) return true;
    if (i + ib < n) {
      ztr_lapack_dlarfb("L", "T", "F", "C", m - i, n - i - ib, ib, A(i, i), lda, work, n,
                        A(i, i + ib), lda, work + ib, n);
    }
    i += ib;
    nx = ilaenv(3, "DGEQRF", " ", m - i, k - i, -1, -1);
    if (k - i < nx) break;
    nb = std::min(nb, ilaenv(1, "DGEQRF", " ", m - i, k - i, -1, -1));
  }
  if (i < k) {
    if (std::min(m - i, n - i) <= kRowSplitRest || m < n) {
      ztr_lapack_dgeqr2(m - i, n - i, A(i, i), lda, tau + i, work);
    } else {
      ztr_lapack_dgeqrf_pfnr(m - i, n - i, A(i, i), lda, tau + i, work);
    }
  }
  if (qr_detail::report_progress(k)) return true;
  work[0] = static_cast<double>(lwkopt);
  return false;
}

}  // namespace ztr
