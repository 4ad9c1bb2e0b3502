#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "service/error.h"

namespace ztr {

void dorgqr(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info) {
  int bad = 0;
  if (*m < 0) {
    bad = 1;
  } else if (*n < 0 || *n > *m) {
    bad = 2;
  } else if (*k < 0 || *k > *n) {
    bad = 3;
  } else if (*lda < std::max(1, *m)) {
    bad = 5;
  } else if (*lwork < std::max(1, *n) && *lwork != -1) {
    bad = 8;
  }
  if (bad != 0) {
    *info = -bad;
    xerbla("DORGQR", &bad, 6);
    return;
  }
  install_default_xerbla();
  install_default_progress();
  ztr_lapack_dorgqr(*m, *n, *k, a, *lda, tau, work, *lwork, info);
}

// The published blocked algorithm: the last (unblocked) columns first with DORG2R, then the
// blocks from right to left, each block's reflector applied to the columns on its right with
// DLARFB before its own columns are formed.
void ztr_lapack_dorgqr(int m, int n, int k, double* a, int lda, const double* tau, double* work,
                       int lwork, int* info) {
  *info = 0;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  int nb = ilaenv(1, "DORGQR", " ", m, n, k, -1);
  const int nb_full = nb;
  work[0] = static_cast<double>(std::max(1, n) * nb);
  if (lwork == -1) return;
  if (n <= 0) {
    work[0] = 1;
    return;
  }
  int nbmin = 2, nx = 0;
  if (nb > 1 && nb < k) {
    nx = std::max(0, ilaenv(3, "DORGQR", " ", m, n, k, -1));
    if (nx < k && lwork < nb * n) {
      nb = lwork / n;
      nbmin = std::max(2, ilaenv(2, "DORGQR", " ", m, n, k, -1));
    }
  }
  int ki = 0, kk = 0;
  if (nb >= nbmin && nb < k && nx < k) {
    ki = ((k - nx - 1) / nb) * nb;
    kk = std::min(k, ki + nb);
    for (int j = kk; j < n; ++j)
      for (int i = 0; i < kk; ++i) *at(i, j) = 0.0;
  }
  if (kk < n) ztr_lapack_dorg2r(m - kk, n - kk, k - kk, at(kk, kk), lda, tau + kk, work);
  if (kk > 0) {
    for (int i = ki; i >= 0; i -= nb) {
      const int ib = std::min(nb, k - i);
      if (i + ib < n) {
        ztr_lapack_dlarft("F", "C", m - i, ib, at(i, i), lda, tau + i, work, n);
        ztr_lapack_dlarfb("L", "N", "F", "C", m - i, n - i - ib, ib, at(i, i), lda, work, n,
                          at(i, i + ib), lda, work + ib, n);
      }
      ztr_lapack_dorg2r(m - i, ib, ib, at(i, i), lda, tau + i, work);
      for (int j = i; j < i + ib; ++j)
        for (int l = 0; l < i; ++l) *at(l, j) = 0.0;
    }
  }
  work[0] = static_cast<double>(nx < k ? n * nb_full : n);
}

}  // namespace ztr
