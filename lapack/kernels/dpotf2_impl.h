// Unblocked Cholesky factorization of one triangle, compiled once per CpuType.
//
// Both triangles are factored left-looking, kCols columns (rows of U) at a time: first the
// block receives the updates of everything factored before it in one pass over the earlier
// columns, accumulated in a register tile, then its kCols pivots are taken one after the
// other with rank-one updates inside the block.  The register tile is written with the
// compiler's vector types, so each variant gets vectors of its instruction-set level (two
// doubles up to SSE4.2, four from AVX on) from the same source.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "service/kernel_vector.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

// Columns factored per block, and vectors of rows per register tile (lower) or columns per
// register tile (upper): 8 accumulators in either case.
constexpr int kCols = 4;
constexpr int kRowVecs = 2;
constexpr int kTileRows = kRowVecs * kLanes;
constexpr int kUpperCols = 2;

// Pivot step shared by both triangles: the pivot value as updated, or 0 after storing it
// when it is not positive (a NaN fails the test as well).
inline double take_pivot(double* diag) {
  const double d = *diag;
  if (!(d > 0.0)) return 0.0;
  const double r = std::sqrt(d);
  *diag = r;
  return r;
}

// A(j0:n, j0:j0+jb) -= A(j0:n, 0:j0) * A(j0:j0+jb, 0:j0)', lower triangle of the diagonal
// block only.  Columns past jb in the tile repeat the last one and are not stored.
void update_lower(int n, double* a, int lda, int j0, int jb) {
  Index src[kCols];
  for (int c = 0; c < kCols; ++c) src[c] = j0 + (c < jb ? c : jb - 1);
  int i0 = j0;
  for (; i0 + kTileRows <= n; i0 += kTileRows) {
    Pack acc[kCols][kRowVecs] = {};
    for (Index k = 0; k < j0; ++k) {
      const double* col = a + k * lda;
      Pack x[kRowVecs];
      for (int v = 0; v < kRowVecs; ++v) x[v] = load(col + i0 + v * kLanes);
      for (int c = 0; c < kCols; ++c) {
        const Pack b = splat(col[src[c]]);
        for (int v = 0; v < kRowVecs; ++v) acc[c][v] += x[v] * b;
      }
    }
    const bool on_diagonal = i0 < j0 + jb;
    for (int c = 0; c < jb; ++c) {
      double* out = a + i0 + (j0 + c) * static_cast<Index>(lda);
      if (!on_diagonal) {
        for (int v = 0; v < kRowVecs; ++v)
          store(out + v * kLanes, load(out + v * kLanes) - acc[c][v]);
        continue;
      }
      for (int v = 0; v < kRowVecs; ++v)
        for (int l = 0; l < kLanes; ++l) {
          const int i = i0 + v * kLanes + l;
          if (i >= j0 + c) out[v * kLanes + l] -= acc[c][v][l];
        }
    }
  }
  // The last rows, fewer than a tile: one row at a time.
  for (int i = i0; i < n; ++i) {
    double acc[kCols] = {};
    for (Index k = 0; k < j0; ++k) {
      const double x = a[i + k * lda];
      for (int c = 0; c < kCols; ++c) acc[c] += x * a[src[c] + k * lda];
    }
    for (int c = 0; c < jb && j0 + c <= i; ++c) a[i + (j0 + c) * static_cast<Index>(lda)] -= acc[c];
  }
}

// U(j0:j0+jb, j0:n) -= U(0:j0, j0:j0+jb)' * U(0:j0, j0:n), upper triangle of the diagonal
// block only: dot products down the columns, kUpperCols columns of U at a time.
void update_upper(int n, double* a, int lda, int j0, int jb) {
  const double* rowsrc[kCols];
  for (int c = 0; c < kCols; ++c)
    rowsrc[c] = a + (j0 + (c < jb ? c : jb - 1)) * static_cast<Index>(lda);
  const int kv = j0 / kLanes * kLanes;
  for (int i0 = j0; i0 < n; i0 += kUpperCols) {
    const int ic = n - i0 < kUpperCols ? n - i0 : kUpperCols;
    const double* col[kUpperCols];
    for (int t = 0; t < kUpperCols; ++t)
      col[t] = a + (i0 + (t < ic ? t : ic - 1)) * static_cast<Index>(lda);
    Pack acc[kCols][kUpperCols] = {};
    for (int k = 0; k < kv; k += kLanes) {
      Pack x[kUpperCols];
      for (int t = 0; t < kUpperCols; ++t) x[t] = load(col[t] + k);
      for (int c = 0; c < kCols; ++c) {
        const Pack b = load(rowsrc[c] + k);
        for (int t = 0; t < kUpperCols; ++t) acc[c][t] += x[t] * b;
      }
    }
    for (int t = 0; t < ic; ++t) {
      double* out = a + (i0 + t) * static_cast<Index>(lda);
      for (int c = 0; c < jb && j0 + c <= i0 + t; ++c) {
        double s = lane_sum(acc[c][t]);
        for (int k = kv; k < j0; ++k) s += rowsrc[c][k] * col[t][k];
        out[j0 + c] -= s;
      }
    }
  }
}

}  // namespace

// Lower triangle: A = L*L'.  Returns 0 or the one-based order of the failing minor.
int dpotf2_lower(int n, double* a, int lda) {
  for (int j0 = 0; j0 < n; j0 += kCols) {
    const int jb = n - j0 < kCols ? n - j0 : kCols;
    if (j0 > 0) update_lower(n, a, lda, j0, jb);
    for (int c = 0; c < jb; ++c) {
      const int j = j0 + c;
      double* cj = a + j * static_cast<Index>(lda);
      const double d = take_pivot(cj + j);
      if (d == 0.0) return j + 1;
      const double r = 1.0 / d;
      for (int i = j + 1; i < n; ++i) cj[i] *= r;
      for (int c2 = c + 1; c2 < jb; ++c2) {
        const int j2 = j0 + c2;
        double* cj2 = a + j2 * static_cast<Index>(lda);
        const double t = cj[j2];
        for (int i = j2; i < n; ++i) cj2[i] -= cj[i] * t;
      }
    }
  }
  return 0;
}

// Upper triangle: A = U'*U.
int dpotf2_upper(int n, double* a, int lda) {
  const Index ld = lda;
  for (int j0 = 0; j0 < n; j0 += kCols) {
    const int jb = n - j0 < kCols ? n - j0 : kCols;
    if (j0 > 0) update_upper(n, a, lda, j0, jb);
    for (int c = 0; c < jb; ++c) {
      const int j = j0 + c;
      const double d = take_pivot(a + j + j * ld);
      if (d == 0.0) return j + 1;
      const double r = 1.0 / d;
      for (Index i = j + 1; i < n; ++i) a[j + i * ld] *= r;
      for (int c2 = c + 1; c2 < jb; ++c2) {
        const int j2 = j0 + c2;
        const double t = a[j + j2 * ld];
        for (Index i = j2; i < n; ++i) a[j2 + i * ld] -= a[j + i * ld] * t;
      }
    }
  }
  return 0;
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
