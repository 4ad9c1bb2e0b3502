#include <algorithm>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/getri/getri.h"
#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/threads.h"

namespace ztr {

namespace {

// Solves X*L = A for X in place, one column at a time from the right (the workspace holds one
// column of L, whose place in a is zeroed because it becomes part of the inverse).
void solve_unblocked(int n, double* a, int lda, double* work) {
  const double one = 1.0, minus_one = -1.0;
  const int inc1 = 1;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  for (int j = n - 1; j >= 0; --j) {
    for (int i = j + 1; i < n; ++i) {
      work[i] = *at(i, j);
      *at(i, j) = 0.0;
    }
    const int right = n - 1 - j;
    if (right > 0) {
      blas_dgemv("N", &n, &right, &minus_one, at(0, j + 1), &lda, work + j + 1, &inc1, &one,
                 at(0, j), &inc1);
    }
  }
}

// The same by column blocks of nb: a multiply with everything right of the block, then a
// solve with the block's unit lower triangle.  work holds the block's part of L (ld n).
void solve_blocked(int n, int nb, double* a, int lda, double* work) {
  const double one = 1.0, minus_one = -1.0;
  const int ldw = n;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  auto w = [&](int i, int j) { return work + i + static_cast<std::ptrdiff_t>(j) * ldw; };
  for (int j = (n - 1) / nb * nb; j >= 0; j -= nb) {
    const int jb = std::min(nb, n - j);
    for (int jj = j; jj < j + jb; ++jj) {
      for (int i = jj + 1; i < n; ++i) {
        *w(i, jj - j) = *at(i, jj);
        *at(i, jj) = 0.0;
      }
    }
    const int right = n - j - jb;
    if (right > 0) {
      ztr_blas_dgemm("N", "N", &n, &jb, &right, &minus_one, at(0, j + jb), &lda, w(j + jb, 0), &ldw,
                     &one, at(0, j), &lda);
    }
    ztr_blas_dtrsm("R", "L", "N", "U", &n, &jb, &one, w(j, 0), &ldw, at(0, j), &lda);
  }
}

// The interchanges undone at the end swap column j with column ipiv(j) for j < n; a pivot
// outside 1..n would address memory beyond the matrix, so it is refused as a bad argument
// before anything is touched.  ipiv(n) is never used and not checked.  A size query may come
// before the factorization, so it does not look at the pivots.
bool pivots_in_range(int n, const int* ipiv) {
  for (int j = 0; j + 1 < n; ++j)
    if (ipiv[j] < 1 || ipiv[j] > n) return false;
  return true;
}

}  // namespace

void dgetri(const int* n, double* a, const int* lda, const int* ipiv, double* work,
            const int* lwork, int* info) {
  *info = 0;
  const int nn = *n;
  const int threads = domain_max_threads(kDomainAll);
  int nb = getri_block_size(1, "DGETRI", " ", nn, threads, -1, -1);
  // The optimal size, reported whatever happens next (0 for n = 0: nothing is needed).
  work[0] = static_cast<double>(nn) * nb;
  int bad = 0;
  if (nn < 0) {
    bad = 1;
  } else if (*lda < std::max(1, nn)) {
    bad = 3;
  } else if (*lwork != -1 && !pivots_in_range(nn, ipiv)) {
    bad = 4;
  } else if (*lwork < std::max(1, nn) && *lwork != -1) {
    bad = 6;
  }
  if (bad != 0) {
    *info = -bad;
    xerbla_dispatch("DGETRI", &bad, 6);
    return;
  }
  if (*lwork == -1 || nn == 0) return;

  dtrtri("Upper", "Non-unit", n, a, lda, info);
  if (*info > 0) return;

  int nbmin = 2;
  long long iws = nn;
  if (nb > 1 && nb < nn) {
    iws = std::max(static_cast<long long>(nn) * nb, 1LL);
    if (*lwork < iws) {
      // Less workspace than the tuned block needs: the widest block that fits.
      nb = *lwork / nn;
      nbmin = std::max(2, getri_block_size(2, "DGETRI", " ", nn, threads, -1, -1));
    }
  }
  if (nb < nbmin || nb >= nn) {
    solve_unblocked(nn, a, *lda, work);
  } else {
    solve_blocked(nn, nb, a, *lda, work);
  }
  const int inc1 = 1;
  for (int j = nn - 2; j >= 0; --j) {
    const int jp = ipiv[j] - 1;
    if (jp != j) {
      blas_dswap(n, a + static_cast<std::ptrdiff_t>(j) * *lda, &inc1,
                 a + static_cast<std::ptrdiff_t>(jp) * *lda, &inc1);
    }
  }
  work[0] = static_cast<double>(iws);
}

}  // namespace ztr
