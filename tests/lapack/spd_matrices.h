// Positive definite test matrices and the residual of their Cholesky factors.
#pragma once

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

// ||P'*A*P - F||_1 / (m * ||A||_1 * eps) over the entries (i, j) of the leading m x m block
// with min(i, j) < rank (the part of the factor a stopped factorization completed), F = L*L'
// or U'*U from the uplo triangle of `f`, P from the one-based `piv` (null: none); A is read
// from its uplo triangle as well.
inline double cholesky_residual(char uplo, int m, int rank, const double* a, const double* f,
                                int lda, const int* piv = nullptr) {
  auto sym = [&](int i, int j) {
    if ((uplo == 'L') == (i < j)) std::swap(i, j);
    return a[i + static_cast<std::ptrdiff_t>(j) * lda];
  };
  auto factor = [&](int i, int j) {  // L(i, j), or U(j, i), for i >= j
    return uplo == 'L' ? f[i + static_cast<std::ptrdiff_t>(j) * lda]
                       : f[j + static_cast<std::ptrdiff_t>(i) * lda];
  };
  double diff = 0.0, norm = 0.0;
  for (int j = 0; j < m; ++j) {
    double dcol = 0.0, acol = 0.0;
    for (int i = 0; i < m; ++i) {
      acol += std::fabs(sym(i, j));
      if (std::min(i, j) >= rank) continue;
      double s = 0.0;
      for (int k = 0; k <= std::min(i, j); ++k) s += factor(i, k) * factor(j, k);
      s -= piv != nullptr ? sym(piv[i] - 1, piv[j] - 1) : sym(i, j);
      dcol += std::fabs(s);
    }
    diff = std::max(diff, dcol);
    norm = std::max(norm, acol);
  }
  return m == 0 || norm == 0.0 ? 0.0 : diff / (m * norm * kUnitRoundoff);
}

}  // namespace ztr::test
