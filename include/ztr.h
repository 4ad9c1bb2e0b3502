/*
 * ztr.h - the public interface of libztr.
 *
 * Every function declared with ZTR_API is exported by the shared library, and nothing else
 * is: the build derives the library's export list from this file.  The header is valid C99
 * and C++.  All exported functions use the C calling convention; the Fortran-style entry
 * points take every argument by address.
 */
#ifndef ZTR_H
#define ZTR_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZTR_BUILDING_LIBRARY)
#define ZTR_API __attribute__((visibility("default")))
#else
#define ZTR_API
#endif

/* Matrix layouts of the C interfaces. */
#define ZTR_ROW_MAJOR 101
#define ZTR_COL_MAJOR 102

/* Transpose codes of the C BLAS interface. */
#define ZTR_NO_TRANS 111
#define ZTR_TRANS 112
#define ZTR_CONJ_TRANS 113

/* ---- Thread control --------------------------------------------------------------------
 * The library parallelises internally with OpenMP.  These settings override the environment
 * variables ZTR_NUM_THREADS, ZTR_DOMAIN_NUM_THREADS and ZTR_DYNAMIC (see the README). */

/* Use n threads from now on; n <= 0 is ignored. */
ZTR_API void ZTR_Set_Num_Threads(int n);
/* The number of threads the library would use for a call made now from this thread. */
ZTR_API int ZTR_Get_Max_Threads(void);
/* Nonzero: adjust the thread count to the machine (at most one thread per physical core, one
 * thread inside an active parallel region).  Zero: use the requested count as it is. */
ZTR_API void ZTR_Set_Dynamic(int flag);

/* ---- BLAS ------------------------------------------------------------------------------ */

/* The dot product sum x_i*y_i over i = 0..n-1, where element i of a vector with increment inc
 * is v[i*inc] for inc >= 0 and v[(n-1-i)*|inc|] for inc < 0.  0.0 for n <= 0.  Every input
 * is legal; nothing is reported.  Long vectors are split among threads; for a given processor
 * level, thread count and alignment the result is reproducible bit for bit. */
ZTR_API double cblas_ddot(int n, const double* x, int incx, const double* y, int incy);

/* ---- Sparse BLAS ------------------------------------------------------------------------ */

/* y := A*x for a symmetric m x m matrix A stored as one triangle (with the diagonal) in
 * zero-based CSR form: row r holds entries ia[r]-ia[0] .. ia[r+1]-ia[0]-1 of a and ja, in any
 * order; ja holds zero-based columns.  uplo 'L'/'l' uses the entries with column <= row,
 * 'U'/'u' those with column >= row; entries of the other triangle are ignored.  The previous
 * contents of y are never read.  An unknown uplo or m < 0 returns at once, y untouched. */
ZTR_API void ztr_cspblas_dcsrsymv(const char* uplo, const int* m, const double* a, const int* ia,
                                  const int* ja, const double* x, double* y);

/* ---- Matrix multiplication ----------------------------------------------------------
 * C := alpha*op(A)*op(B) + beta*C with op(X) = X or X'.  DGEMM is the Fortran-style entry
 * (every argument by address; a caller that also passes the hidden string lengths is
 * served the same); transa and transb are 'N', 'T' or 'C' in either case.  cblas_dgemm takes
 * a layout (ZTR_ROW_MAJOR or ZTR_COL_MAJOR) and transpose codes (ZTR_NO_TRANS, ZTR_TRANS,
 * ZTR_CONJ_TRANS).  A bad argument is reported on standard output and nothing is computed. */
ZTR_API void DGEMM(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                   const double* alpha, const double* a, const int* lda, const double* b,
                   const int* ldb, const double* beta, double* c, const int* ldc);
ZTR_API void cblas_dgemm(int layout, int transa, int transb, int m, int n, int k, double alpha,
                         const double* a, int lda, const double* b, int ldb, double beta,
                         double* c, int ldc);

/* ---- LAPACKE ----------------------------------------------------------------------------
 * The C interface to the dense LAPACK drivers.  The first argument is the layout
 * (ZTR_ROW_MAJOR or ZTR_COL_MAJOR).  Return values: 0 success; > 0 the driver's info (here
 * the first exactly zero diagonal entry of U); -i argument i is invalid (-1 a bad layout, also
 * a NaN in an input matrix or a leading dimension too small for row-major data); -1010 a
 * workspace allocation failed; -1011 the transposed copy of a row-major matrix could not be
 * allocated. */

/* LU factorization with partial pivoting, A = P*L*U, of the m x n matrix a; ipiv receives
 * min(m, n) one-based row indices. */
ZTR_API int LAPACKE_dgetrf(int matrix_layout, int m, int n, double* a, int lda, int* ipiv);
/* Inverse of the n x n matrix whose LU factorization LAPACKE_dgetrf left in a and ipiv. */
ZTR_API int LAPACKE_dgetri(int matrix_layout, int n, double* a, int lda, const int* ipiv);
/* QR factorization A = Q*R of the m x n matrix a: R on and above the diagonal, the Householder
 * vectors below it, their min(m, n) scalar factors in tau. */
ZTR_API int LAPACKE_dgeqrf(int matrix_layout, int m, int n, double* a, int lda, double* tau);
/* Overwrites the m x n matrix a (m >= n >= k) with the first n columns of Q = H(1)...H(k),
 * the reflectors as LAPACKE_dgeqrf left them in a and tau. */
ZTR_API int LAPACKE_dorgqr(int matrix_layout, int m, int n, int k, double* a, int lda,
                           const double* tau);
/* Cholesky factorization with complete pivoting of the symmetric positive semidefinite n x n
 * matrix held in the uplo triangle of a: P'*A*P = U'*U ('U') or L*L' ('L').  piv receives the
 * one-based pivot order, rank the number of pivots accepted (the loop stops when the largest
 * remaining diagonal entry falls to tol; tol < 0 means n*eps*max(diag(A))); the return value
 * is 1 when rank < n. */
ZTR_API int LAPACKE_dpstrf(int matrix_layout, char uplo, int n, double* a, int lda, int* piv,
                           int* rank, double tol);

#ifdef __cplusplus
}
#endif

#endif /* ZTR_H */
