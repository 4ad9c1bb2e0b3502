// The level-3 leaves, compiled once per CpuType.  The left-side solve and the multiplies are
// the shared unblocked loops; the right-side solve, X*op(A) = B on a tall B (the panel of a
// Cholesky step), has a register-tiled kernel of its own.
#include <cstddef>
#include <cstring>

#include "blas/level3/kernels/level3_kernels.h"
#include "blas/templates/triangular_blocked.h"
#include "service/kernel_vector.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

// Register tile of the right-side solve: kRowVecs vectors of rows by kCols columns of X,
// 8 accumulators.
constexpr int kCols = 4;
constexpr int kRowVecs = 2;
constexpr int kTileRows = kRowVecs * kLanes;

// The solve of X*op(A) = B for the rows of one tile (R = kRowVecs vectors, or scalar rows when
// V is double).  Columns are taken in solving order (step s is column col(s)): each block of
// kCols columns first receives, in the register tile, the products of all columns solved
// before it (the inner loop of a multiply), then is solved among itself.
template <typename V, int R>
void solve_rows(const double* a, Index lda, bool trans, bool forward, bool nonunit, int n,
                double* b, Index ldb) {
  constexpr int kWidth = sizeof(V) / sizeof(double);
  auto col = [&](int s) { return forward ? s : n - 1 - s; };
  // op(A)(k, j): only the triangle that op(A) keeps is read.
  auto opa = [&](int k, int j) { return trans ? a[j + k * lda] : a[k + j * lda]; };
  auto ld = [](const double* p) {
    if constexpr (kWidth == 1)
      return *p;
    else
      return load(p);
  };
  auto st = [](double* p, V v) {
    if constexpr (kWidth == 1)
      *p = v;
    else
      store(p, v);
  };
  for (int s0 = 0; s0 < n; s0 += kCols) {
    const int cols = n - s0 < kCols ? n - s0 : kCols;
    V acc[kCols][R];
    int jc[kCols];
    for (int c = 0; c < kCols; ++c) {
      jc[c] = col(s0 + (c < cols ? c : cols - 1));
      for (int v = 0; v < R; ++v) acc[c][v] = ld(b + jc[c] * ldb + v * kWidth);
    }
    for (int s = 0; s < s0; ++s) {
      const int k = col(s);
      V x[R];
      for (int v = 0; v < R; ++v) x[v] = ld(b + k * ldb + v * kWidth);
      for (int c = 0; c < kCols; ++c) {
        const double t = opa(k, jc[c]);
        for (int v = 0; v < R; ++v) acc[c][v] -= x[v] * t;
      }
    }
    for (int c = 0; c < cols; ++c) {
      if (nonunit) {
        const double r = 1.0 / opa(jc[c], jc[c]);
        for (int v = 0; v < R; ++v) acc[c][v] *= r;
      }
      for (int c2 = c + 1; c2 < cols; ++c2) {
        const double t = opa(jc[c], jc[c2]);
        for (int v = 0; v < R; ++v) acc[c2][v] -= acc[c][v] * t;
      }
      for (int v = 0; v < R; ++v) st(b + jc[c] * ldb + v * kWidth, acc[c][v]);
    }
  }
}

// X*op(A) = B, B m x n: an upper op(A) (uplo 'U' without transpose, 'L' transposed) is
// solved from the first column, a lower one from the last.
void trsm_right(char uplo, char trans, char diag, int m, int n, const double* a, int lda, double* b,
                int ldb) {
  const bool tr = !tblas::is_letter(trans, 'N');
  const bool forward = tblas::is_letter(uplo, 'U') != tr;
  const bool nonunit = !tblas::is_letter(diag, 'U');
  int i = 0;
  for (; i + kTileRows <= m; i += kTileRows)
    solve_rows<Pack, kRowVecs>(a, lda, tr, forward, nonunit, n, b + i, ldb);
  for (; i < m; ++i) solve_rows<double, 1>(a, lda, tr, forward, nonunit, n, b + i, ldb);
}

}  // namespace

void dtrsm_leaf(char side, char uplo, char trans, char diag, int m, int n, const double* a, int lda,
                double* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  if (tblas::is_letter(side, 'R')) {
    trsm_right(uplo, trans, diag, m, n, a, lda, b, ldb);
    return;
  }
  tblas::detail::trsm_leaf<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb);
}

void dtrmm_leaf(char side, char uplo, char trans, char diag, int m, int n, const double* a, int lda,
                double* b, int ldb) {
  tblas::detail::trmm_leaf<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb);
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
