// Generation of the orthogonal matrices of the tridiagonal reduction and of the QL
// factorization, as the published routines of the same names define them.  LAPACK-level
// entries: every argument by address, checked, errors reported under the routine's name.
#pragma once

namespace ztr {

// Overwrites a (n x n, lda) with the Q of ztr_lapack_dsytrd(uplo, ...): through dorgql on
// the leading n-1 block for 'U', dorgqr on the trailing one for 'L'.
//   work/lwork: at least max(1, n-1); (n-1)*nb optimal, lwork = -1 asks for it.
//   info: 0; -1 uplo, -2 n, -4 lda, -7 lwork (reported as "DORGTR").
void dorgtr(const char* uplo, const int* n, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info);

// The last n columns of Q = H(k)*...*H(1) (QL storage: reflector i in column n-k+i with its
// unit at row m-k+i), m >= n >= k.  Blocked (ILAENV(1, "DORGQL")) from the first block on.
//   work/lwork: at least max(1, n); n*nb optimal.
//   info: 0; -1 m, -2 n, -3 k, -5 lda, -8 lwork (reported as "DORGQL").
void dorgql(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info);

}  // namespace ztr
