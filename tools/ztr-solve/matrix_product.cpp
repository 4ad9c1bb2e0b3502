#include "matrix_product.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace ztr::cli {

void multiply(const mm::Coordinate& m, bool complex, int nrhs, const double* x, double* y) {
  const std::size_t n = static_cast<std::size_t>(m.rows);
  const std::size_t w = complex ? 2 : 1;
  std::fill(y, y + n * w * static_cast<std::size_t>(nrhs), 0.0);
  const bool mirrored = m.symmetry != mm::Symmetry::kGeneral;
  const double sign = m.symmetry == mm::Symmetry::kSkewSymmetric ? -1.0 : 1.0;
  const double conj = m.symmetry == mm::Symmetry::kHermitian ? -1.0 : 1.0;
  for (int c = 0; c < nrhs; ++c) {
    const double* xc = x + n * w * static_cast<std::size_t>(c);
    double* yc = y + n * w * static_cast<std::size_t>(c);
    for (std::size_t k = 0; k < m.row.size(); ++k) {
      const std::size_t i = static_cast<std::size_t>(m.row[k]);
      const std::size_t j = static_cast<std::size_t>(m.col[k]);
      const double ar = m.re[k], ai = m.is_complex() ? m.im[k] : 0.0;
      if (!complex) {
        yc[i] += ar * xc[j];
        if (mirrored && i != j) yc[j] += sign * ar * xc[i];
        continue;
      }
      yc[2 * i] += ar * xc[2 * j] - ai * xc[2 * j + 1];
      yc[2 * i + 1] += ar * xc[2 * j + 1] + ai * xc[2 * j];
      if (mirrored && i != j) {
        const double br = sign * ar, bi = sign * conj * ai;
        yc[2 * j] += br * xc[2 * i] - bi * xc[2 * i + 1];
        yc[2 * j + 1] += br * xc[2 * i + 1] + bi * xc[2 * i];
      }
    }
  }
}

double norm_inf(const mm::Coordinate& m) {
  std::vector<double> rows(static_cast<std::size_t>(m.rows), 0.0);
  const bool mirrored = m.symmetry != mm::Symmetry::kGeneral;
  for (std::size_t k = 0; k < m.row.size(); ++k) {
    const double v = std::hypot(m.re[k], m.is_complex() ? m.im[k] : 0.0);
    rows[m.row[k]] += v;
    if (mirrored && m.row[k] != m.col[k]) rows[m.col[k]] += v;
  }
  double worst = 0;
  for (double r : rows) worst = std::max(worst, r);
  return worst;
}

double relative_residual(const mm::Coordinate& m, bool complex, int nrhs, const double* b,
                         const double* x) {
  const std::size_t n = static_cast<std::size_t>(m.rows);
  const std::size_t w = complex ? 2 : 1;
  std::vector<double> ax(n * w * static_cast<std::size_t>(nrhs));
  multiply(m, complex, nrhs, x, ax.data());
  const double anorm = norm_inf(m);
  double worst = 0;
  for (int c = 0; c < nrhs; ++c) {
    const std::size_t off = n * w * static_cast<std::size_t>(c);
    double r = 0, xn = 0, bn = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double dr = b[off + w * i] - ax[off + w * i];
      const double di = complex ? b[off + w * i + 1] - ax[off + w * i + 1] : 0.0;
      const double ri = std::hypot(dr, di);
      // NaN compares false: it must not vanish in the maximum.
      if (!std::isfinite(ri) || !std::isfinite(x[off + w * i])) return INFINITY;
      r = std::max(r, ri);
      xn = std::max(xn, std::hypot(x[off + w * i], complex ? x[off + w * i + 1] : 0.0));
      bn = std::max(bn, std::hypot(b[off + w * i], complex ? b[off + w * i + 1] : 0.0));
    }
    const double denom = anorm * xn + bn;
    // A non-finite solution (or residual) is never reported as small.
    const double ratio = denom > 0 ? r / denom : (r > 0 ? INFINITY : 0.0);
    worst = std::max(worst, ratio);
  }
  return worst;
}

}  // namespace ztr::cli
