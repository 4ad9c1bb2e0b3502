// Two-stage reduction of a symmetric matrix to tridiagonal form: first to a band of
// half-width kd by blocked Householder transformations (the bulk of the work, in matrix
// products), then the band to tridiagonal form by chasing bulges down the band.
#pragma once

namespace ztr {

// Reduces the symmetric n x n A (uplo triangle read and destroyed, the other untouched) to
// the tridiagonal T = Q'*A*Q with diagonal d (n) and off-diagonal e (n-1); the eigenvalues
// of T are those of A.  Only jobz 'N' is provided (Q is not formed; tau, z and ldz are not
// referenced).  1 <= kd < n unless n <= 1.  work: lwork >= (3*kd + 3)*n doubles.
// info: 0; -1 jobz, -2 uplo, -3 n, -4 kd, -6 lda, -13 lwork.
void ztr_lapack_dsyrdb(const char* jobz, const char* uplo, int n, int kd, double* a, int lda,
                       double* d, double* e, double* tau, double* z, int ldz, double* work,
                       int lwork, int* info);

// The second stage on its own: the lower band of half-width kd of a symmetric matrix, held
// in ab with ldab >= 2*kd + 1 (A(i, j) at ab[(i - j) + j*ldab] for 0 <= i - j <= kd; rows
// kd+1..2*kd of ab are room for the bulges and need not be set), reduced to tridiagonal form
// (d, e).  ab is destroyed.  work: 2*kd doubles.
void ztr_lapack_dsbrdb(int n, int kd, double* ab, int ldab, double* d, double* e, double* work);

}  // namespace ztr
