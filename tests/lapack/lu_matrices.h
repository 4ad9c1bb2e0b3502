// Matrices with known LU factors, and the checks the LU and inverse tests share.
#pragma once

#include <algorithm>
#include <set>

#include "blas/gemm/gemm.h"
#include "tests/support/test_support.h"

namespace ztr::test {

// A = P*L*U built so that partial pivoting must find exactly P, L and U, on any path and in
// any order of updates: every entry of L is a multiple of 1/4 of magnitude at most 1/2 below
// the unit diagonal, U holds small integers with power-of-two diagonal, so every intermediate
// sum is exact in double precision and the pivot (magnitude |U(j,j)|) beats every other
// candidate (at most |U(j,j)|/2) by a wide margin.  Columns in `ties` get one more candidate
// of equal magnitude below the pivot row (the pivot row then stays in place), columns in
// `zeros` an exactly zero pivot (U(j,j) = 0 and L(:,j) = 0).
struct KnownLu {
  int m, n, lda;
  std::vector<double> a;   // the matrix, lda >= m, padding filled with a marker
  std::vector<double> lu;  // the expected factors, same storage
  std::vector<int> ipiv;   // the expected pivots
};

inline KnownLu make_known_lu(int m, int n, int pad, std::uint64_t seed,
                             const std::set<int>& ties = {}, const std::set<int>& zeros = {}) {
  const int mn = std::min(m, n), lda = m + pad;
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> l(static_cast<std::size_t>(m) * mn, 0.0),
      u(static_cast<std::size_t>(mn) * n, 0.0);
  std::vector<int> tie_row(mn, -1);
  for (int j = 0; j < mn; ++j) {
    l[j + static_cast<std::size_t>(j) * m] = 1.0;
    if (zeros.count(j + 1) != 0) continue;
    for (int i = j + 1; i < m; ++i)
      l[i + static_cast<std::size_t>(j) * m] = 0.25 * (below(r, 5) - 2);
    if (ties.count(j + 1) != 0 && j + 1 < m) {
      tie_row[j] = j + 1 + below(r, m - j - 1);
      l[tie_row[j] + static_cast<std::size_t>(j) * m] = below(r, 2) ? 1.0 : -1.0;
    }
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < std::min(j, mn); ++i)
      u[i + static_cast<std::size_t>(j) * mn] = below(r, 9) - 4;
    if (j < mn) {
      const double d = (below(r, 2) ? 1.0 : -1.0) * (1 << below(r, 3));
      u[j + static_cast<std::size_t>(j) * mn] = zeros.count(j + 1) != 0 ? 0.0 : d;
    }
  }
  const std::vector<double> marked(static_cast<std::size_t>(lda) * n, -777.0);
  KnownLu k{m, n, lda, marked, marked, std::vector<int>(mn)};
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      double s = 0;
      for (int p = 0; p <= std::min({i, j, mn - 1}); ++p)
        s += l[i + static_cast<std::size_t>(p) * m] * u[p + static_cast<std::size_t>(j) * mn];
      k.a[i + static_cast<std::size_t>(j) * lda] = s;
      k.lu[i + static_cast<std::size_t>(j) * lda] =
          i > j ? l[i + static_cast<std::size_t>(j) * m] : u[i + static_cast<std::size_t>(j) * mn];
    }
  }
  // Pivots: a random row at or below j, but the pivot row stays in place in a tie column (the
  // tying row is below it, so the rule "first of the largest" must keep it) and for a zero
  // pivot (nothing to choose).  A = P1*P2*...*Pmn*(L*U): the swaps go in from the last.
  for (int j = 0; j < mn; ++j) {
    const bool fixed = tie_row[j] >= 0 || zeros.count(j + 1) != 0;
    k.ipiv[j] = 1 + (fixed ? j : j + below(r, m - j));
  }
  for (int j = mn - 1; j >= 0; --j)
    for (int c = 0; c < n && k.ipiv[j] - 1 != j; ++c)
      std::swap(k.a[j + static_cast<std::size_t>(c) * lda],
                k.a[k.ipiv[j] - 1 + static_cast<std::size_t>(c) * lda]);
  // With A = P1..Pmn*L*U, P'*A = L*U exactly: lu holds the factors LAPACK stores.
  return k;
}

inline std::vector<double> random_matrix(int m, int n, int lda, std::uint64_t seed) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> a(static_cast<std::size_t>(lda) * n, -777.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) a[i + static_cast<std::size_t>(j) * lda] = uniform(r);
  return a;
}

// G*G' for a random n x r G (rank r): the uplo triangle ('A': both), NaN in the other.
inline std::vector<double> gram(int n, int r, char uplo, std::uint64_t seed) {
  const std::vector<double> g = random_matrix(n, std::max(r, 1), n, seed);
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < r; ++p) s += g[i + p * n] * g[j + p * n];
      a[i + static_cast<std::size_t>(j) * n] =
          uplo == 'A' || (uplo == 'U' ? i <= j : i >= j) ? s : kNaN;
    }
  return a;
}

// max over columns of sum |x - y| (y may be null: then the norm of x).
inline double one_norm_diff(int rows, int cols, const double* x, int ldx, const double* y,
                            int ldy) {
  double worst = 0;
  for (int j = 0; j < cols; ++j) {
    double s = 0;
    for (int i = 0; i < rows; ++i)
      s += std::fabs(x[i + static_cast<std::size_t>(j) * ldx] -
                     (y != nullptr ? y[i + static_cast<std::size_t>(j) * ldy] : 0.0));
    worst = std::max(worst, s);
  }
  return worst;
}

// ||Q'*Q - I||_1 / (m * eps) for the m x n Q.
inline double orthogonality(int m, int n, const double* q, int ldq) {
  std::vector<double> g(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) g[i * (n + 1)] = -1.0;
  const double one = 1.0;
  if (n > 0) ztr_blas_dgemm("T", "N", &n, &n, &m, &one, q, &ldq, q, &ldq, &one, g.data(), &n);
  return one_norm_diff(n, n, g.data(), n, nullptr, 0) / (std::max(m, 1) * kUnitRoundoff);
}

// max_i |w_i - oracle_i| / (norm * n * eps) over m values (oracle double or long double).
template <class T>
double value_error(double norm, int n, const double* w, const T* oracle, int m) {
  long double worst = 0;
  for (int i = 0; i < m; ++i)
    worst = std::max(worst, std::fabs(w[i] - static_cast<long double>(oracle[i])));
  if (norm == 0) return worst == 0 ? 0 : 1e300;
  return static_cast<double>(worst / (norm * n * kUnitRoundoff));
}

// The m x n column-major matrix (ld lda) as row-major data with leading dimension ldr, the
// padding -555.
inline std::vector<double> to_rows(int m, int n, const std::vector<double>& a, int lda, int ldr) {
  std::vector<double> r(static_cast<std::size_t>(m) * ldr, -555.0);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) r[i * ldr + j] = a[i + j * lda];
  return r;
}

// Largest difference between the column-major c (ld ldc) and the row-major r (ld ldr), over
// the largest entry; 1e300 when the row-major padding is not -555 any more.
inline double layout_difference(int m, int n, const std::vector<double>& c, int ldc,
                                const std::vector<double>& r, int ldr) {
  double diff = 0, big = 0;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      diff = std::max(diff, std::fabs(c[i + j * ldc] - r[i * ldr + j]));
      big = std::max(big, std::fabs(c[i + j * ldc]));
    }
    for (int j = n; j < ldr; ++j)
      if (r[i * ldr + j] != -555.0) return 1e300;
  }
  return diff / big;
}

}  // namespace ztr::test
