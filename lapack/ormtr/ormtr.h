// Multiplication by the orthogonal matrices of the tridiagonal reduction and of the QL and
// QR factorizations, as the published routines of the same names define them:
// C := op(Q)*C (side 'L') or C*op(Q) (side 'R'), op 'N' or 'T', C m x n (ldc).
// LAPACK-level entries take every argument by address and check them; the names they report
// are "DORMTR", "DORMQR", "DORMQL".
#pragma once

namespace ztr {

// Q from ztr_lapack_dsytrd(uplo, ...) on the order nq = m (side 'L') or n ('R') matrix a:
// uplo 'U' goes through dormql on the leading nq-1 block, 'L' through dormqr on the trailing
// one.  work/lwork: at least max(1, nw) with nw = n (side 'L') or m ('R'); nw*nb is optimal
// (lwork = -1 asks for it in work[0]).  info: 0; -1 side, -2 uplo, -3 trans, -4 m, -5 n,
// -7 lda, -10 ldc, -12 lwork.
void dormtr(const char* side, const char* uplo, const char* trans, const int* m, const int* n,
            double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
            const int* lwork, int* info);

// Q = H(1)*...*H(k) (QR storage: v(i) = 1 at row i, the vector below it in column i of a,
// nq x k) or, for dormql, Q = H(k)*...*H(1) (QL storage: v(i) = 1 at row nq-k+i, the
// vector above it).  Blocked with block size ILAENV(1, "DORMQR"/"DORMQL", side//trans);
// with two or more threads C is cut into column slices (side 'L') or row slices ('R')
// that the threads update independently, each with its own share of the workspace (taken
// from work when lwork allows, otherwise allocated; without it the call is sequential).
//   work/lwork: at least max(1, nw); nw*nb + 65*64 optimal (lwork = -1 asks for it).
//   info: 0; -1 side, -2 trans, -3 m, -4 n, -5 k (outside 0..nq), -7 lda, -10 ldc, -12 lwork.
void ztr_lapack_dormqr(const char* side, const char* trans, const int* m, const int* n,
                       const int* k, double* a, const int* lda, const double* tau, double* c,
                       const int* ldc, double* work, const int* lwork, int* info);
void ztr_lapack_dormql(const char* side, const char* trans, const int* m, const int* n,
                       const int* k, double* a, const int* lda, const double* tau, double* c,
                       const int* ldc, double* work, const int* lwork, int* info);

}  // namespace ztr
