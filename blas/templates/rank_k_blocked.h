// Symmetric and Hermitian rank-k and rank-2k updates for any scalar type, blocked so that
// everything but the diagonal blocks is a matrix multiply.  As in triangular_blocked.h the
// multiply is a callable, so the templated BLAS and the double-precision level 3 share the
// code.
//
// The uplo triangle of C is cut into column blocks of nb.  A diagonal block is formed in a
// work buffer of nb*nb entries by one multiply and then merged into the triangle (only the
// triangle is written); the rectangle beside it is one multiply straight into C.  Without a
// work buffer (work = nullptr) the diagonal blocks are summed in place entry by entry.
#pragma once

#include <cstddef>

#include "blas/templates/scalar.h"

namespace ztr::tblas::detail {

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

// C := alpha*op(A)*op(B)^T + alpha*op(B)*op(A)^T + beta*C for rank2 (B given), or
// C := alpha*op(A)*op(A)^T (^H for herm) + beta*C for a rank-k update (b = nullptr).
// trans: 'N' (A is n x k) or 'T'/'C' (A is k x n).
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
  const bool rank2 = b != nullptr;
  const char t2 = second_letter(trans, herm);
  const T one = T(1);
  for (Index j0 = 0; j0 < n; j0 += nb) {
    const int jb = static_cast<int>(n - j0 < nb ? n - j0 : nb);
    const Rows<T> aj = rows_of(a, lda, trans, j0);
    const Rows<T> bj = rank2 ? rows_of(b, ldb, trans, j0) : aj;
    // Diagonal block.
    auto merge = [&](Index i, Index j, T prod) {
      T& e = c[(j0 + i) + (j0 + j) * ldc];
      T v = mul(alpha, prod);
      if (beta != T(0)) v += mul(beta, e);
      e = (herm && i == j) ? T(real_of(v)) : v;
    };
    if (work != nullptr) {
      gemm(aj.t, t2, jb, jb, k, one, aj.p, lda, bj.p, rank2 ? ldb : lda, T(0), work, jb);
      for (Index j = 0; j < jb; ++j) {
        const Index lo = upper ? 0 : j, hi = upper ? j + 1 : jb;
        for (Index i = lo; i < hi; ++i)
          merge(i, j, rank2 ? work[i + j * jb] + work[j + i * jb] : work[i + j * jb]);
      }
    } else {
      for (Index j = 0; j < jb; ++j) {
        const Index lo = upper ? 0 : j, hi = upper ? j + 1 : jb;
        for (Index i = lo; i < hi; ++i) {
          T s = T(0);
          for (Index p = 0; p < k; ++p) {
            auto at = [&](const T* x, int ldx, Index r) {  // op(X)(j0 + r, p)
              return is_letter(trans, 'N') ? x[(j0 + r) + p * ldx]
                                           : conj_if(herm, x[p + (j0 + r) * ldx]);
            };
            const T ai = at(a, lda, i);
            const T bjv = rank2 ? at(b, ldb, j) : at(a, lda, j);
            s += mul(ai, conj_if(herm, bjv));
            if (rank2) s += mul(at(b, ldb, i), at(a, lda, j));
          }
          merge(i, j, s);
        }
      }
    }
    // The rectangle beside the diagonal block in the same columns: below it (lower) or
    // above it (upper).
    const Index r0 = upper ? 0 : j0 + jb;
    const int rows = static_cast<int>(upper ? j0 : n - (j0 + jb));
    if (rows <= 0) continue;
    const Rows<T> ar = rows_of(a, lda, trans, r0);
    T* cr = c + r0 + j0 * ldc;
    gemm(ar.t, t2, rows, jb, k, alpha, ar.p, lda, bj.p, rank2 ? ldb : lda, beta, cr, ldc);
    if (rank2) {
      const Rows<T> br = rows_of(b, ldb, trans, r0);
      gemm(br.t, t2, rows, jb, k, alpha, br.p, ldb, aj.p, lda, one, cr, ldc);
    }
  }
}

}  // namespace ztr::tblas::detail
