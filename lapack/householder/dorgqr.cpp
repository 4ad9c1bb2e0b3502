#include <algorithm>
#include <cstddef>

#include "blas/level3/level3.h"
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

namespace {

// The first ib columns of I - V*T*V' (V: the rows x ib reflectors in a, T upper in t, ldt),
// written over V.  With V1 the unit lower top block and V2 the rest, and W = T*V1' (upper
// triangular): the rest is -V2*W, a triangular multiply, and the top block I - V1*W, whose
// product is formed in place (W over the upper part, then the unit lower times upper product
// entry by entry from the last column and row back); DORG2R would make ib matrix-vector
// passes over all the rows instead.
void generate_block(int rows, int ib, double* a, int lda, double* t, int ldt) {
  auto A = [&](int i, int j) -> double& { return a[i + static_cast<std::ptrdiff_t>(j) * lda]; };
  auto T = [&](int i, int j) -> double& { return t[i + static_cast<std::ptrdiff_t>(j) * ldt]; };
  const double one = 1.0, minus_one = -1.0;
  for (int j = 0; j < ib; ++j)
    for (int i = j + 1; i < ib; ++i) T(i, j) = 0.0;
  ztr_blas_dtrmm("R", "L", "T", "U", &ib, &ib, &one, a, &lda, t, &ldt);  // W = T*V1'
  const int below = rows - ib;
  if (below > 0)
    ztr_blas_dtrmm("R", "U", "N", "N", &below, &ib, &minus_one, t, &ldt, &A(ib, 0), &lda);
  for (int j = 0; j < ib; ++j)
    for (int i = 0; i <= j; ++i) A(i, j) = T(i, j);
  // Entry (i, j) of V1*W reads V1(i, 0..min(i,j)) and W(0..min(i,j), j): going backwards by
  // columns and rows, each is read before it is overwritten.
  for (int j = ib - 1; j >= 0; --j) {
    for (int i = ib - 1; i >= 0; --i) {
      const int last = std::min(i, j);
      double s = i <= j ? A(i, j) : A(i, j) * A(j, j);  // p = min(i, j): unit L or U's diagonal
      for (int p = 0; p < last; ++p) s += A(i, p) * A(p, j);
      A(i, j) = (i == j ? 1.0 : 0.0) - s;
    }
  }
}

}  // namespace

// The published blocked algorithm: the last (unblocked) columns first with DORG2R, then the
// blocks from right to left, each block's reflector applied to the columns on its right with
// DLARFB before its own columns are formed from the block's T.
void ztr_lapack_dorgqr(int m, int n, int k, double* a, int lda, const double* tau, double* work,
                       int lwork, int* info) {
  *info = 0;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  int nb = ilaenv(1, "DORGQR", " ", m, n, k, -1);
  const int nb_full = nb;
  work[0] = static_cast<double>(std::max(1, n)) * nb;
  if (lwork == -1) return;
  if (n <= 0) {
    work[0] = 1;
    return;
  }
  int nbmin = 2, nx = 0;
  if (nb > 1 && nb < k) {
    nx = std::max(0, ilaenv(3, "DORGQR", " ", m, n, k, -1));
    if (nx < k && lwork < static_cast<long long>(nb) * n) {
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
      if (i + ib >= n) ztr_lapack_dlarft("F", "C", m - i, ib, at(i, i), lda, tau + i, work, n);
      generate_block(m - i, ib, at(i, i), lda, work, n);
      for (int j = i; j < i + ib; ++j)
        for (int l = 0; l < i; ++l) *at(l, j) = 0.0;
    }
  }
  work[0] = nx < k ? static_cast<double>(n) * nb_full : n;
}

}  // namespace ztr
