// Triangular solve (TRSM) and triangular multiply (TRMM) with a triangular matrix A, on a
// general matrix B, for any scalar type: an unblocked leaf for diagonal blocks and a blocked
// driver that moves all other work into matrix multiplies.  The driver takes the multiply
// and the leaf as callables, so the templated BLAS and the double-precision level 3 (whose
// multiply is the library's threaded GEMM and whose leaves are dispatched kernels) share it.
//
// Both compute in place on B (column-major, ldb), with alpha = 1; the callers apply alpha
// first.  The leaf gets the diagonal blocks of order at most nb.  "Effective lower" means op(A) is lower triangular: uplo 'L' without transpose, or
// uplo 'U' transposed.
#pragma once

#include <cstddef>

#include "blas/templates/isa_namespace.h"
#include "blas/templates/scalar.h"

namespace ztr::tblas::detail {
ZTR_ISA_NS_BEGIN

using Index = std::ptrdiff_t;

// ------------------------------------------------------------------ leaves
// The loops of the published reference algorithm: column (axpy) form where A's columns are
// read down, dot form where A is read transposed, so that A is always read along columns.

// Left-side solve of C columns of B at once: every entry of A that is loaded serves C
// columns, which is what limits the unblocked loops' speed.
template <typename T, int C>
void trsm_left_columns(bool upper, Op op, bool nonunit, Index m, const T* a, Index lda, T* b,
                       Index ldb) {
  auto A = [&](Index i, Index j) { return conj_if(op.conj, a[i + j * lda]); };
  T* col[C];
  for (int c = 0; c < C; ++c) col[c] = b + c * ldb;
  if (!op.trans) {
    // Column form: each solved row updates the rows still to be solved (below for lower,
    // above for upper).  A row of zeros in B skips its update, as in the reference.
    for (Index s = 0; s < m; ++s) {
      const Index k = upper ? m - 1 - s : s;
      T t[C];
      bool any = false;
      for (int c = 0; c < C; ++c) {
        if (nonunit && col[c][k] != T(0)) col[c][k] /= A(k, k);
        t[c] = col[c][k];
        any = any || t[c] != T(0);
      }
      if (!any) continue;
      const T* ak = a + k * lda;
      const Index lo = upper ? 0 : k + 1, hi = upper ? k : m;
      for (Index i = lo; i < hi; ++i) {
        const T aik = ak[i];
        for (int c = 0; c < C; ++c) col[c][i] -= mul(t[c], aik);
      }
    }
    return;
  }
  // Dot form: column i of A is row i of op(A); op(A) is lower when A is upper.
  for (Index s = 0; s < m; ++s) {
    const Index i = upper ? s : m - 1 - s;
    T t[C];
    for (int c = 0; c < C; ++c) t[c] = col[c][i];
    const Index lo = upper ? 0 : i + 1, hi = upper ? i : m;
    for (Index k = lo; k < hi; ++k) {
      const T aki = A(k, i);
      for (int c = 0; c < C; ++c) t[c] -= mul(aki, col[c][k]);
    }
    for (int c = 0; c < C; ++c) col[c][i] = nonunit ? t[c] / A(i, i) : t[c];
  }
}

template <typename T>
void trsm_leaf(char side, char uplo, char trans, char diag, int m, int n, const T* a, int lda,
               T* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  const Op op = op_of<T>(trans);
  const bool upper = is_letter(uplo, 'U'), nonunit = !is_letter(diag, 'U');
  auto A = [&](Index i, Index j) { return conj_if(op.conj, a[i + j * lda]); };
  auto B = [&](Index i, Index j) -> T& { return b[i + j * ldb]; };
  if (is_letter(side, 'L')) {
    // Groups of columns are solved in a contiguous copy: columns a large leading dimension
    // apart map to the same cache sets and would evict each other.
    constexpr int kColumns = 4, kMaxCopy = 128;
    Index j = 0;
    if (m <= kMaxCopy) {
      T buf[kColumns * kMaxCopy];
      for (; j + kColumns <= n; j += kColumns) {
        for (int c = 0; c < kColumns; ++c)
          for (Index i = 0; i < m; ++i) buf[i + c * m] = B(i, j + c);
        trsm_left_columns<T, kColumns>(upper, op, nonunit, m, a, lda, buf, m);
        for (int c = 0; c < kColumns; ++c)
          for (Index i = 0; i < m; ++i) B(i, j + c) = buf[i + c * m];
      }
    }
    for (; j < n; ++j) trsm_left_columns<T, 1>(upper, op, nonunit, m, a, lda, b + j * ldb, ldb);
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

// Split point of a range of `size` > nb: about half, on a multiple of 8 so that the
// multiplies see aligned panel widths.
inline int split_half(int size) {
  const int h = (size / 2 + 7) / 8 * 8;
  return h < size ? h : size / 2;
}

// The drivers recurse on halves of the triangle: solve or multiply one half, update the
// other half with one multiply, then the other half.  Halving (instead of a fixed block
// width) makes the multiplies' inner dimension as large as possible, and leaves only
// order-nb diagonal blocks to the unblocked leaf.
//
// gemm(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc) with scalars by value;
// leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb).
template <typename T, typename Gemm, typename Leaf>
void trsm_blocked(char side, char uplo, char trans, char diag, int m, int n, const T* a,
                  int lda, T* b, int ldb, int nb, Gemm&& gemm, Leaf&& leaf) {
  if (m <= 0 || n <= 0) return;
  const bool left = is_letter(side, 'L');
  const int size = left ? m : n;
  if (size <= nb) {
    leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb);
    return;
  }
  const bool lower = effective_lower(uplo, trans);
  const int h = split_half(size), rest = size - h;
  const T minus_one = T(-1), one = T(1);
  const T* a22 = a + h + static_cast<Index>(h) * lda;
  if (left) {
    T* b2 = b + h;
    if (lower) {  // forward: top half, update the bottom, bottom half
      trsm_blocked(side, uplo, trans, diag, h, n, a, lda, b, ldb, nb, gemm, leaf);
      const OpBlock<T> a21 = op_block(a, lda, trans, h, 0);
      gemm(a21.t, 'N', rest, n, h, minus_one, a21.p, lda, b, ldb, one, b2, ldb);
      trsm_blocked(side, uplo, trans, diag, rest, n, a22, lda, b2, ldb, nb, gemm, leaf);
    } else {  // backward
      trsm_blocked(side, uplo, trans, diag, rest, n, a22, lda, b2, ldb, nb, gemm, leaf);
      const OpBlock<T> a12 = op_block(a, lda, trans, 0, h);
      gemm(a12.t, 'N', h, n, rest, minus_one, a12.p, lda, b2, ldb, one, b, ldb);
      trsm_blocked(side, uplo, trans, diag, h, n, a, lda, b, ldb, nb, gemm, leaf);
    }
  } else {
    // X*op(A) = B: an upper op(A) is solved left to right, a lower one right to left.
    T* b2 = b + static_cast<Index>(h) * ldb;
    if (!lower) {
      trsm_blocked(side, uplo, trans, diag, m, h, a, lda, b, ldb, nb, gemm, leaf);
      const OpBlock<T> a12 = op_block(a, lda, trans, 0, h);
      gemm('N', a12.t, m, rest, h, minus_one, b, ldb, a12.p, lda, one, b2, ldb);
      trsm_blocked(side, uplo, trans, diag, m, rest, a22, lda, b2, ldb, nb, gemm, leaf);
    } else {
      trsm_blocked(side, uplo, trans, diag, m, rest, a22, lda, b2, ldb, nb, gemm, leaf);
      const OpBlock<T> a21 = op_block(a, lda, trans, h, 0);
      gemm('N', a21.t, m, h, rest, minus_one, b2, ldb, a21.p, lda, one, b, ldb);
      trsm_blocked(side, uplo, trans, diag, m, h, a, lda, b, ldb, nb, gemm, leaf);
    }
  }
}

// B := op(A)*B or B*op(A).  Each half's new value needs the other half's old value, so the
// half that is read is multiplied last.
template <typename T, typename Gemm, typename Leaf>
void trmm_blocked(char side, char uplo, char trans, char diag, int m, int n, const T* a,
                  int lda, T* b, int ldb, int nb, Gemm&& gemm, Leaf&& leaf) {
  if (m <= 0 || n <= 0) return;
  const bool left = is_letter(side, 'L');
  const int size = left ? m : n;
  if (size <= nb) {
    leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb);
    return;
  }
  const bool lower = effective_lower(uplo, trans);
  const int h = split_half(size), rest = size - h;
  const T one = T(1);
  const T* a22 = a + h + static_cast<Index>(h) * lda;
  if (left) {
    T* b2 = b + h;
    if (!lower) {  // B1 = A11*B1 + A12*B2 (old B2), then B2 = A22*B2
      trmm_blocked(side, uplo, trans, diag, h, n, a, lda, b, ldb, nb, gemm, leaf);
      const OpBlock<T> a12 = op_block(a, lda, trans, 0, h);
      gemm(a12.t, 'N', h, n, rest, one, a12.p, lda, b2, ldb, one, b, ldb);
      trmm_blocked(side, uplo, trans, diag, rest, n, a22, lda, b2, ldb, nb, gemm, leaf);
    } else {  // B2 = A22*B2 + A21*B1 (old B1), then B1 = A11*B1
      trmm_blocked(side, uplo, trans, diag, rest, n, a22, lda, b2, ldb, nb, gemm, leaf);
      const OpBlock<T> a21 = op_block(a, lda, trans, h, 0);
      gemm(a21.t, 'N', rest, n, h, one, a21.p, lda, b, ldb, one, b2, ldb);
      trmm_blocked(side, uplo, trans, diag, h, n, a, lda, b, ldb, nb, gemm, leaf);
    }
  } else {
    T* b2 = b + static_cast<Index>(h) * ldb;
    if (!lower) {  // B2 = B2*A22 + B1*A12 (old B1), then B1 = B1*A11
      trmm_blocked(side, uplo, trans, diag, m, rest, a22, lda, b2, ldb, nb, gemm, leaf);
      const OpBlock<T> a12 = op_block(a, lda, trans, 0, h);
      gemm('N', a12.t, m, rest, h, one, b, ldb, a12.p, lda, one, b2, ldb);
      trmm_blocked(side, uplo, trans, diag, m, h, a, lda, b, ldb, nb, gemm, leaf);
    } else {  // B1 = B1*A11 + B2*A21 (old B2), then B2 = B2*A22
      trmm_blocked(side, uplo, trans, diag, m, h, a, lda, b, ldb, nb, gemm, leaf);
      const OpBlock<T> a21 = op_block(a, lda, trans, h, 0);
      gemm('N', a21.t, m, h, rest, one, b2, ldb, a21.p, lda, one, b, ldb);
      trmm_blocked(side, uplo, trans, diag, m, rest, a22, lda, b2, ldb, nb, gemm, leaf);
    }
  }
}

ZTR_ISA_NS_END
}  // namespace ztr::tblas::detail
