// Level-2 BLAS in double precision.  Calling convention as in blas/level1/level1.h: the
// reference argument lists, every argument by address, no argument check.  As in the
// reference, beta = 0 sets y (and alpha = 0 skips the product) without reading what is
// there, so NaNs in an output that is overwritten do not propagate.
#pragma once

namespace ztr {

// y := alpha*op(A)*x + beta*y, A m x n.
void blas_dgemv(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
                const int* lda, const double* x, const int* incx, const double* beta, double* y,
                const int* incy);
// y := alpha*A*x + beta*y, A symmetric n x n, only the uplo triangle read.
void blas_dsymv(const char* uplo, const int* n, const double* alpha, const double* a,
                const int* lda, const double* x, const int* incx, const double* beta, double* y,
                const int* incy);
// y := y + alpha*(the part of A*x that stored columns [c0, c1) of the uplo triangle of the
// symmetric n x n A give), unit strides, scalars by value: column j adds alpha*a(i,j)*x(j)
// to y(i) for its off-diagonal entries and alpha*(a(j,j)*x(j) + sum_i a(i,j)*x(i)) to y(j).
// Over all columns this is y + alpha*A*x; threads that take disjoint column ranges into
// their own y compute one product.  Rows touched: [c0, n) for 'L', [0, c1) for 'U'.
void blas_dsymv_columns(char uplo, int n, int c0, int c1, double alpha, const double* a, int lda,
                        const double* x, double* y);
// x := op(A)*x, A triangular.
void blas_dtrmv(const char* uplo, const char* trans, const char* diag, const int* n,
                const double* a, const int* lda, double* x, const int* incx);
// x := inv(op(A))*x, A triangular; no test for singularity (a zero pivot gives inf/NaN).
void blas_dtrsv(const char* uplo, const char* trans, const char* diag, const int* n,
                const double* a, const int* lda, double* x, const int* incx);
// A := alpha*x*y' + A, A m x n.
void blas_dger(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
               const double* y, const int* incy, double* a, const int* lda);
// A := alpha*x*y' + alpha*y*x' + A on the uplo triangle of the symmetric n x n A.
void blas_dsyr2(const char* uplo, const int* n, const double* alpha, const double* x,
                const int* incx, const double* y, const int* incy, double* a, const int* lda);

}  // namespace ztr
