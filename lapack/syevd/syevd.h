// All eigenvalues, and optionally eigenvectors, of a real symmetric matrix by tridiagonal
// reduction and divide and conquer.
#pragma once

namespace ztr {

// jobz 'N' eigenvalues only, 'V' also eigenvectors; uplo 'U'/'L' the stored triangle of the
// n x n a (lda).  w receives the eigenvalues in ascending order; with 'V' a receives the
// orthonormal eigenvectors in its columns, with 'N' the stored triangle is destroyed.
//   work/lwork, iwork/liwork (minimum): n <= 1: 1 and 1; 'N': 2n + 1 and 1; 'V':
//   1 + 6n + 2n^2 and 3 + 5n.  lwork = -1 or liwork = -1 is a query: the sizes to use
//   ('N': 2n + the reduction's optimum) come back in work[0] and iwork[0].
// A matrix whose largest entry lies outside [sqrt(smlnum), sqrt(bignum)] is scaled into
// that range first and the eigenvalues scaled back.
// info: 0; -1 jobz, -2 uplo, -3 n, -5 lda, -8 lwork, -10 liwork (reported as "DSYEVD",
// nothing else touched); i > 0 the tridiagonal iteration failed to converge.
void dsyevd(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info);

// The driver without the entry check (for callers that checked their own arguments).
void dsyevd_driver(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                   double* w, double* work, const int* lwork, int* iwork, const int* liwork,
                   int* info);

}  // namespace ztr
