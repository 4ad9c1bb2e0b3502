#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "blas/level3/level3.h"
#include "lapack/dlamch.h"
#include "lapack/ilaenv.h"
#include "lapack/pstrf/pstrf.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

namespace {

// The shared argument check; true when the call may go on.
bool arguments_ok(const char* name, const char* uplo, int n, int lda, int* info) {
  int bad = 0;
  if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (n < 0) {
    bad = 2;
  } else if (lda < std::max(1, n)) {
    bad = 4;
  }
  *info = -bad;
  if (bad != 0) xerbla_dispatch(name, &bad, 6);
  return bad == 0;
}

// The pivoted loop in blocks of nb columns (nb >= n: one block, no DSYRK).  Zero-based; the
// stored triangle is reached through `at(row, col)` in the orientation of U, so that 'L' is
// the same loop on the transposed view.
void factor(bool upper, int n, double* a, int lda, int* piv, int* rank, double tol, double* work,
            int* info, int nb) {
  // E(r, c): entry (r, c) of U, which is A(r, c) for 'U' and A(c, r) for 'L'.
  auto E = [&](int r, int c) -> double& {
    return upper ? a[r + static_cast<std::ptrdiff_t>(c) * lda]
                 : a[c + static_cast<std::ptrdiff_t>(r) * lda];
  };
  // Increments along a row of U and down a column of U in memory.
  const int along_row = upper ? lda : 1;
  const int down_col = upper ? 1 : lda;
  for (int i = 0; i < n; ++i) piv[i] = i + 1;

  // The first pivot: the first of the largest diagonal entries.
  int pvt = 0;
  double ajj = E(0, 0);
  for (int i = 1; i < n; ++i) {
    if (E(i, i) > ajj) {
      pvt = i;
      ajj = E(i, i);
    }
  }
  // Nothing positive to start from (also a NaN first entry, which the scan keeps).
  if (!(ajj > 0.0)) {
    *rank = 0;
    *info = 1;
    return;
  }
  const double dstop = tol >= 0 ? tol : n * dlamch("Epsilon") * ajj;
  const double one = 1.0, minus_one = -1.0;

  for (int k = 0; k < n; k += nb) {
    const int jb = std::min(nb, n - k);
    std::fill(work + k, work + n, 0.0);
    for (int j = k; j < k + jb; ++j) {
      for (int i = j; i < n; ++i) {
        if (j > k) work[i] += E(j - 1, i) * E(j - 1, i);
        work[n + i] = E(i, i) - work[i];
      }
      if (j > 0) {
        // First index of the largest candidate; a NaN never wins, and when every candidate
        // is NaN the one at j is taken (and stops the loop below).
        pvt = j;
        double best = -std::numeric_limits<double>::infinity();
        for (int i = j; i < n; ++i) {
          if (work[n + i] > best) {
            best = work[n + i];
            pvt = i;
          }
        }
        ajj = work[n + pvt];
        if (ajj <= dstop || std::isnan(ajj)) {
          E(j, j) = ajj;
          *rank = j;
          *info = 1;
          return;
        }
      }
      if (pvt != j) {
        // Symmetric interchange of rows and columns j and pvt within the stored triangle.
        E(pvt, pvt) = E(j, j);
        blas_dswap(&j, &E(0, j), &down_col, &E(0, pvt), &down_col);
        if (pvt < n - 1) {
          const int len = n - pvt - 1;
          blas_dswap(&len, &E(j, pvt + 1), &along_row, &E(pvt, pvt + 1), &along_row);
        }
        const int between = pvt - j - 1;
        blas_dswap(&between, &E(j, j + 1), &along_row, &E(j + 1, pvt), &down_col);
        std::swap(work[j], work[pvt]);
        std::swap(piv[j], piv[pvt]);
      }
      ajj = std::sqrt(ajj);
      E(j, j) = ajj;
      if (j < n - 1) {
        // Row j of U: subtract the contributions of this block's earlier rows, then scale.
        const int rows = j - k, cols = n - j - 1;
        if (rows > 0) {
          if (upper) {
            blas_dgemv("T", &rows, &cols, &minus_one, &E(k, j + 1), &lda, &E(k, j), &down_col, &one,
                       &E(j, j + 1), &along_row);
          } else {
            blas_dgemv("N", &cols, &rows, &minus_one, &E(k, j + 1), &lda, &E(k, j), &down_col, &one,
                       &E(j, j + 1), &along_row);
          }
        }
        const double r = 1.0 / ajj;
        blas_dscal(&cols, &r, &E(j, j + 1), &along_row);
      }
    }
    if (k + jb < n) {
      const int rest = n - k - jb;
      ztr_blas_dsyrk(upper ? "U" : "L", upper ? "T" : "N", &rest, &jb, &minus_one, &E(k, k + jb),
                     &lda, &one, &E(k + jb, k + jb), &lda);
    }
  }
  *rank = n;
  *info = 0;
}

}  // namespace

void dpstrf(const char* uplo, const int* n, double* a, const int* lda, int* piv, int* rank,
            const double* tol, double* work, int* info) {
  install_default_xerbla();
  install_default_progress();
  if (!arguments_ok("DPSTRF", uplo, *n, *lda, info)) return;
  // An empty matrix has rank 0: the caller reads rank on success, so it is always written.
  if (*n == 0) {
    *rank = 0;
    return;
  }
  const bool upper = same_letter(*uplo, 'U');
  const int nb = ilaenv(1, "DPOTRF", upper ? "U" : "L", *n, -1, -1, -1);
  factor(upper, *n, a, *lda, piv, rank, *tol, work, info, (nb <= 1 || nb >= *n) ? *n : nb);
}

void dpstf2(const char* uplo, const int* n, double* a, const int* lda, int* piv, int* rank,
            const double* tol, double* work, int* info) {
  install_default_xerbla();
  install_default_progress();
  if (!arguments_ok("DPSTF2", uplo, *n, *lda, info)) return;
  if (*n == 0) {
    *rank = 0;
    return;
  }
  factor(same_letter(*uplo, 'U'), *n, a, *lda, piv, rank, *tol, work, info, *n);
}

}  // namespace ztr
