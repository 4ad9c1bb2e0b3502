// Triangular solve (TRSM) and triangular multiply (TRMM) with a triangular matrix A, on a
// general matrix B, for any scalar type: an unblocked leaf for diagonal blocks and a blocked
// driver that moves all other work into matrix multiplies.  The driver takes the multiply
// and the leaf as callables, so the templated BLAS and the double-precision level 3 (whose
// multiply is the library's threaded GEMM and whose leaves are dispatched kernels) share it.
//
// Both compute in place on B (column-major, ldb), with alpha = 1; the callers apply alpha
// first.  "Effective lower" means op(A) is lower triangular: uplo 'L' without transpose, or
// uplo 'U' transposed.
#pragma once

#include <cstddef>

#include "blas/templates/scalar.h"

namespace ztr::tblas::detail {

using Index = std::ptrdiff_t;

// ------------------------------------------------------------------ leaves
// The loops of the published reference algorithm: column (axpy) form where A's columns are
// read down, dot form where A is read transposed, so that A is always read along columns.

template <typename T>
void trsm_leaf(char side, char uplo, char trans, char diag, int m, int n, const T* a, int lda,
               T* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  const Op op = op_of<T>(trans);
  const bool upper = is_letter(uplo, 'U'), nonunit = !is_letter(diag, 'U');
  auto A = [&](Index i, Index j) { return conj_if(op.conj, a[i + j * lda]); };
  auto B = [&](Index i, Index j) -> T& { return b[i + j * ldb]; };
  if (is_letter(side, 'L')) {
    for (Index j = 0; j < n; ++j) {
      if (!op.trans && upper) {
        for (Index k = m - 1; k >= 0; --k) {
          if (B(k, j) == T(0)) continue;
          if (nonunit) B(k, j) /= A(k, k);
          const T t = B(k, j);
          for (Index i = 0; i < k; ++i) B(i, j) -= mul(t, A(i, k));
        }
      } else if (!op.trans) {
        for (Index k = 0; k < m; ++k) {
          if (B(k, j) == T(0)) continue;
          if (nonunit) B(k, j) /= A(k, k);
          const T t = B(k, j);
          for (Index i = k + 1; i < m; ++i) B(i, j) -= mul(t, A(i, k));
        }
      } else if (upper) {
        for (Index i = 0; i < m; ++i) {
          T t = B(i, j);
          for (Index k = 0; k < i; ++k) t -= mul(A(k, i), B(k, j));
          B(i, j) = nonunit ? t / A(i, i) : t;
        }
      } else {
        for (Index i = m - 1; i >= 0; --i) {
          T t = B(i, j);
          for (Index k = i + 1; k < m; ++k) t -= mul(A(k, i), B(k, j));
          B(i, j) = nonunit ? t / A(i, i) : t;
        }
      }
    }
    return;
  }
  // Right side: X*op(A) = B, column operations on B.
  auto col_axpy = [&](Index dst, T t, Index src) {
    for (Index i = 0; i < m; ++i) B(i, dst) -= mul(t, B(i, src));
  };
  auto col_div = [&](Index j, T d) {
    for (Index i = 0; i < m; ++i) B(i, j) /= d;
  };
  if (!op.trans && upper) {
    for (Index j = 0; j < n; ++j) {
      for (Index k = 0; k < j; ++k)
        if (A(k, j) != T(0)) col_axpy(j, A(k, j), k);
      if (nonunit) col_div(j, A(j, j));
    }
  } else if (!op.trans) {
    for (Index j = n - 1; j >= 0; --j) {
      for (Index k = j + 1; k < n; ++k)
        if (A(k, j) != T(0)) col_axpy(j, A(k, j), k);
      if (nonunit) col_div(j, A(j, j));
    }
  } else if (upper) {
    for (Index k = n - 1; k >= 0; --k) {
      if (nonunit) col_div(k, A(k, k));
      for (Index j = 0; j < k; ++j)
        if (A(j, k) != T(0)) col_axpy(j, A(j, k), k);
    }
  } else {
    for (Index k = 0; k < n; ++k) {
      if (nonunit) col_div(k, A(k, k));
      for (Index j = k + 1; j < n; ++j)
        if (A(j, k) != T(0)) col_axpy(j, A(j, k), k);
    }
  }
}

template <typename T>
void trmm_leaf(char side, char uplo, char trans, char diag, int m, int n, const T* a, int lda,
               T* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  const Op op = op_of<T>(trans);
  const bool upper = is_letter(uplo, 'U'), nonunit = !is_letter(diag, 'U');
  auto A = [&](Index i, Index j) { return conj_if(op.conj, a[i + j * lda]); };
  auto B = [&](Index i, Index j) -> T& { return b[i + j * ldb]; };
  if (is_letter(side, 'L')) {
    for (Index j = 0; j < n; ++j) {
      if (!op.trans && upper) {
        for (Index k = 0; k < m; ++k) {
          const T t = B(k, j);
          if (t == T(0)) continue;
          for (Index i = 0; i < k; ++i) B(i, j) += mul(t, A(i, k));
          if (nonunit) B(k, j) = mul(t, A(k, k));
        }
      } else if (!op.trans) {
        for (Index k = m - 1; k >= 0; --k) {
          const T t = B(k, j);
          if (t == T(0)) continue;
          if (nonunit) B(k, j) = mul(t, A(k, k));
          for (Index i = k + 1; i < m; ++i) B(i, j) += mul(t, A(i, k));
        }
      } else if (upper) {
        for (Index i = m - 1; i >= 0; --i) {
          T t = nonunit ? mul(B(i, j), A(i, i)) : B(i, j);
          for (Index k = 0; k < i; ++k) t += mul(A(k, i), B(k, j));
          B(i, j) = t;
        }
      } else {
        for (Index i = 0; i < m; ++i) {
          T t = nonunit ? mul(B(i, j), A(i, i)) : B(i, j);
          for (Index k = i + 1; k < m; ++k) t += mul(A(k, i), B(k, j));
          B(i, j) = t;
        }
      }
    }
    return;
  }
  auto col_axpy = [&](Index dst, T t, Index src) {
    for (Index i = 0; i < m; ++i) B(i, dst) += mul(t, B(i, src));
  };
  auto col_scale = [&](Index j, T d) {
    for (Index i = 0; i < m; ++i) B(i, j) = mul(B(i, j), d);
  };
  if (!op.trans && upper) {
    for (Index j = n - 1; j >= 0; --j) {
      if (nonunit) col_scale(j, A(j, j));
      for (Index k = 0; k < j; ++k)
        if (A(k, j) != T(0)) col_axpy(j, A(k, j), k);
    }
  } else if (!op.trans) {
    for (Index j = 0; j < n; ++j) {
      if (nonunit) col_scale(j, A(j, j));
      for (Index k = j + 1; k < n; ++k)
        if (A(k, j) != T(0)) col_axpy(j, A(k, j), k);
    }
  } else if (upper) {
    for (Index k = 0; k < n; ++k) {
      for (Index j = 0; j < k; ++j)
        if (A(j, k) != T(0)) col_axpy(j, A(j, k), k);
      if (nonunit) col_scale(k, A(k, k));
    }
  } else {
    for (Index k = n - 1; k >= 0; --k) {
      for (Index j = k + 1; j < n; ++j)
        if (A(j, k) != T(0)) col_axpy(j, A(j, k), k);
      if (nonunit) col_scale(k, A(k, k));
    }
  }
}

// ------------------------------------------------------------------ blocked drivers

// Rows r0.. and columns c0.. of op(A) as a multiply operand: the stored block and the
// transpose letter that makes it op(A)'s block.
template <typename T>
struct OpBlock {
  const T* p;
  char t;
};
template <typename T>
OpBlock<T> op_block(const T* a, int lda, char trans, Index r0, Index c0) {
  if (is_letter(trans, 'N')) return {a + r0 + c0 * lda, 'N'};
  return {a + c0 + r0 * lda, trans};
}

inline bool effective_lower(char uplo, char trans) {
  return is_letter(uplo, 'L') == is_letter(trans, 'N');
}

// gemm(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc) with scalars by value;
// leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb).
template <typename T, typename Gemm, typename Leaf>
void trsm_blocked(char side, char uplo, char trans, char diag, int m, int n, const T* a,
                  int lda, T* b, int ldb, int nb, Gemm&& gemm, Leaf&& leaf) {
  if (m <= 0 || n <= 0) return;
  const bool lower = effective_lower(uplo, trans);
  const T minus_one = T(-1), one = T(1);
  auto Bp = [&](Index i, Index j) { return b + i + j * ldb; };
  if (is_letter(side, 'L')) {
    const int nblk = (m + nb - 1) / nb;
    for (int s = 0; s < nblk; ++s) {
      // Forward for lower, backward for upper.
      const int blk = lower ? s : nblk - 1 - s;
      const Index k0 = static_cast<Index>(blk) * nb;
      const int kb = static_cast<int>(m - k0 < nb ? m - k0 : nb);
      leaf('L', uplo, trans, diag, kb, n, a + k0 + k0 * lda, lda, Bp(k0, 0), ldb);
      // Rows still to be solved: below the block (lower) or above it (upper).
      const Index r0 = lower ? k0 + kb : 0;
      const int rows = static_cast<int>(lower ? m - (k0 + kb) : k0);
      if (rows <= 0) continue;
      const OpBlock<T> ab = op_block(a, lda, trans, r0, k0);
      gemm(ab.t, 'N', rows, n, kb, minus_one, ab.p, lda, Bp(k0, 0), ldb, one, Bp(r0, 0), ldb);
    }
  } else {
    const int nblk = (n + nb - 1) / nb;
    for (int s = 0; s < nblk; ++s) {
      // X*op(A) = B: an upper op(A) is solved left to right, a lower one right to left.
      const int blk = lower ? nblk - 1 - s : s;
      const Index k0 = static_cast<Index>(blk) * nb;
      const int kb = static_cast<int>(n - k0 < nb ? n - k0 : nb);
      leaf('R', uplo, trans, diag, m, kb, a + k0 + k0 * lda, lda, Bp(0, k0), ldb);
      const Index c0 = lower ? 0 : k0 + kb;
      const int cols = static_cast<int>(lower ? k0 : n - (k0 + kb));
      if (cols <= 0) continue;
      const OpBlock<T> ab = op_block(a, lda, trans, k0, c0);
      gemm('N', ab.t, m, cols, kb, minus_one, Bp(0, k0), ldb, ab.p, lda, one, Bp(0, c0), ldb);
    }
  }
}

template <typename T, typename Gemm, typename Leaf>
void trmm_blocked(char side, char uplo, char trans, char diag, int m, int n, const T* a,
                  int lda, T* b, int ldb, int nb, Gemm&& gemm, Leaf&& leaf) {
  if (m <= 0 || n <= 0) return;
  const bool lower = effective_lower(uplo, trans);
  const T one = T(1);
  auto Bp = [&](Index i, Index j) { return b + i + j * ldb; };
  if (is_letter(side, 'L')) {
    // New block row k = op(A)(k, k)*B(k) + op(A)(k, others)*B(others), where the others
    // (below for upper, above for lower) must still hold their old values: upper goes top
    // down, lower bottom up.
    const int nblk = (m + nb - 1) / nb;
    for (int s = 0; s < nblk; ++s) {
      const int blk = lower ? nblk - 1 - s : s;
      const Index k0 = static_cast<Index>(blk) * nb;
      const int kb = static_cast<int>(m - k0 < nb ? m - k0 : nb);
      leaf('L', uplo, trans, diag, kb, n, a + k0 + k0 * lda, lda, Bp(k0, 0), ldb);
      const Index c0 = lower ? 0 : k0 + kb;
      const int inner = static_cast<int>(lower ? k0 : m - (k0 + kb));
      if (inner <= 0) continue;
      const OpBlock<T> ab = op_block(a, lda, trans, k0, c0);
      gemm(ab.t, 'N', kb, n, inner, one, ab.p, lda, Bp(c0, 0), ldb, one, Bp(k0, 0), ldb);
    }
  } else {
    // New column block k = B(k)*op(A)(k, k) + B(others)*op(A)(others, k): upper right to
    // left, lower left to right.
    const int nblk = (n + nb - 1) / nb;
    for (int s = 0; s < nblk; ++s) {
      const int blk = lower ? s : nblk - 1 - s;
      const Index k0 = static_cast<Index>(blk) * nb;
      const int kb = static_cast<int>(n - k0 < nb ? n - k0 : nb);
      leaf('R', uplo, trans, diag, m, kb, a + k0 + k0 * lda, lda, Bp(0, k0), ldb);
      const Index r0 = lower ? k0 + kb : 0;
      const int inner = static_cast<int>(lower ? n - (k0 + kb) : k0);
      if (inner <= 0) continue;
      const OpBlock<T> ab = op_block(a, lda, trans, r0, k0);
      gemm('N', ab.t, m, kb, inner, one, Bp(0, r0), ldb, ab.p, lda, one, Bp(0, k0), ldb);
    }
  }
}

}  // namespace ztr::tblas::detail
