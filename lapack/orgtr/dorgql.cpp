#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "lapack/orgtr/orgtr.h"
#include "service/error.h"

namespace ztr {

namespace {

// The unblocked generation: columns n-k.. of Q, one reflector at a time from the first.
void dorg2l(int m, int n, int k, double* a, int lda, const double* tau, double* work) {
  if (n <= 0) return;
  const std::ptrdiff_t ld = lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  // Columns 0..n-k-1 start as the matching columns of the unit matrix.
  for (int j = 0; j < n - k; ++j) {
    for (int l = 0; l < m; ++l) *at(l, j) = 0.0;
    *at(m - n + j, j) = 1.0;
  }
  const int inc1 = 1;
  for (int i = 0; i < k; ++i) {
    const int ii = n - k + i;
    const int rows = m - n + ii + 1;  // H(i) touches rows 0..m-n+ii
    *at(rows - 1, ii) = 1.0;
    ztr_lapack_dlarf("L", rows, ii, at(0, ii), 1, tau[i], a, lda, work);
    const int above = rows - 1;
    const double minus_tau = -tau[i];
    blas_dscal(&above, &minus_tau, at(0, ii), &inc1);
    *at(rows - 1, ii) = 1.0 - tau[i];
    for (int l = rows; l < m; ++l) *at(l, ii) = 0.0;
  }
}

}  // namespace

void dorgql(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info) {
  const int mm = *m, nn = *n, kk_all = *k;
  const bool lquery = *lwork == -1;
  int bad = 0;
  if (mm < 0) {
    bad = 1;
  } else if (nn < 0 || nn > mm) {
    bad = 2;
  } else if (kk_all < 0 || kk_all > nn) {
    bad = 3;
  } else if (*lda < std::max(1, mm)) {
    bad = 5;
  }
  int nb = 1;
  if (bad == 0) {
    nb = nn == 0 ? 1 : ilaenv(1, "DORGQL", " ", mm, nn, kk_all, -1);
    work[0] = nn == 0 ? 1.0 : static_cast<double>(nn) * nb;
    if (*lwork < std::max(1, nn) && !lquery) bad = 8;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DORGQL", &bad, 6);
    return;
  }
  if (lquery || nn == 0) return;
  const double lwkopt = work[0];
  const std::ptrdiff_t ld = *lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  int nbmin = 2, nx = 0;
  const int ldwork = nn;
  if (nb > 1 && nb < kk_all) {
    nx = std::max(0, ilaenv(3, "DORGQL", " ", mm, nn, kk_all, -1));
    if (nx < kk_all && *lwork < ldwork * nb) {
      nb = *lwork / ldwork;
      nbmin = std::max(2, ilaenv(2, "DORGQL", " ", mm, nn, kk_all, -1));
    }
  }
  int kk = 0;
  if (nb >= nbmin && nb < kk_all && nx < kk_all) {
    kk = std::min(kk_all, ((kk_all - nx + nb - 1) / nb) * nb);
    // The bottom kk rows of the first n-kk columns are zero in Q.
    for (int j = 0; j < nn - kk; ++j)
      for (int i = mm - kk; i < mm; ++i) *at(i, j) = 0.0;
  }
  dorg2l(mm - kk, nn - kk, kk_all - kk, a, *lda, tau, work);
  for (int i = kk_all - kk; kk > 0 && i < kk_all; i += nb) {
    const int ib = std::min(nb, kk_all - i);
    const int col = nn - kk_all + i;        // first column of the block
    const int rows = mm - kk_all + i + ib;  // rows the block's reflectors touch
    if (col > 0) {
      // Apply the block to the columns on its left.
      ztr_lapack_dlarft("B", "C", rows, ib, at(0, col), *lda, tau + i, work, ldwork);
      ztr_lapack_dlarfb("L", "N", "B", "C", rows, col, ib, at(0, col), *lda, work, ldwork, a, *lda,
                        work + ib, ldwork);
    }
    dorg2l(rows, ib, ib, at(0, col), *lda, tau + i, work);
    for (int j = col; j < col + ib; ++j)
      for (int l = rows; l < mm; ++l) *at(l, j) = 0.0;
  }
  work[0] = lwkopt;
}

}  // namespace ztr
