// BLAS templates over the scalar type, for the sparse solver: float, double,
// std::complex<float> and std::complex<double> (explicitly instantiated in tblas.cpp).
//
// Conventions: the reference BLAS semantics and argument order, but scalars, dimensions and
// option letters by value (this is a C++ interface); column-major storage; Fortran
// increments (a negative increment walks the vector from its far end).  Option letters are
// read in either case; for real types 'C' is the same as 'T'.  No argument is checked.
// beta = 0 overwrites the output without reading it; alpha = 0 skips the product.
// Everything runs on the calling thread: the solver parallelises above these routines.
// A failed work-buffer allocation is reported (message 1089) and the routine continues on a
// path that needs no buffer.
#pragma once

#include "blas/templates/scalar.h"

namespace ztr::tblas {

// ---- level 1
template <typename T> void swap(int n, T* x, int incx, T* y, int incy);
template <typename T> void scal(int n, T alpha, T* x, int incx);
template <typename T> void copy(int n, const T* x, int incx, T* y, int incy);
template <typename T> void axpy(int n, T alpha, const T* x, int incx, T* y, int incy);
// sum x_i * y_i (no conjugation)
template <typename T> T dotu(int n, const T* x, int incx, const T* y, int incy);
// sum conj(x_i) * y_i (the same as dotu for real types)
template <typename T> T dotc(int n, const T* x, int incx, const T* y, int incy);
// Euclidean norm, scaled against overflow and underflow.  Order of entries is irrelevant,
// so only |incx| matters.
template <typename T> RealOf<T> nrm2(int n, const T* x, int incx);
// One-based index of the first entry of largest |re| + |im|; 0 when n < 1 or incx <= 0.
template <typename T> int iamax(int n, const T* x, int incx);

// ---- level 2
// y := alpha*op(A)*x + beta*y, A m x n.
template <typename T>
void gemv(char trans, int m, int n, T alpha, const T* a, int lda, const T* x, int incx, T beta,
          T* y, int incy);
// x := inv(op(A))*x, A triangular.
template <typename T>
void trsv(char uplo, char trans, char diag, int n, const T* a, int lda, T* x, int incx);

// ---- level 3
// C := alpha*op(A)*op(B) + beta*C, C m x n, k the inner dimension.  Blocked for the caches
// and packed into register tiles.
template <typename T>
void gemm(char transa, char transb, int m, int n, int k, T alpha, const T* a, int lda,
          const T* b, int ldb, T beta, T* c, int ldc);
// B := alpha*inv(op(A))*B (side 'L') or alpha*B*inv(op(A)) (side 'R').
template <typename T>
void trsm(char side, char uplo, char trans, char diag, int m, int n, T alpha, const T* a,
          int lda, T* b, int ldb);
// C := alpha*op(A)*op(A)^T + beta*C on the uplo triangle; trans 'N': A is n x k, 'T': k x n.
template <typename T>
void syrk(char uplo, char trans, int n, int k, T alpha, const T* a, int lda, T beta, T* c,
          int ldc);
// C := alpha*op(A)*op(A)^H + beta*C, C Hermitian (real alpha and beta; the diagonal's
// imaginary parts are set to zero); trans 'N' or 'C'.  For real types the same as syrk.
template <typename T>
void herk(char uplo, char trans, int n, int k, RealOf<T> alpha, const T* a, int lda,
          RealOf<T> beta, T* c, int ldc);

}  // namespace ztr::tblas
