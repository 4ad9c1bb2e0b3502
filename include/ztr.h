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

/* ---- Types of the C BLAS interface ----------------------------------------------------
 * cblas_dgemm takes the standard C BLAS enumerations, so that this header and the standard
 * cblas.h and lapacke.h can be included in one translation unit, in either order.  Where a
 * standard cblas.h is on the include path it supplies them: including it here makes a later
 * #include <cblas.h> a no-op, and its declarations of the functions below agree with these.
 * Elsewhere (and with ZTR_NO_SYSTEM_CBLAS defined, as the library's own build does) they are
 * defined here with the standard names and values.  An enumeration is passed exactly like an
 * int, so the binary interface is that of int codes. */
#if !defined(ZTR_BUILDING_LIBRARY) && !defined(ZTR_NO_SYSTEM_CBLAS) && defined(__has_include)
#if __has_include(<cblas.h>)
#include <cblas.h>
#define ZTR_HAVE_SYSTEM_CBLAS 1
#endif
#endif
#ifndef ZTR_HAVE_SYSTEM_CBLAS
typedef enum CBLAS_LAYOUT { CblasRowMajor = 101, CblasColMajor = 102 } CBLAS_LAYOUT;
typedef enum CBLAS_TRANSPOSE {
  CblasNoTrans = 111,
  CblasTrans = 112,
  CblasConjTrans = 113
} CBLAS_TRANSPOSE;
#endif

/* Matrix layouts of the C interfaces (the LAPACKE functions take them as int). */
#define ZTR_ROW_MAJOR CblasRowMajor
#define ZTR_COL_MAJOR CblasColMajor

/* Transpose codes of the C BLAS interface. */
#define ZTR_NO_TRANS CblasNoTrans
#define ZTR_TRANS CblasTrans
#define ZTR_CONJ_TRANS CblasConjTrans

/* ---- Thread control --------------------------------------------------------------------
 * The library parallelises internally with OpenMP.  These settings override the environment
 * variables ZTR_NUM_THREADS and ZTR_DYNAMIC; a per-domain count of ZTR_DOMAIN_NUM_THREADS
 * (ZTR_BLAS=, ZTR_KORVINE=) still wins for its domain (see the README). */

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
ZTR_API void cblas_dgemm(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE transa, CBLAS_TRANSPOSE transb,
                         int m, int n, int k, double alpha, const double* a, int lda,
                         const double* b, int ldb, double beta, double* c, int ldc);

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
/* Inverse of the n x n matrix whose LU factorization LAPACKE_dgetrf left in a and ipiv.  A
 * pivot outside 1..n among the first n-1 is a bad argument (-5), a left untouched. */
ZTR_API int LAPACKE_dgetri(int matrix_layout, int n, double* a, int lda, const int* ipiv);
/* All eigenvalues (w, ascending) and, for jobz 'V', the orthonormal eigenvectors (the columns
 * of a on exit) of the symmetric n x n matrix whose uplo triangle ('U' or 'L') a holds; with
 * jobz 'N' that triangle is destroyed.  > 0: the tridiagonal iteration did not converge. */
ZTR_API int LAPACKE_dsyevd(int matrix_layout, char jobz, char uplo, int n, double* a, int lda,
                           double* w);
/* Eigenvalues (ascending, in w) and with jobz 'V' eigenvectors (in a, B-orthonormal) of the
 * generalized symmetric-definite problem A*x = lambda*B*x (itype 1), A*B*x = lambda*x (2) or
 * B*A*x = lambda*x (3); only the uplo triangles of a and b are read, b receives the Cholesky
 * factor of B.  A positive return i <= n: the eigensolver failed to converge; n + k: the
 * leading minor of order k of B is not positive definite (a untouched).  LAPACKE_dsygv uses
 * the QL/QR iteration, LAPACKE_dsygvd divide and conquer. */
ZTR_API int LAPACKE_dsygv(int matrix_layout, int itype, char jobz, char uplo, int n, double* a,
                          int lda, double* b, int ldb, double* w);
ZTR_API int LAPACKE_dsygvd(int matrix_layout, int itype, char jobz, char uplo, int n, double* a,
                           int lda, double* b, int ldb, double* w);
/* Selected eigenvalues (w, ascending, m of them) and, for jobz 'V', orthonormal eigenvectors
 * (the first m columns of z) of the symmetric n x n matrix whose uplo triangle a holds:
 * range 'A' all, 'V' those in (vl, vu], 'I' those with indices il..iu.  The triangle is
 * destroyed; isuppz(2i-1)..isuppz(2i) (one-based) are the first and last non-zero rows of
 * vector i.  > 0: bisection or inverse iteration failed (as in LAPACK). */
ZTR_API int LAPACKE_dsyevr(int matrix_layout, char jobz, char range, char uplo, int n, double* a,
                           int lda, double vl, double vu, int il, int iu, double abstol, int* m,
                           double* w, double* z, int ldz, int* isuppz);

/* ---- Sparse direct solver ---------------------------------------------------------------
 * Solves A*X = B for a sparse matrix in CSR form (ia, ja, a; one-based unless iparm[34] is
 * non-zero; symmetric types give the upper triangle only).  Every argument by address.  One
 * call performs one phase: 11 analysis, 12 analysis and factorization, 13 all three, 22
 * factorization, 23 factorization and solve, 33 solve (331/332/333 one solve step), 0
 * release one factorization, -1 release everything.  pt is the caller's 64-word handle, all
 * zero before the first call; iparm the 64-entry parameter array (iparm[0] = 0 fills it with
 * the defaults of mtype).  The result is in error (0, or -1 .. -12) and, with msglvl != 0,
 * explained on standard output.  See the README for the matrix types and parameters. */
ZTR_API void KORVINE(void* pt, const int* maxfct, const int* mnum, const int* mtype,
                     const int* phase, const int* n, const void* a, const int* ia, const int* ja,
                     int* perm, const int* nrhs, int* iparm, const int* msglvl, void* b, void* x,
                     int* error);
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
