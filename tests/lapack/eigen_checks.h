// What the symmetric eigensolver tests share: tridiagonal matrices that stress them, symmetric
// matrices with a known spectrum (Q*T*Q' in long double), a long-double bisection oracle, and
// the scaled ratios |w - oracle|, ||A*z - w*z||, ||Z'*Z - I||.
#pragma once

#include "blas/gemm/gemm.h"
#include "lapack/sytrd/sytrd.h"
#include "lu_matrices.h"

namespace ztr::test {

// Ratios in units of n * eps * ||A|| (eps the unit roundoff); the LAPACK test suites allow 30
// in units of n * ulp, which is 60 here.  Orthogonality of vectors from relatively robust
// representations is only guaranteed to O(n eps / minrgp) (minrgp = 1e-3, the relative gap
// that makes an eigenvalue a singleton); pairs just above that gap reach 80 on the matrices
// here, hence 200 for them.
constexpr double kValueBound = 30.0;
constexpr double kResidualBound = 60.0;
constexpr double kOrthoBound = 30.0;
constexpr double kMrrrOrthoBound = 200.0;

struct Tridiagonal {
  std::string name;
  std::vector<double> d, e;  // e has n entries, the last one unused
  int n() const { return static_cast<int>(d.size()); }
};

inline double tri_norm(const Tridiagonal& t) {
  double r = 0;
  for (int i = 0; i < t.n(); ++i)
    r = std::max(r, std::fabs(t.d[i]) + (i > 0 ? std::fabs(t.e[i - 1]) : 0.0) +
                        (i + 1 < t.n() ? std::fabs(t.e[i]) : 0.0));
  return r;
}

inline Tridiagonal random_tridiagonal(std::string name, int n, std::uint64_t seed) {
  Tridiagonal t{std::move(name), {}, {}};
  Rng r(static_cast<Rng::result_type>(seed));
  for (int i = 0; i < n; ++i) t.d.push_back(uniform(r)), t.e.push_back(i + 1 < n ? uniform(r) : 0);
  return t;
}

// Copies of the Wilkinson-like block |h - i| (i = 0..2h), glued by `glue`: close pairs.
inline Tridiagonal glued(int copies, int h, double glue) {
  Tridiagonal t{"glued_" + std::to_string(h), {}, {}};
  for (int c = 0; c < copies; ++c)
    for (int i = 0; i <= 2 * h; ++i) {
      t.d.push_back(std::fabs(static_cast<double>(h - i)));
      t.e.push_back(i == 2 * h ? glue : 1.0);
    }
  return t;
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
      (count(mid) > k ? hi : lo) = mid;
    }
    w[k] = 0.5L * (lo + hi);
  }
  return w;
}

// Every non-zero entry of each of the m vectors lies inside its isuppz range (one-based).
inline bool supports_cover(int n, int m, const double* z, int ldz, const int* isuppz) {
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < n; ++i)
      if ((i + 1 < isuppz[2 * j] || i + 1 > isuppz[2 * j + 1]) &&
          z[i + static_cast<std::size_t>(j) * ldz] != 0.0)
        return false;
  return true;
}

// A random orthogonal n x n matrix (product of n reflectors); with split < n block diagonal,
// blocks 0..split-1 and split..n-1.
inline std::vector<double> random_orthogonal(int n, std::uint64_t seed, int split = -1) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> q(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) q[i + static_cast<std::size_t>(i) * n] = 1.0;
  std::vector<double> v(n);
  for (int h = 0; h < n; ++h) {
    double norm2 = 0;
    for (int i = 0; i < n; ++i) {
      v[i] = split > 0 && (i < split) != (h % 2 == 0) ? 0.0 : uniform(r);
      norm2 += v[i] * v[i];
    }
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

// A = Q*T*Q' in long double, both triangles, lda >= n (padding NaN so that reads outside the
// matrix show); its eigenvalues are T's to a few units of n * eps * ||T||.
inline std::vector<double> dense_from(const Tridiagonal& t, int lda, std::uint64_t seed,
                                      int split = -1) {
  const int n = t.n();
  const std::vector<double> q = random_orthogonal(n, seed, split);
  auto Q = [&](int i, int k) {
    return static_cast<long double>(q[i + static_cast<std::size_t>(k) * n]);
  };
  std::vector<double> a(static_cast<std::size_t>(lda) * std::max(n, 1), kNaN);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      long double s = 0;
      for (int k = 0; k < n; ++k) {
        long double tk = t.d[k] * Q(j, k);
        if (k > 0) tk += t.e[k - 1] * Q(j, k - 1);
        if (k + 1 < n) tk += t.e[k] * Q(j, k + 1);
        s += Q(i, k) * tk;
      }
      a[i + static_cast<std::size_t>(j) * lda] = a[j + static_cast<std::size_t>(i) * lda] =
          static_cast<double>(s);
    }
  return a;
}

// A tridiagonal with the eigenvalues lambda (to rounding): the library's reduction of
// Q*diag(lambda)*Q' (tested on its own).
inline Tridiagonal with_spectrum(std::string name, const std::vector<long double>& lambda,
                                 std::uint64_t seed) {
  const int n = static_cast<int>(lambda.size());
  Tridiagonal t{std::move(name), std::vector<double>(lambda.begin(), lambda.end()),
                std::vector<double>(n, 0.0)};
  std::vector<double> a = dense_from(t, n, seed), tau(n), work(64 * n);
  int lwork = 64 * n, info = 0;
  ztr_lapack_dsytrd("L", &n, a.data(), &n, t.d.data(), t.e.data(), tau.data(), work.data(), &lwork,
                    &info);
  return t;
}

// The matrices that break careless implementations.
inline std::vector<Tridiagonal> hard_tridiagonals() {
  std::vector<Tridiagonal> out{random_tridiagonal("random", 60, 11), glued(5, 10, 1e-10)};
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
  Tridiagonal graded{"graded", {}, {}};  // positive definite, entries fall by 10 per row
  for (int i = 0; i < 30; ++i) {
    graded.d.push_back(std::pow(10.0, -i));
    graded.e.push_back(0.3 * std::pow(10.0, -i - 0.5));
  }
  out.push_back(graded);
  // Off-diagonals that split the matrix: exact zeros, tiny values, a 1x1 block.
  Tridiagonal split = random_tridiagonal("split", 40, 41);
  for (int i = 0; i < 40; ++i) split.e[i] = i % 9 == 8 ? 0.0 : i % 13 == 12 ? 1e-300 : split.e[i];
  split.e[19] = split.e[20] = 0.0;
  out.push_back(split);
  // 1-2-1 with a repeated diagonal block: eigenvalues 2 - 2cos(k pi / 21) twice.
  Tridiagonal toeplitz{"toeplitz_twice", std::vector<double>(40, 2.0),
                       std::vector<double>(40, -1.0)};
  toeplitz.e[19] = 0.0;
  out.push_back(toeplitz);
  return out;
}

// Spectra for the dense drivers, ascending: random with a pair 1e-10 apart, three values
// repeated, or graded from 1 down to 1e-8.
enum class Spectrum { kRandom, kRepeated, kGraded };
inline Tridiagonal diagonal(int n, Spectrum kind, std::uint64_t seed) {
  Tridiagonal t{std::string("spectrum ").append(std::to_string(static_cast<int>(kind))),
                std::vector<double>(n), std::vector<double>(n, 0.0)};
  Rng r(static_cast<Rng::result_type>(seed));
  const double repeated[3] = {-1.0, 0.5, 2.0};
  for (int i = 0; i < n; ++i)
    t.d[i] = kind == Spectrum::kRandom     ? uniform(r)
             : kind == Spectrum::kRepeated ? repeated[i % 3]
                                           : std::pow(10.0, -8.0 * i / std::max(1, n - 1));
  if (kind == Spectrum::kRandom && n > 3) t.d[2] = t.d[1] + 1e-10;
  std::sort(t.d.begin(), t.d.end());
  return t;
}

// ||A*Z - Z*diag(w)||_1 / (||A||_1 * n * eps) over the m columns of Z, A full symmetric.
inline double eigen_residual(int n, const std::vector<double>& a, int lda, const double* w,
                             const double* z, int ldz, int m) {
  std::vector<double> r(static_cast<std::size_t>(n) * std::max(m, 1));
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < n; ++i) r[i + static_cast<std::size_t>(j) * n] = -z[i + j * ldz] * w[j];
  const double one = 1.0;
  if (m > 0)
    ztr_blas_dgemm("N", "N", &n, &m, &n, &one, a.data(), &lda, z, &ldz, &one, r.data(), &n);
  const double anorm = one_norm_diff(n, n, a.data(), lda, nullptr, 0);
  const double worst = one_norm_diff(n, m, r.data(), n, nullptr, 0);
  return anorm == 0 ? worst : worst / (anorm * n * kUnitRoundoff);
}

using Matrix = std::vector<double>;  // dense n x n, column-major, leading dimension n

inline double& at(Matrix& m, int n, int i, int j) {
  return m[i + static_cast<std::size_t>(j) * n];
}

// op(x)*op(y) by the library's multiply (tested on its own).
inline Matrix mul(int n, const Matrix& x, bool tx, const Matrix& y, bool ty) {
  Matrix c(static_cast<std::size_t>(n) * n);
  const double one = 1.0, zero = 0.0;
  ztr_blas_dgemm(tx ? "T" : "N", ty ? "T" : "N", &n, &n, &n, &one, x.data(), &n, y.data(), &n,
                 &zero, c.data(), &n);
  return c;
}

inline double max_abs(const Matrix& x) {
  double m = 0.0;
  for (double v : x) m = std::max(m, std::fabs(v));
  return m;
}

}  // namespace ztr::test
