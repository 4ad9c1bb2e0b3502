#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/householder/householder.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sytrd/team_symv.h"
#include "service/letters.h"

namespace ztr {

void ztr_lapack_dlatrd(const char* uplo, const int* n, const int* nb, double* a, const int* lda,
                       double* e, double* tau, double* w, const int* ldw, const SymvTeam* team) {
  const int nn = *n, kb = *nb;
  if (nn <= 0) return;
  const bool lead = team == nullptr || team->lead();
  const std::ptrdiff_t ld = *lda, ldwk = *ldw;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  auto wt = [&](int i, int j) { return w + i + j * ldwk; };
  const int inc1 = 1;
  const double one = 1.0, zero = 0.0, minus_one = -1.0;
  // The product of column i with the trailing matrix (order len): the lead has generated
  // the reflector; a shared product first publishes it to the team.
  auto product = [&](bool upper, int len, const double* s, const double* v, double* y) {
    const bool shared = team_shares(team, len);
    if (shared) team->barrier->wait();
    if (shared || lead) team_symv(team, upper, len, s, ld, v, y);
  };
  if (same_letter(*uplo, 'U')) {
    // Columns n-1 down to n-kb; column i of A pairs with column iw of W.
    for (int i = nn - 1; i >= nn - kb; --i) {
      const int iw = i - nn + kb;
      const int right = nn - 1 - i;  // columns already reduced in this panel
      const int rows = i + 1;
      const int len = i;
      if (lead) {
        if (right > 0) {
          // Bring column i up to date with the panel's earlier reflectors.
          blas_dgemv("N", &rows, &right, &minus_one, at(0, i + 1), lda, wt(i, iw + 1), ldw, &one,
                     at(0, i), &inc1);
          blas_dgemv("N", &rows, &right, &minus_one, wt(0, iw + 1), ldw, at(i, i + 1), lda, &one,
                     at(0, i), &inc1);
        }
        if (i > 0) {
          ztr_lapack_dlarfg(len, at(i - 1, i), at(0, i), 1, &tau[i - 1]);
          e[i - 1] = *at(i - 1, i);
          *at(i - 1, i) = 1.0;
        }
      }
      if (i == 0) continue;
      // w(:, iw) := tau * (A - V*W' - W*V') * v, then the symmetric correction.
      product(true, len, a, at(0, i), wt(0, iw));
      if (!lead) continue;
      if (right > 0) {
        blas_dgemv("T", &len, &right, &one, wt(0, iw + 1), ldw, at(0, i), &inc1, &zero,
                   wt(i + 1, iw), &inc1);
        blas_dgemv("N", &len, &right, &minus_one, at(0, i + 1), lda, wt(i + 1, iw), &inc1, &one,
                   wt(0, iw), &inc1);
        blas_dgemv("T", &len, &right, &one, at(0, i + 1), lda, at(0, i), &inc1, &zero,
                   wt(i + 1, iw), &inc1);
        blas_dgemv("N", &len, &right, &minus_one, wt(0, iw + 1), ldw, wt(i + 1, iw), &inc1, &one,
                   wt(0, iw), &inc1);
      }
      blas_dscal(&len, &tau[i - 1], wt(0, iw), &inc1);
      const double alpha = -0.5 * tau[i - 1] * blas_ddot(&len, wt(0, iw), &inc1, at(0, i), &inc1);
      blas_daxpy(&len, &alpha, at(0, i), &inc1, wt(0, iw), &inc1);
    }
  } else {
    for (int i = 0; i < kb; ++i) {
      const int rows = nn - i;
      const int len = nn - i - 1;
      if (lead) {
        if (i > 0) {
          blas_dgemv("N", &rows, &i, &minus_one, at(i, 0), lda, wt(i, 0), ldw, &one, at(i, i),
                     &inc1);
          blas_dgemv("N", &rows, &i, &minus_one, wt(i, 0), ldw, at(i, 0), lda, &one, at(i, i),
                     &inc1);
        }
        if (i < nn - 1) {
          ztr_lapack_dlarfg(len, at(i + 1, i), at(std::min(i + 2, nn - 1), i), 1, &tau[i]);
          e[i] = *at(i + 1, i);
          *at(i + 1, i) = 1.0;
        }
      }
      if (i >= nn - 1) continue;
      product(false, len, at(i + 1, i + 1), at(i + 1, i), wt(i + 1, i));
      if (!lead) continue;
      if (i > 0) {
        blas_dgemv("T", &len, &i, &one, wt(i + 1, 0), ldw, at(i + 1, i), &inc1, &zero, wt(0, i),
                   &inc1);
        blas_dgemv("N", &len, &i, &minus_one, at(i + 1, 0), lda, wt(0, i), &inc1, &one,
                   wt(i + 1, i), &inc1);
        blas_dgemv("T", &len, &i, &one, at(i + 1, 0), lda, at(i + 1, i), &inc1, &zero, wt(0, i),
                   &inc1);
        blas_dgemv("N", &len, &i, &minus_one, wt(i + 1, 0), ldw, wt(0, i), &inc1, &one,
                   wt(i + 1, i), &inc1);
      }
      blas_dscal(&len, &tau[i], wt(i + 1, i), &inc1);
      const double alpha =
          -0.5 * tau[i] * blas_ddot(&len, wt(i + 1, i), &inc1, at(i + 1, i), &inc1);
      blas_daxpy(&len, &alpha, at(i + 1, i), &inc1, wt(i + 1, i), &inc1);
    }
  }
}

}  // namespace ztr
