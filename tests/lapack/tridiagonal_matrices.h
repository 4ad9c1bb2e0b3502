// Symmetric tridiagonal test matrices that stress eigensolvers, and the long-double oracles
// and residual measures the eigensolver tests share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "lu_matrices.h"

namespace ztr::test {

// Ratios of the eigensolver tests in units of n * eps * ||A|| (eps the unit roundoff); the
// LAPACK test suites allow 30 in units of n * ulp, which is 60 here.  A positive abstol adds
// itself to the error.  Orthogonality (||Z'Z - I||_1) of vectors from relatively robust
// representations is only guaranteed to O(n eps / minrgp) (minrgp = 1e-3, the relative gap
// that makes an eigenvalue a singleton); pairs just above that gap reach 80 on the matrices
// here, so the bound is 200.
constexpr double kValueBound = 10.0;     // |w - oracle|
constexpr double kResidualBound = 60.0;  // ||A z - w z||
constexpr double kOrthoBound = 200.0;    // ||Z^T Z - I|| (in units of n * eps)

struct Tridiagonal {
  std::string name;
  std::vector<double> d, e;  // e has n entries, the last one unused
  int n() const { return static_cast<int>(d.size()); }
};

inline double tri_norm(const Tridiagonal& t) {
  double r = 0;
  for (int i = 0; i < t.n(); ++i) {
    double s = std::fabs(t.d[i]);
    if (i > 0) s += std::fabs(t.e[i - 1]);
    if (i + 1 < t.n()) s += std::fabs(t.e[i]);
    r = std::max(r, s);
  }
  return r;
}

// Lanczos with full reorthogonalisation in long double on diag(lambda) from a random start:
// a tridiagonal whose eigenvalues are lambda to long-double accuracy.
inline Tridiagonal with_spectrum(std::string name, const std::vector<long double>& lambda,
                                 std::uint64_t seed) {
  const int n = static_cast<int>(lambda.size());
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<std::vector<long double>> q(n + 1, std::vector<long double>(n, 0));
  long double nrm = 0;
  for (int i = 0; i < n; ++i) {
    q[0][i] = 0.5L + 0.5L * std::fabs(static_cast<long double>(uniform(r)));
    nrm += q[0][i] * q[0][i];
  }
  for (auto& x : q[0]) x /= std::sqrt(nrm);
  Tridiagonal t{std::move(name), std::vector<double>(n), std::vector<double>(n, 0.0)};
  for (int j = 0; j < n; ++j) {
    std::vector<long double> v(n);
    for (int i = 0; i < n; ++i) v[i] = lambda[i] * q[j][i];
    long double alpha = 0;
    for (int i = 0; i < n; ++i) alpha += q[j][i] * v[i];
    t.d[j] = static_cast<double>(alpha);
    for (int pass = 0; pass < 2; ++pass) {
      for (int k = 0; k <= j; ++k) {
        long double c = 0;
        for (int i = 0; i < n; ++i) c += q[k][i] * v[i];
        for (int i = 0; i < n; ++i) v[i] -= c * q[k][i];
      }
    }
    if (j + 1 == n) break;
    long double beta = 0;
    for (int i = 0; i < n; ++i) beta += v[i] * v[i];
    beta = std::sqrt(beta);
    t.e[j] = static_cast<double>(beta);
    for (int i = 0; i < n; ++i) q[j + 1][i] = v[i] / beta;
  }
  return t;
}

// The matrices that break careless implementations.
inline std::vector<Tridiagonal> hard_tridiagonals() {
  std::vector<Tridiagonal> out;
  {
    Tridiagonal t{"random", {}, {}};
    Rng r(static_cast<Rng::result_type>(11));
    for (int i = 0; i < 60; ++i) {
      t.d.push_back(uniform(r));
      t.e.push_back(uniform(r));
    }
    out.push_back(t);
  }
  {
    // Five Wilkinson W21+ matrices glued by 1e-10: pairs of eigenvalues agree to ~1e-14.
    Tridiagonal t{"glued_wilkinson", {}, {}};
    for (int c = 0; c < 5; ++c) {
      for (int i = 0; i < 21; ++i) {
        t.d.push_back(std::fabs(10.0 - i));
        t.e.push_back(i == 20 ? 1e-10 : 1.0);
      }
    }
    out.push_back(t);
  }
  {
    // Clusters at depths 1e-3, 1e-7, 1e-11, 1e-14 around 1, plus isolated values.
    std::vector<long double> l;
    for (int k = 0; k < 10; ++k) l.push_back(-1.0L + 0.2L * k);
    for (long double depth : {1e-3L, 1e-7L, 1e-11L, 1e-14L})
      for (int k = 0; k < 5; ++k) l.push_back(1.0L + 4 * depth * 1e3L + depth * k);
    out.push_back(with_spectrum("clusters", l, 21));
  }
  {
    // Eigenvalues from 1 down to 1e-15, both signs.
    std::vector<long double> l;
    for (int k = 0; k < 16; ++k) {
      l.push_back(std::pow(10.0L, -k));
      l.push_back(-std::pow(10.0L, -k) * 3);
    }
    out.push_back(with_spectrum("spread", l, 31));
  }
  {
    // Graded, positive definite: entries fall by 10 from row to row.
    Tridiagonal t{"graded", {}, {}};
    for (int i = 0; i < 30; ++i) {
      t.d.push_back(std::pow(10.0, -i));
      t.e.push_back(0.3 * std::pow(10.0, -i - 0.5));
    }
    out.push_back(t);
  }
  {
    // Off-diagonals that split the matrix: exact zeros, tiny values, a 1x1 block.
    Tridiagonal t{"split", {}, {}};
    Rng r(static_cast<Rng::result_type>(41));
    for (int i = 0; i < 40; ++i) {
      t.d.push_back(uniform(r));
      t.e.push_back(i % 9 == 8 ? 0.0 : i % 13 == 12 ? 1e-300 : uniform(r));
    }
    t.e[19] = t.e[20] = 0.0;
    out.push_back(t);
  }
  {
    // 1-2-1 with a repeated diagonal block: eigenvalues 2 - 2cos(k pi / 21) twice.
    Tridiagonal t{"toeplitz_twice", {}, {}};
    for (int i = 0; i < 40; ++i) {
      t.d.push_back(2.0);
      t.e.push_back(i == 19 ? 0.0 : -1.0);
    }
    out.push_back(t);
  }
  return out;
}

// All eigenvalues of T by bisection in long double, ascending.
inline std::vector<long double> oracle_eigenvalues(const Tridiagonal& t) {
  const int n = t.n();
  const long double bound = static_cast<long double>(tri_norm(t)) * 1.01L + 1e-300L;
  auto count = [&](long double x) {
    int c = 0;
    long double p = 1;
    for (int i = 0; i < n; ++i) {
      const long double e2 = i > 0 ? static_cast<long double>(t.e[i - 1]) * t.e[i - 1] : 0.0L;
      p = (t.d[i] - x) - (i > 0 ? e2 / p : 0.0L);
      if (p == 0) p = -1e-4900L;
      if (p < 0) ++c;
    }
    return c;
  };
  std::vector<long double> w(n);
  for (int k = 0; k < n; ++k) {
    long double lo = -bound, hi = bound;
    for (int it = 0; it < 200 && lo < hi; ++it) {
      const long double mid = 0.5L * (lo + hi);
      if (mid == lo || mid == hi) break;
      if (count(mid) > k)
        hi = mid;
      else
        lo = mid;
    }
    w[k] = 0.5L * (lo + hi);
  }
  return w;
}

// max_j ||T z_j - w_j z_j||_1 / (||T|| n eps) over the m columns of Z (rows 0..n-1).
inline double tri_residual(const Tridiagonal& t, int m, const double* w, const double* z, int ldz) {
  const int n = t.n();
  double worst = 0;
  for (int j = 0; j < m; ++j) {
    const double* v = z + static_cast<std::size_t>(j) * ldz;
    double s = 0;
    for (int i = 0; i < n; ++i) {
      long double r = static_cast<long double>(t.d[i] - w[j]) * v[i];
      if (i > 0) r += static_cast<long double>(t.e[i - 1]) * v[i - 1];
      if (i + 1 < n) r += static_cast<long double>(t.e[i]) * v[i + 1];
      s += std::fabs(static_cast<double>(r));
    }
    worst = std::max(worst, s);
  }
  return worst / (std::max(tri_norm(t), 1e-300) * n * kUnitRoundoff);
}

// Every non-zero entry of each of the m vectors lies inside its isuppz range (one-based).
inline bool supports_cover(int n, int m, const double* z, int ldz, const int* isuppz) {
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < n; ++i) {
      const bool inside = i + 1 >= isuppz[2 * j] && i + 1 <= isuppz[2 * j + 1];
      if (!inside && z[i + static_cast<std::size_t>(j) * ldz] != 0.0) return false;
    }
  return true;
}

}  // namespace ztr::test
