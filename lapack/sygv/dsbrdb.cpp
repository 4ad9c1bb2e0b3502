// Band to tridiagonal form by bulge chasing.  Sweep c annihilates column c below its
// subdiagonal with one reflector on rows c+1..c+kd, applied on both sides of the diagonal
// block it spans.  Applied from the right to the block of kd rows below, it fills that block
// (the bulge); the next reflector annihilates the bulge's first column only and is applied
// from the left to the rest of the bulge and on both sides of the next diagonal block, and so
// on down the band.  What is left of each bulge lies inside the bulge of the next sweep, so
// the band never grows beyond 2*kd - 1 and column c is banded when sweep c reaches it.
#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/sygv/syrdb.h"

namespace ztr {

void ztr_lapack_dsbrdb(int n, int kd, double* ab, int ldab, double* d, double* e, double* work) {
  if (n <= 0) return;
  auto at = [&](int i, int j) -> double& {  // i >= j, i - j <= 2*kd
    return ab[(i - j) + static_cast<std::ptrdiff_t>(j) * ldab];
  };
  auto sym = [&](int i, int j) -> double& { return i >= j ? at(i, j) : at(j, i); };
  double* v = work;
  double* w = work + kd;
  for (int c = 0; c + 2 < n && kd > 1; ++c) {
    int col = c, r = c + 1, len = std::min(kd, n - r);
    while (len >= 2) {
      // The reflector that annihilates column `col` below row r.
      double tau = 0.0;
      ztr_lapack_dlarfg(len, &at(r, col), &at(r + 1, col), 1, &tau);
      v[0] = 1.0;
      for (int q = 1; q < len; ++q) {
        v[q] = at(r + q, col);
        at(r + q, col) = 0.0;
      }
      if (tau != 0.0) {
        // From the left to the rest of the bulge: columns col+1..r-1 of rows r..r+len-1.
        for (int j = col + 1; j < r; ++j) {
          double s = 0.0;
          for (int q = 0; q < len; ++q) s += v[q] * at(r + q, j);
          s *= tau;
          for (int q = 0; q < len; ++q) at(r + q, j) -= s * v[q];
        }
        // On both sides of the diagonal block: D -= v*w' + w*v' with w = tau*D*v - (tau/2)(w'v) v.
        double wv = 0.0;
        for (int p = 0; p < len; ++p) {
          double s = 0.0;
          for (int q = 0; q < len; ++q) s += sym(r + p, r + q) * v[q];
          w[p] = tau * s;
          wv += w[p] * v[p];
        }
        const double alpha = -0.5 * tau * wv;
        for (int p = 0; p < len; ++p) w[p] += alpha * v[p];
        for (int q = 0; q < len; ++q)
          for (int p = q; p < len; ++p) at(r + p, r + q) -= v[p] * w[q] + w[p] * v[q];
      }
      // From the right to the block below, which becomes the next bulge.
      const int r2 = r + len, len2 = std::min(kd, n - r2);
      if (len2 <= 0) break;
      if (tau != 0.0) {
        for (int i = r2; i < r2 + len2; ++i) {
          double s = 0.0;
          for (int q = 0; q < len; ++q) s += at(i, r + q) * v[q];
          s *= tau;
          for (int q = 0; q < len; ++q) at(i, r + q) -= s * v[q];
        }
      }
      col = r;
      r = r2;
      len = len2;
    }
  }
  for (int i = 0; i < n; ++i) d[i] = at(i, i);
  for (int i = 0; i + 1 < n; ++i) e[i] = at(i + 1, i);
}

}  // namespace ztr
