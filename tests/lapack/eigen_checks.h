// Checks shared by the symmetric eigensolver tests: an independent oracle (cyclic Jacobi in
// long double), the scaled residual ||A*Z - Z*diag(w)|| and the orthogonality ||Z'*Z - I||,
// and generators of symmetric test matrices with known spectra.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "lu_matrices.h"

namespace ztr::test {

// All eigenvalues, ascending, of the symmetric n x n matrix a (both triangles stored) by the
// cyclic Jacobi method in long double: slow but simple and accurate to the extended
// precision's few ulps times ||A||.
inline std::vector<double> jacobi_eigenvalues(int n, const std::vector<double>& a, int lda) {
  std::vector<long double> m(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) m[i + j * n] = a[i + static_cast<std::size_t>(j) * lda];
  auto at = [&](int i, int j) -> long double& { return m[i + static_cast<std::size_t>(j) * n]; };
  for (int sweep = 0; sweep < 60; ++sweep) {
    long double off = 0, total = 0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) (i == j ? total : off) += at(i, j) * at(i, j);
    if (off <= 1e-40L * (total + off)) break;
    for (int p = 0; p < n - 1; ++p) {
      for (int q = p + 1; q < n; ++q) {
        if (at(p, q) == 0) continue;
        const long double theta = (at(q, q) - at(p, p)) / (2 * at(p, q));
        const long double t =
            (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const long double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (int k = 0; k < n; ++k) {
          const long double kp = at(k, p), kq = at(k, q);
          at(k, p) = c * kp - s * kq;
          at(k, q) = s * kp + c * kq;
        }
        for (int k = 0; k < n; ++k) {
          const long double pk = at(p, k), qk = at(q, k);
          at(p, k) = c * pk - s * qk;
          at(q, k) = s * pk + c * qk;
        }
      }
    }
  }
  std::vector<double> w(n);
  for (int i = 0; i < n; ++i) w[i] = static_cast<double>(at(i, i));
  std::sort(w.begin(), w.end());
  return w;
}

// max |w_i - oracle_i| / (||A|| * n * eps), ||A|| the largest absolute eigenvalue.
inline double eigenvalue_error(const std::vector<double>& w, const std::vector<double>& oracle) {
  double norm = 0;
  for (double x : oracle) norm = std::max(norm, std::fabs(x));
  const int n = static_cast<int>(w.size());
  return value_error(norm, n, w.data(), oracle.data(), n);
}

// ||A*Z - Z*diag(w)||_1 / (||A||_1 * n * eps) over the first m (default n) columns of Z, A
// full symmetric (long double sums).
inline double eigen_residual(int n, const std::vector<double>& a, int lda, const double* w,
                             const double* z, int ldz, int m = -1) {
  auto A = [&](int i, int j) {
    return static_cast<long double>(a[i + static_cast<std::size_t>(j) * lda]);
  };
  long double worst = 0, anorm = 0;
  for (int j = 0; j < n; ++j) {
    long double col = 0, acol = 0;
    for (int i = 0; i < n; ++i) acol += std::fabs(A(i, j));
    anorm = std::max(anorm, acol);
    if (m >= 0 && j >= m) continue;
    const double* zj = z + static_cast<std::size_t>(j) * ldz;
    for (int i = 0; i < n; ++i) {
      long double s = -static_cast<long double>(zj[i]) * w[j];
      for (int k = 0; k < n; ++k) s += A(i, k) * zj[k];
      col += std::fabs(s);
    }
    worst = std::max(worst, col);
  }
  if (anorm == 0) return static_cast<double>(worst);
  return static_cast<double>(worst / (anorm * n * kUnitRoundoff));
}

// A random orthogonal n x n matrix (product of n Householder reflections), column-major.
inline std::vector<double> random_orthogonal(int n, std::uint64_t seed) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> q(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) q[i + static_cast<std::size_t>(i) * n] = 1.0;
  std::vector<double> v(n);
  for (int h = 0; h < n; ++h) {
    double norm2 = 0;
    for (int i = 0; i < n; ++i) norm2 += (v[i] = uniform(r)) * v[i];
    if (norm2 == 0) continue;
    for (int j = 0; j < n; ++j) {  // q := (I - 2 v v'/v'v) q
      double s = 0;
      for (int i = 0; i < n; ++i) s += v[i] * q[i + static_cast<std::size_t>(j) * n];
      s *= 2 / norm2;
      for (int i = 0; i < n; ++i) q[i + static_cast<std::size_t>(j) * n] -= s * v[i];
    }
  }
  return q;
}

// A = Q*diag(lambda)*Q' (full, lda >= n, padding NaN so that reads outside the matrix show).
inline std::vector<double> symmetric_with_spectrum(int n, int lda,
                                                   const std::vector<double>& lambda,
                                                   std::uint64_t seed) {
  const std::vector<double> q = random_orthogonal(n, seed);
  std::vector<double> a(static_cast<std::size_t>(lda) * std::max(n, 1),
                        std::numeric_limits<double>::quiet_NaN());
  for (int j = 0; j < n; ++j) {
    for (int i = j; i < n; ++i) {
      long double s = 0;
      for (int k = 0; k < n; ++k)
        s += static_cast<long double>(q[i + static_cast<std::size_t>(k) * n]) * lambda[k] *
             q[j + static_cast<std::size_t>(k) * n];
      a[i + static_cast<std::size_t>(j) * lda] = a[j + static_cast<std::size_t>(i) * lda] =
          static_cast<double>(s);
    }
  }
  return a;
}

}  // namespace ztr::test
