// Reduction of the generalized symmetric-definite eigenproblem to standard form, given the
// Cholesky factor of B (from DPOTRF with the same uplo):
//   itype 1: A := inv(U')*A*inv(U)  or  inv(L)*A*inv(L')   (A*x = lambda*B*x)
//   itype 2 or 3: A := U*A*U'  or  L'*A*L                  (A*B*x = lambda*x, B*A*x = lambda*x)
// Only the uplo triangle of A is read and overwritten; B is read only (its uplo triangle).
#pragma once

namespace ztr {

// LAPACK-level entry, all arguments by address: checks itype (1), uplo (2), n (3), lda (5)
// and ldb (7), reports a bad one through xerbla with "DSYGST" and sets info to its negated
// position; otherwise reduces, blocked with the block size of sygst_block_size (DSYGS2 on
// the diagonal blocks, TRSM, SYMM, SYR2K and TRMM on the others).
void dsygst(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
            const double* b, const int* ldb, int* info);
// The unblocked algorithm (same arguments and checks, reported as "DSYGS2").
void dsygs2(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
            const double* b, const int* ldb, int* info);

// Internal forms, arguments valid, scalars by value.
void ztr_lapack_dsygst(int itype, char uplo, int n, double* a, int lda, const double* b, int ldb);
void ztr_lapack_dsygs2(int itype, char uplo, int n, double* a, int lda, const double* b, int ldb);

namespace sygst_detail {
// The argument check of DSYGST and DSYGS2 (reported under `name`): 0, or 1 after reporting
// the first bad argument; info is set either way.
int check(const char* name, const int* itype, const char* uplo, const int* n, const int* lda,
          const int* ldb, int* info);
}  // namespace sygst_detail

}  // namespace ztr
