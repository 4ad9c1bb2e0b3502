// Test matrices of the symmetric problems (positive definite, or with a known spectrum) and
// the checks the Cholesky and eigenproblem tests share.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "blas/gemm/gemm.h"
#include "lu_matrices.h"

namespace ztr::test {

// Fills the triangle a Cholesky routine must not touch.
constexpr double kUntouched = 777.0;

// A = B*B' + n*I with B uniform in [-1, 1): well conditioned.  Stored with leading dimension
// lda, both triangles set unless `untouched_triangle` is 'U' or 'L' (then that strict
// triangle and the padding hold kUntouched).
inline std::vector<double> make_spd(int n, int lda, std::uint64_t seed,
                                    char untouched_triangle = ' ') {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> b(static_cast<std::size_t>(n) * n);
  for (double& v : b) v = uniform(r);
  std::vector<double> a(static_cast<std::size_t>(lda) * std::max(1, n), kUntouched);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      if ((untouched_triangle == 'U' && i < j) || (untouched_triangle == 'L' && i > j)) continue;
      double s = i == j ? n : 0.0;
      for (int k = 0; k < n; ++k)
        s += b[i + static_cast<std::size_t>(k) * n] * b[j + static_cast<std::size_t>(k) * n];
      a[i + static_cast<std::size_t>(j) * lda] = s;
    }
  return a;
}

// ||A - F||_1 / (n * ||A||_1 * eps) over the leading m x m block, F = L*L' or U'*U from the
// uplo triangle of `f`; A is read from its uplo triangle as well.
inline double cholesky_residual(char uplo, int m, const double* a, const double* f, int lda) {
  auto sym = [&](const double* x, int i, int j) {
    if ((uplo == 'L') == (i < j)) std::swap(i, j);
    return x[i + static_cast<std::ptrdiff_t>(j) * lda];
  };
  auto factor = [&](int i, int j) {  // L(i, j), or U(j, i)
    if (i < j) return 0.0;
    return uplo == 'L' ? f[i + static_cast<std::ptrdiff_t>(j) * lda]
                       : f[j + static_cast<std::ptrdiff_t>(i) * lda];
  };
  double diff = 0.0, norm = 0.0;
  for (int j = 0; j < m; ++j) {
    double dcol = 0.0, acol = 0.0;
    for (int i = 0; i < m; ++i) {
      double s = 0.0;
      for (int k = 0; k <= std::min(i, j); ++k) s += factor(i, k) * factor(j, k);
      dcol += std::fabs(sym(a, i, j) - s);
      acol += std::fabs(sym(a, i, j));
    }
    diff = std::max(diff, dcol);
    norm = std::max(norm, acol);
  }
  if (m == 0 || norm == 0.0) return 0.0;
  return diff / (m * norm * DBL_EPSILON);
}

// A = Q*diag(lambda)*Q' with Q a product of random reflectors and lambda of both signs with a
// close pair; both triangles set, leading dimension ld >= n (padding kUntouched).
inline std::vector<double> known_spectrum(int n, int ld, std::uint64_t seed,
                                          std::vector<double>* lambda) {
  Rng r(static_cast<Rng::result_type>(seed));
  lambda->clear();
  for (int i = 0; i < n; ++i) lambda->push_back(-2.0 + 5.0 * i / std::max(1, n - 1));
  if (n > 3) (*lambda)[2] = (*lambda)[1] + 1e-10;
  std::sort(lambda->begin(), lambda->end());
  std::vector<double> a(static_cast<std::size_t>(ld) * std::max(1, n), kUntouched);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      a[i + static_cast<std::size_t>(j) * ld] = i == j ? (*lambda)[i] : 0.0;
  std::vector<double> v(n), w(n);
  for (int h = 0; h < 3; ++h) {  // A := H*A*H, H = I - 2*v*v'/(v'v)
    double vv = 0.0;
    for (double& x : v) {
      x = uniform(r);
      vv += x * x;
    }
    for (int i = 0; i < n; ++i) {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += a[i + static_cast<std::size_t>(k) * ld] * v[k];
      w[i] = 2.0 * s / vv;
    }
    double wv = 0.0;
    for (int i = 0; i < n; ++i) wv += w[i] * v[i];
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        a[i + static_cast<std::size_t>(j) * ld] +=
            -v[i] * w[j] - w[i] * v[j] + 2.0 * wv / vv * v[i] * v[j];
  }
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i)
      a[j + static_cast<std::size_t>(i) * ld] = a[i + static_cast<std::size_t>(j) * ld];
  return a;
}

inline double& at(std::vector<double>& m, int n, int i, int j) {
  return m[i + static_cast<std::size_t>(j) * n];
}

// op(x)*op(y) by the library's multiply (tested on its own).
inline std::vector<double> mul(int n, const std::vector<double>& x, bool tx,
                               const std::vector<double>& y, bool ty) {
  std::vector<double> c(static_cast<std::size_t>(n) * n);
  const double one = 1.0, zero = 0.0;
  ztr_blas_dgemm(tx ? "T" : "N", ty ? "T" : "N", &n, &n, &n, &one, x.data(), &n, y.data(), &n,
                 &zero, c.data(), &n);
  return c;
}

inline double max_abs(const std::vector<double>& x) {
  double m = 0.0;
  for (double v : x) m = std::max(m, std::fabs(v));
  return m;
}

}  // namespace ztr::test
