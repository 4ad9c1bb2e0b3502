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

// The first ib columns of I - V*T*V' (V: the rows x ib reflectors in a, T upper in t, ldt;
// t(ib.., 0..ib) is scratch), written over V.  With V1 the unit lower top block and V2 the
// rest, and W = T*V1' (upper triangular): the top block is I - V1*W and the rest -V2*W, two
// triangular multiplies where DORG2R would make ib matrix-vector passes over all the rows.
void generate_block(int rows, int ib, double* a, int lda, double* t, int ldt) {
  auto A = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto T = [&](int i, int j) { return t + i + static_cast<std::ptrdiff_t>(j) * ldt; };
  const double one = 1.0, minus_one = -1.0;
  for (int j = 0; j < ib; ++j)
    for (int i = j + 1; i < ib; ++i) *T(i, j) = 0.0;
  ztr_blas_dtrmm("R", "L", "T", "U", &ib, &ib, &one, a, &lda, t, &ldt);  // W = T*V1'
  // P = V1*W in rows ib..2ib-1 of t.
  for (int j = 0; j < ib; ++j)
    for (int i = 0; i < ib; ++i) *T(ib + i, j) = i <= j ? *T(i, j) : 0.0;
  ztr_blas_dtrmm("L", "L", "N", "U", &ib, &ib, &one, a, &lda, T(ib, 0), &ldt);
  const int below = rows - ib;
  if (below > 0)
    ztr_blas_dtrmm("R", "U", "N", "N", &below, &ib, &minus_one, t, &ldt, A(ib, 0), &lda);
  for (int j = 0; j < ib; ++j)
    for (int i = 0; i < ib; ++i) *A(i, j) = (i == j ? 1.0 : 0.0) - *T(ib + i, j);
}

}  // namespace

// The published blocked algorithm: the last (unblocked) columns first with DORG2R, then the
// blocks from right to left, each block's reflector applied to the columns on its right with
// DLARFB before its own columns are formed (from the block's T with two triangular
// multiplies when the work array has room for a second ib x ib block, else by DORG2R).
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
      if (n >= 2 * ib) {
        if (i + ib >= n) ztr_lapack_dlarft("F", "C", m - i, ib, at(i, i), lda, tau + i, work, n);
        generate_block(m - i, ib, at(i, i), lda, work, n);
      } else {
        ztr_lapack_dorg2r(m - i, ib, ib, at(i, i), lda, tau + i, work);
      }
      for (int j = i; j < i + ib; ++j)
        for (int l = 0; l < i; ++l) *at(l, j) = 0.0;
    }
  }
  work[0] = static_cast<double>(nx < k ? n * nb_full : n);
}

}  // namespace ztr
