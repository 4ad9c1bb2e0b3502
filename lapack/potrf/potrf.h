// Cholesky factorization of a symmetric positive definite matrix, A = U'*U (uplo 'U') or
// A = L*L' (uplo 'L'), in place: only the uplo triangle of the column-major n x n matrix is
// read and overwritten with the factor; the other strict triangle is never touched.  When
// the leading minor of order k is not positive definite (its last pivot is zero, negative
// or NaN), info = k, the pivot as computed is left at A(k, k), and the factorization stops
// there: columns (rows for 'U') before k hold the factor, the rest is partly updated.
//
// Three algorithms, the same result up to rounding:
//   ztr_lapack_dpotf2          unblocked, a dispatched kernel per CpuType (upper and lower);
//   ztr_lapack_dpotrf_blocked  serial, left-looking by block columns (SYRK, DPOTF2 on the
//                              diagonal block, GEMM and TRSM on the panel);
//   ztr_lapack_dpotrf_tiled    task-parallel over nb x nb tiles.
// ztr_lapack_dpotrf chooses among them from the tuning queries and the thread count.  A call
// from inside one of the library's parallel regions (dynamic mode) runs serially.
#pragma once

namespace ztr {

// The LAPACK-level entry, all arguments by address: checks uplo (1), n (2) and lda (4),
// reports a bad one through xerbla with "DPOTRF" and sets info to its negated position;
// otherwise factors with ztr_lapack_dpotrf.
void dpotrf(const char* uplo, const int* n, double* a, const int* lda, int* info);

// The internal routines take scalars by value and assume valid arguments (uplo 'U'/'L' in
// either case, n >= 0, lda >= max(1, n)).  info is set to 0 or the order of the first
// leading minor that is not positive definite.
void ztr_lapack_dpotrf(char uplo, int n, double* a, int lda, int* info);
void ztr_lapack_dpotf2(char uplo, int n, double* a, int lda, int* info);
// nb: block width (nb >= n factors the whole matrix with ztr_lapack_dpotf2).
void ztr_lapack_dpotrf_blocked(char uplo, int n, double* a, int lda, int* info, int nb);
// The tiled path on its own (tile order nb, up to `threads` threads), for tests that want it
// at sizes where the choice goes elsewhere.  Falls back to the serial blocked algorithm when
// its tile table cannot be allocated.
void ztr_lapack_dpotrf_tiled(char uplo, int n, double* a, int lda, int* info, int nb, int threads);

}  // namespace ztr
