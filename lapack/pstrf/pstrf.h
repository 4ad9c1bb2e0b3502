// Cholesky factorization with complete (diagonal) pivoting of a symmetric positive
// semidefinite n x n matrix: P'*A*P = U'*U (uplo 'U') or L*L' ('L'), only the uplo triangle
// read and written.  The factorization stops when the largest remaining diagonal entry falls
// to the tolerance (tol >= 0 as given; tol < 0: n*eps*max(diag(A))), or is NaN; rank is the
// number of pivots accepted and info = 1 whenever rank < n.  piv(k) is the one-based index in
// A of the k-th pivot; the first rank rows of U (columns of L) are complete, the trailing
// block is left as updated when the loop stopped.  A largest diagonal entry that is zero,
// negative or NaN gives rank 0 and info 1 with A untouched; n = 0 gives rank 0 and info 0.
//
// Both routines take every argument by address (uplo read from its first character, either
// case) and check uplo (1), n (2) and lda (4), reporting a bad one through xerbla_dispatch
// with "DPSTRF" / "DPSTF2" (info = -position, nothing touched).  work: 2n doubles.  dpstrf
// blocks the trailing updates (DSYRK) at the tuning width of the Cholesky factorization;
// dpstf2 is the unblocked loop.  n <= 128 is always unblocked.
#pragma once

namespace ztr {

void dpstrf(const char* uplo, const int* n, double* a, const int* lda, int* piv, int* rank,
            const double* tol, double* work, int* info);
void dpstf2(const char* uplo, const int* n, double* a, const int* lda, int* piv, int* rank,
            const double* tol, double* work, int* info);

}  // namespace ztr
