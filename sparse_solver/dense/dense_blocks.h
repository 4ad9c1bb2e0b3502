// Dense kernels of the supernodal factorization and solve, over the solver's value types
// (common/value_types.h).  Column-major blocks; no argument is checked.  The multiplies and
// triangular solves go to the library's double-precision BLAS for double; for the complex
// types all but the small ones go to the same multiply on split real and imaginary parts
// (complex_products.h), the rest and float to the BLAS templates.  The double-precision Cholesky is
// the library's DPOTRF; the other Cholesky factorizations and the pivoted block factorizations are
// written here.
#pragma once

#include "sparse_solver/common/value_types.h"

namespace ztr {

// C := alpha*A*op(B) + beta*C, C m x n, A m x k, B n x k, op(B) = B' (transb 'T') or B^H
// ('C', the same for real values).
template <typename T>
void block_gemm_nt(char transb, int m, int n, int k, T alpha, const T* a, int lda, const T* b,
                   int ldb, T beta, T* c, int ldc);
// The lower triangle of C := alpha*A*A' + beta*C, C n x n, A n x k (the strict upper triangle
// of C is neither read nor written); A*A^H with real alpha and beta for complex values.
template <typename T>
void block_syrk_lower(int n, int k, T alpha, const T* a, int lda, T beta, T* c, int ldc);
// C := alpha*op(A)*B + beta*C with op(A) = A ('N', A m x k), A' ('T', A k x m) or A^H ('C').
template <typename T>
void block_gemm(char transa, int m, int n, int k, T alpha, const T* a, int lda, const T* b, int ldb,
                T beta, T* c, int ldc);
// B := B*inv(op(A)) (side 'R') or inv(op(A))*B (side 'L'), B m x n, A triangular.
template <typename T>
void block_trsm(char side, char uplo, char trans, char diag, int m, int n, const T* a, int lda,
                T* b, int ldb);

// Cholesky A = L*L^H of the k x k block (lower triangle read and written; L*L' for real
// values).  Returns 0, or the one-based column whose pivot is not positive (the
// factorization stops there).
template <typename T>
int block_cholesky(int k, T* a, int lda);

// LU with partial pivoting inside the k x k block, A = P*L*U, ipiv one-based.  A pivot whose
// magnitude is below `threshold` (> 0) is replaced by threshold with the pivot's sign (its
// direction, for complex values) and
// counted in *perturbed; with threshold 0 an exactly zero pivot is left in place and the
// first such column is returned (one-based), else 0.
template <typename T>
int block_lu(int k, T* a, int lda, int* ipiv, RealOf<T> threshold, int* perturbed);

// Symmetric indefinite factorization P'*A*P = L*D*L' (with `conj`, the Hermitian
// P'*A*P = L*D*L^H, D Hermitian with a real diagonal) of the k x k diagonal block of a
// len x k supernode (lower triangle read; the interchanges are applied to the rows below the
// block as column swaps).  Pivots are chosen as on the scaled block S*A*S, S = diag(scale)
// (k values, permuted here with the interchanges; null: unit), where `threshold` applies:
// the Bunch-Kaufman rule on the current column, and when that column offers no pivot of
// scaled magnitude at least threshold, complete pivoting over the rest of the block (its
// largest diagonal entry as a 1x1 pivot, or a 2x2 pivot on its largest off-diagonal entry).
// Only when nothing in the trailing block reaches the threshold is a 1x1 pivot replaced by
// threshold (scaled) with its sign (+ for zero) and counted.  Output: unit L in the strict
// lower triangle; d[j] the diagonal of D and e[j] its sub-diagonal (non-zero only for the
// first column of a 2x2 pivot); ipiv[j] > 0 the one-based row swapped with j for a 1x1 pivot;
// for a 2x2 pivot in columns j, j+1 both entries are negative, -ipiv[j] the row swapped with
// j and then -ipiv[j+1] the row swapped with j+1; the inertia of D (perturbed pivots with
// their replaced sign) is added to *pos and *neg.  Returns 0, or the one-based column of the
// first pivot that is exactly zero (possible only with threshold 0: the block cannot be
// factored, and D would divide by it).
template <typename T>
int block_ldlt(int k, int len, T* a, int lda, int* ipiv, T* d, T* e, RealOf<T> threshold,
               RealOf<T>* scale, bool conj, int* perturbed, int* pos, int* neg);

// A 2x2 pivot D = [d11 d21; d21 d22] of the L*D*L' factorization (with `conj`, the Hermitian
// D = [d11 conj(d21); d21 d22] of L*D*L^H, d11 and d22 real), applied as inv(D) to pairs of
// values.  The form scaled by d21 (D = d21 [a 1; 1 c]; Hermitian: D = |d21| [a conj(w); w c]
// with |w| = 1) forms no product of two entries, so a block whose entries pass the square
// root of the largest number does not overflow where its inverse is finite.  Both pivot rules
// take a 2x2 block only when |d11 d22| < |d21|^2, so d21 != 0 and a c - 1 < 0.
template <typename T>
class PivotBlock2 {
 public:
  PivotBlock2(T d11, T d21, T d22, bool conj = false) : conj_(kIsComplex<T> && conj) {
    if (conj_) {
      const RealOf<T> r = abs_value(d21);
      a_ = real_part(d11) / r;
      c_ = real_part(d22) / r;
      w_ = d21 / r;
      d21_ = r;
    } else {
      a_ = d11 / d21;
      c_ = d22 / d21;
      d21_ = d21;
    }
    denom_ = a_ * c_ - T(1);
  }
  // (u, v) = inv(D) (x, y).
  void solve(T x, T y, T* u, T* v) const {
    const T xs = x / d21_, ys = y / d21_;
    if constexpr (kIsComplex<T>) {
      if (conj_) {
        *u = (c_ * xs - conj_value(w_) * ys) / denom_;
        *v = (a_ * ys - w_ * xs) / denom_;
        return;
      }
    }
    *u = (c_ * xs - ys) / denom_;
    *v = (a_ * ys - xs) / denom_;
  }
  // (u, v) = (x, y) inv(D) for a row: the same as solve unless D is Hermitian and complex.
  void solve_row(T x, T y, T* u, T* v) const {
    if (!kIsComplex<T> || !conj_) return solve(x, y, u, v);
    solve(conj_value(x), conj_value(y), u, v);
    *u = conj_value(*u);
    *v = conj_value(*v);
  }

 private:
  bool conj_;
  T a_, c_, d21_, denom_;
  T w_ = T(1);
};

}  // namespace ztr
