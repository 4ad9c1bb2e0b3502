// Selected eigenvalues and eigenvectors of a real symmetric matrix by relatively robust
// representations.
#pragma once

namespace ztr {

// Eigenvalues (w, ascending) and, for jobz 'V', orthonormal eigenvectors (the first m
// columns of z) of the symmetric n x n matrix whose uplo triangle a holds: all of them
// (range 'A'), those in the half-open interval (vl, vu] ('V'), or those with indices
// il..iu in ascending order ('I').  A is reduced to tridiagonal form; the whole spectrum
// comes from the root-free QR iteration (values) or the MRRR solver (vectors, with high
// relative accuracy tried when abstol <= 2n eps), anything else, or a failure of those, from
// bisection and inverse iteration with tolerance abstol; vectors are then transformed back.
// The stored triangle of a is destroyed.  isuppz(2i-1)..isuppz(2i) are the first and last
// rows where vector i is not zero.
//   work/lwork: at least max(1, 26n); lwork = -1 asks for the optimum in work(1).
//   iwork/liwork: at least max(1, 10n); liwork = -1 asks for it in iwork(1).
//   info: 0; -1 jobz, -2 range, -3 uplo, -4 n, -6 lda, -8 vu <= vl, -9 il, -10 iu, -15 ldz,
//   -18 lwork, -20 liwork (reported as "DSYEVR"); > 0 the failure codes of bisection or
//   inverse iteration (for example the number of vectors that did not converge).
void dsyevr(const char* jobz, const char* range, const char* uplo, const int* n, double* a,
            const int* lda, const double* vl, const double* vu, const int* il, const int* iu,
            const double* abstol, int* m, double* w, double* z, const int* ldz, int* isuppz,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info);

}  // namespace ztr
