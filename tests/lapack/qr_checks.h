// Test matrices and the checks the QR tests share: the scaled ratios ||A - Q*R|| and
// ||Q'*Q - I||.
#pragma once

#include "lu_matrices.h"

namespace ztr::test {

// A well-conditioned m x n matrix (lda >= m, padding -777): uniform entries in [-1, 1) plus
// sqrt(max(m, n)) on the diagonal, so that R depends on A with a condition number of a few
// units and two correct factorizations agree to rounding.
inline std::vector<double> qr_matrix(int m, int n, int lda, std::uint64_t seed) {
  std::vector<double> a = random_matrix(m, n, lda, seed);
  const double shift = std::sqrt(static_cast<double>(std::max(m, n)));
  for (int j = 0; j < std::min(m, n); ++j) a[j + static_cast<std::size_t>(j) * lda] += shift;
  return a;
}

// R (min(m,n) x n, leading dimension min(m,n)) from the factored qr: on and above the diagonal.
inline std::vector<double> upper_r(int m, int n, const double* qr, int ldqr) {
  const int k = std::min(m, n);
  std::vector<double> r(static_cast<std::size_t>(k) * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= std::min(j, k - 1); ++i)
      r[i + static_cast<std::size_t>(j) * k] = qr[i + static_cast<std::size_t>(j) * ldqr];
  return r;
}

// With Q (m x k, ldq) and R taken from the factored a: ||A - Q*R||_1 / (||A||_1 * m * eps).
inline double qr_residual(int m, int n, const double* a0, int lda0, const double* q, int ldq,
                          const double* qr, int ldqr) {
  const int k = std::min(m, n);
  std::vector<double> d(a0, a0 + static_cast<std::size_t>(lda0) * n);
  const double one = 1.0, minus = -1.0;
  ztr_blas_dgemm("N", "N", &m, &n, &k, &minus, q, &ldq, upper_r(m, n, qr, ldqr).data(), &k, &one,
                 d.data(), &lda0);
  const double norm = one_norm_diff(m, n, a0, lda0, nullptr, 0);
  return one_norm_diff(m, n, d.data(), lda0, nullptr, 0) / (norm * std::max(m, 1) * kUnitRoundoff);
}

}  // namespace ztr::test
