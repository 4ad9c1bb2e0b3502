// Test support for the matrix multiply: random operands with padded leading dimensions, and
// an entrywise check against a product accumulated in long double.
//
// Bound: each entry of alpha*op(A)*op(B) + beta*C is a sum of k+1 terms, computed in any
// blocking order with separate roundings of every product and sum (and alpha folded into A
// first), so |C - Cref| <= c*(k+2)*eps*(|alpha|*(|A||B|)ij + |beta|*|Cij|) with a small c.
// Padding rows of A, B (NaN) and C (a sentinel) check that nothing outside the matrices is
// read or written.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace ztr::test {

inline constexpr double kCSentinel = 12345.0;

struct GemmProblem {
  char ta = 'N', tb = 'N';
  int m = 0, n = 0, k = 0;
  double alpha = 1.0, beta = 0.0;
  int lda = 1, ldb = 1, ldc = 1;
  std::vector<double> a, b, c0;  // c0: C before the call
};

inline bool gemm_notrans(char t) { return t == 'N' || t == 'n'; }

inline GemmProblem make_gemm(char ta, char tb, int m, int n, int k, double alpha, double beta,
                             int pad = 0, unsigned seed = 1) {
  GemmProblem p;
  p.ta = ta;
  p.tb = tb;
  p.m = m;
  p.n = n;
  p.k = k;
  p.alpha = alpha;
  p.beta = beta;
  const int ar = gemm_notrans(ta) ? m : k, ac = gemm_notrans(ta) ? k : m;
  const int br = gemm_notrans(tb) ? k : n, bc = gemm_notrans(tb) ? n : k;
  p.lda = std::max(1, ar) + pad;
  p.ldb = std::max(1, br) + pad;
  p.ldc = std::max(1, m) + pad;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  p.a.assign(static_cast<std::size_t>(p.lda) * std::max(ac, 1), nan);
  p.b.assign(static_cast<std::size_t>(p.ldb) * std::max(bc, 1), nan);
  p.c0.assign(static_cast<std::size_t>(p.ldc) * std::max(n, 1), kCSentinel);
  for (int j = 0; j < ac; ++j)
    for (int i = 0; i < ar; ++i) p.a[i + static_cast<std::size_t>(j) * p.lda] = u(gen);
  for (int j = 0; j < bc; ++j)
    for (int i = 0; i < br; ++i) p.b[i + static_cast<std::size_t>(j) * p.ldb] = u(gen);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) p.c0[i + static_cast<std::size_t>(j) * p.ldc] = u(gen);
  return p;
}

inline double op_at(const std::vector<double>& x, int ld, char t, int i, int j) {
  return gemm_notrans(t) ? x[i + static_cast<std::size_t>(j) * ld]
                         : x[j + static_cast<std::size_t>(i) * ld];
}

// The expected C and the error bound of every entry (padding rows: the old value, bound -1).
struct GemmReference {
  std::vector<double> value, bound;
};

inline GemmReference gemm_reference(const GemmProblem& p, double factor = 4.0) {
  const double eps = std::numeric_limits<double>::epsilon();
  GemmReference r{p.c0, std::vector<double>(p.c0.size(), -1.0)};
  for (int j = 0; j < p.n; ++j) {
    for (int i = 0; i < p.m; ++i) {
      const std::size_t at = i + static_cast<std::size_t>(j) * p.ldc;
      long double s = 0, abs_s = 0;
      for (int l = 0; l < p.k; ++l) {
        const long double t = static_cast<long double>(op_at(p.a, p.lda, p.ta, i, l)) *
                              op_at(p.b, p.ldb, p.tb, l, j);
        s += t;
        abs_s += std::fabs(t);
      }
      long double ref = static_cast<long double>(p.alpha) * s;
      long double mag = std::fabs(p.alpha) * abs_s;
      if (p.beta != 0.0) {
        ref += static_cast<long double>(p.beta) * p.c0[at];
        mag += std::fabs(p.beta * p.c0[at]);
      }
      r.value[at] = static_cast<double>(ref);
      // The rounding of ref itself is covered by one more eps.
      r.bound[at] = static_cast<double>(factor * (p.k + 2) * eps * mag + eps * std::fabs(ref));
    }
  }
  return r;
}

inline ::testing::AssertionResult gemm_matches(const GemmProblem& p, const GemmReference& r,
                                               const std::vector<double>& c) {
  for (int j = 0; j < p.n; ++j) {
    for (int i = 0; i < p.ldc; ++i) {
      const std::size_t at = i + static_cast<std::size_t>(j) * p.ldc;
      if (r.bound[at] < 0) {
        if (std::memcmp(&c[at], &p.c0[at], sizeof(double)) != 0)
          return ::testing::AssertionFailure() << "padding of C written at (" << i << "," << j << ")";
        continue;
      }
      if (!(std::fabs(c[at] - r.value[at]) <= r.bound[at]))
        return ::testing::AssertionFailure()
               << "C(" << i << "," << j << ") = " << c[at] << ", expected " << r.value[at]
               << " within " << r.bound[at] << " [" << p.ta << p.tb << " m=" << p.m
               << " n=" << p.n << " k=" << p.k << " alpha=" << p.alpha << " beta=" << p.beta << "]";
    }
  }
  return ::testing::AssertionSuccess();
}

// Checks column-major C against the problem's product.
inline ::testing::AssertionResult gemm_matches(const GemmProblem& p, const std::vector<double>& c) {
  return gemm_matches(p, gemm_reference(p), c);
}

// Runs `fn` (the thirteen arguments by address) on a copy of C and checks the result.
template <typename Fn>
::testing::AssertionResult gemm_run_and_check(const GemmProblem& p, const GemmReference& r, Fn fn) {
  std::vector<double> c = p.c0;
  fn(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda, p.b.data(), &p.ldb, &p.beta,
     c.data(), &p.ldc);
  return gemm_matches(p, r, c);
}
template <typename Fn>
::testing::AssertionResult gemm_run_and_check(const GemmProblem& p, Fn fn) {
  return gemm_run_and_check(p, gemm_reference(p), fn);
}

}  // namespace ztr::test
