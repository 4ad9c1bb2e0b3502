// Symmetric and Hermitian rank-k and rank-2k updates for any scalar type, blocked so that
// everything but the diagonal blocks is a matrix multiply.  As in triangular_blocked.h the
// multiply is a callable, so the templated BLAS and the double-precision level 3 share the
// code.
//
// The triangle of C is split in halves recursively: two half-size triangles and one full
// rectangle between them, which is one multiply straight into C.  A diagonal block of order
// at most nb is formed in a work buffer of nb*nb entries by one multiply and merged into the
// triangle (only the triangle is written); without a work buffer (work = nullptr) it is
// summed in place entry by entry.  Column ranges of the triangle are independent, which is
// how the threaded callers split the work.
#pragma once

#include <cstddef>
#include <type_traits>

#include "blas/templates/isa_namespace.h"
#include "blas/templates/scalar.h"

namespace ztr::tblas::detail {
ZTR_ISA_NS_BEGIN

using Index = std::ptrdiff_t;

// C := beta*C on the uplo triangle (beta = 0 writes zeros); herm zeroes the imaginary parts
// of the diagonal.
template <typename T>
void scale_triangle(bool upper, bool herm, int n, T beta, T* c, int ldc) {
  for (Index j = 0; j < n; ++j) {
    const Index lo = upper ? 0 : j, hi = upper ? j + 1 : n;
    for (Index i = lo; i < hi; ++i) {
      T& e = c[i + j * ldc];
      e = beta == T(0) ? T(0) : mul(beta, e);
    }
    if (herm) c[j + j * ldc] = T(real_of(c[j + j * ldc]));
  }
}

// Rows r.. of op(X) as the first multiply operand (op(X) = X for trans 'N', else X^T or X^H
// as `t` says); k is the inner dimension.
template <typename T>
struct Rows {
  const T* p;
  char t;
};
template <typename T>
Rows<T> rows_of(const T* x, int ldx, char trans, Index r) {
  return is_letter(trans, 'N') ? Rows<T>{x + r, 'N'} : Rows<T>{x + r * ldx, trans};
}
// The transpose letter that turns the same block into the second operand op(X)(rows)^T
// (conj: ^H).
inline char second_letter(char trans, bool conj) {
  if (is_letter(trans, 'N')) return conj ? 'C' : 'T';
  return 'N';
}

// One rank-k (or rank-2k) update problem: C := alpha*op(A)*op(A)^T (^H for herm) + beta*C,
// or with B given C := alpha*op(A)*op(B)^T + alpha*op(B)*op(A)^T + beta*C.  trans 'N':
// A and B are n x k; 'T'/'C': k x n.  Only the uplo triangle of C is written.
template <typename T, typename Gemm>
struct RankK {
  bool herm, upper;
  char trans;
  int n, k;
  T alpha;
  const T* a;
  int lda;
  const T* b;  // nullptr for a rank-k update
  int ldb;
  T beta;
  T* c;
  int ldc;
  int nb;
  T* work;  // nb*nb entries, or nullptr
  Gemm gemm;

  bool rank2() const { return b != nullptr; }
  char second() const { return second_letter(trans, herm); }
  T* cat(Index i, Index j) const { return c + i + j * ldc; }

  // C(i0.., j0..) (rows x cols, a full rectangle) := alpha*op(A)(rows)*op(B)(cols)^T [+ the
  // swapped product] + beta*C.
  void rectangle(Index i0, int rows, Index j0, int cols) const {
    if (rows <= 0 || cols <= 0) return;
    const Rows<T> ai = rows_of(a, lda, trans, i0), aj = rows_of(a, lda, trans, j0);
    if (!rank2()) {
      gemm(ai.t, second(), rows, cols, k, alpha, ai.p, lda, aj.p, lda, beta, cat(i0, j0), ldc);
      return;
    }
    const Rows<T> bi = rows_of(b, ldb, trans, i0), bj = rows_of(b, ldb, trans, j0);
    gemm(ai.t, second(), rows, cols, k, alpha, ai.p, lda, bj.p, ldb, beta, cat(i0, j0), ldc);
    gemm(bi.t, second(), rows, cols, k, alpha, bi.p, ldb, aj.p, lda, T(1), cat(i0, j0), ldc);
  }

  // The triangle of the diagonal block j0..j0+jb (jb <= nb).
  void diagonal_leaf(Index j0, int jb) const {
    auto merge = [&](Index i, Index j, T prod) {
      T& e = *cat(j0 + i, j0 + j);
      T v = mul(alpha, prod);
      if (beta != T(0)) v += mul(beta, e);
      e = (herm && i == j) ? T(real_of(v)) : v;
    };
    if (work != nullptr) {
      const Rows<T> aj = rows_of(a, lda, trans, j0);
      const Rows<T> bj = rank2() ? rows_of(b, ldb, trans, j0) : aj;
      gemm(aj.t, second(), jb, jb, k, T(1), aj.p, lda, bj.p, rank2() ? ldb : lda, T(0), work, jb);
      for (Index j = 0; j < jb; ++j) {
        const Index lo = upper ? 0 : j, hi = upper ? j + 1 : jb;
        for (Index i = lo; i < hi; ++i)
          merge(i, j, rank2() ? work[i + j * jb] + work[j + i * jb] : work[i + j * jb]);
      }
      return;
    }
    // op(X)(j0 + r, p), conjugated for a Hermitian update of a transposed A.
    auto at = [&](const T* x, int ldx, Index r, Index p) {
      return is_letter(trans, 'N') ? x[(j0 + r) + p * ldx] : conj_if(herm, x[p + (j0 + r) * ldx]);
    };
    for (Index j = 0; j < jb; ++j) {
      const Index lo = upper ? 0 : j, hi = upper ? j + 1 : jb;
      for (Index i = lo; i < hi; ++i) {
        T s = T(0);
        for (Index p = 0; p < k; ++p) {
          if (rank2())
            s += mul(at(a, lda, i, p), at(b, ldb, j, p)) + mul(at(b, ldb, i, p), at(a, lda, j, p));
          else
            s += mul(at(a, lda, i, p), conj_if(herm, at(a, lda, j, p)));
        }
        merge(i, j, s);
      }
    }
  }

  // The triangle of the diagonal square j0..j1, by halves: two smaller triangles and the
  // rectangle between them.
  void diagonal(Index j0, Index j1) const {
    const int size = static_cast<int>(j1 - j0);
    if (size <= 0) return;
    if (size <= nb) {
      diagonal_leaf(j0, size);
      return;
    }
    const int h = (size / 2 + 7) / 8 * 8 < size ? (size / 2 + 7) / 8 * 8 : size / 2;
    diagonal(j0, j0 + h);
    if (upper) rectangle(j0, h, j0 + h, size - h);
    else rectangle(j0 + h, size - h, j0, h);
    diagonal(j0 + h, j1);
  }

  // Columns j0..j1 of the triangle: their diagonal square and the rectangle beside it
  // (above for upper, below for lower).  Column ranges are independent of each other.
  void columns(Index j0, Index j1) const {
    diagonal(j0, j1);
    if (upper) rectangle(0, static_cast<int>(j0), j0, static_cast<int>(j1 - j0));
    else rectangle(j1, static_cast<int>(n - j1), j0, static_cast<int>(j1 - j0));
  }
};

// The whole update on the calling thread.
template <typename T, typename Gemm>
void rank_k_blocked(bool herm, char uplo, char trans, int n, int k, T alpha, const T* a,
                    int lda, const T* b, int ldb, T beta, T* c, int ldc, int nb, T* work,
                    Gemm&& gemm) {
  if (n <= 0) return;
  const bool upper = is_letter(uplo, 'U');
  if (alpha == T(0) || k <= 0) {
    if (beta != T(1)) scale_triangle(upper, herm, n, beta, c, ldc);
    return;
  }
  const RankK<T, std::decay_t<Gemm>> r{herm, upper, trans, n, k, alpha, a, lda, b, ldb,
                                       beta, c, ldc, nb, work, gemm};
  r.columns(0, n);
}

ZTR_ISA_NS_END
}  // namespace ztr::tblas::detail
