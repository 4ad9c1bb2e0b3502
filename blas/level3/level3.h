// Level-3 BLAS in double precision: triangular solve and multiply, symmetric rank-k and
// rank-2k updates, symmetric multiply.  Calling convention as in blas/level1/level1.h: the
// reference argument lists, every argument by address, no argument check.  As in the
// reference, beta = 0 overwrites C without reading it and alpha = 0 does not read A or B.
//
// All five are built on the library's matrix multiply (ztr_blas_dgemm) and open parallel
// regions of their own: TRSM and TRMM give each thread a slice of B's columns (side 'L') or
// rows (side 'R'), SYRK and SYR2K a range of C's columns holding an equal share of the
// triangle; SYMM's parallelism is that of its multiplies.  The thread count comes from the
// BLAS domain; inside one of the library's parallel regions (dynamic mode) a call runs on
// the calling thread.  Results do not depend on the thread count beyond rounding.
#pragma once

namespace ztr {

// B := alpha*inv(op(A))*B (side 'L') or alpha*B*inv(op(A)) (side 'R'); B is m x n.
void ztr_blas_dtrsm(const char* side, const char* uplo, const char* transa, const char* diag,
                    const int* m, const int* n, const double* alpha, const double* a,
                    const int* lda, double* b, const int* ldb);
// B := alpha*op(A)*B (side 'L') or alpha*B*op(A) (side 'R').
void ztr_blas_dtrmm(const char* side, const char* uplo, const char* transa, const char* diag,
                    const int* m, const int* n, const double* alpha, const double* a,
                    const int* lda, double* b, const int* ldb);
// C := alpha*A*A' + beta*C (trans 'N', A n x k) or alpha*A'*A + beta*C (trans 'T' or 'C',
// A k x n), on the uplo triangle of C.
void ztr_blas_dsyrk(const char* uplo, const char* trans, const int* n, const int* k,
                    const double* alpha, const double* a, const int* lda, const double* beta,
                    double* c, const int* ldc);
// C := alpha*A*B' + alpha*B*A' + beta*C (trans 'N') or alpha*A'*B + alpha*B'*A + beta*C.
void ztr_blas_dsyr2k(const char* uplo, const char* trans, const int* n, const int* k,
                     const double* alpha, const double* a, const int* lda, const double* b,
                     const int* ldb, const double* beta, double* c, const int* ldc);
// C := alpha*A*B + beta*C (side 'L', A m x m) or alpha*B*A + beta*C (side 'R', A n x n),
// A symmetric with only its uplo triangle read; C and B are m x n.
void ztr_blas_dsymm(const char* side, const char* uplo, const int* m, const int* n,
                    const double* alpha, const double* a, const int* lda, const double* b,
                    const int* ldb, const double* beta, double* c, const int* ldc);

}  // namespace ztr
