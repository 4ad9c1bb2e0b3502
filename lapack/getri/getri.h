// Inverse of a general matrix from its LU factorization, and the triangular inverses it is
// built on.  LAPACK-level routines: every argument by address, one-based indices in ipiv and
// info, bad arguments reported through the error-handler slot with the routine's name.
#pragma once

namespace ztr {

// inv(A) in place from A = P*L*U (as dgetrf leaves it): U is inverted, inv(A)*L = inv(U) is
// solved for inv(A), and the row interchanges are undone as column interchanges.
//   work/lwork: at least max(1, n) doubles; n*nb gives the blocked code (nb from
//   getri_block_size, which grows with the thread count).  lwork = -1 asks for n*nb in work[0].
//   info: 0; i > 0 when U(i, i) is exactly zero (a is then left unchanged); -1 n, -3 lda,
//   -4 ipiv (a pivot outside 1..n among the first n-1; not looked at by a size query),
//   -6 lwork.
void dgetri(const int* n, double* a, const int* lda, const int* ipiv, double* work,
            const int* lwork, int* info);

// Inverse of a triangular matrix in place: uplo 'U'/'L', diag 'N'/'U' (a unit diagonal is
// neither read nor written).  info: 0; i > 0 when A(i, i) is exactly zero (non-unit diagonal;
// a is then unchanged); -1 uplo, -2 diag, -3 n, -5 lda.  Blocked, on the level-3 routines.
void dtrtri(const char* uplo, const char* diag, const int* n, double* a, const int* lda, int* info);
// The argument check the two share: sets info to minus the first bad position and reports it
// as routine `name` (6 characters); returns true when every argument is valid.
bool trtri_arguments_ok(const char* name, const char* uplo, const char* diag, const int* n,
                        const int* lda, int* info);
// The unblocked form (no singularity test: a zero diagonal gives infinities).
void dtrti2(const char* uplo, const char* diag, const int* n, double* a, const int* lda, int* info);

}  // namespace ztr
