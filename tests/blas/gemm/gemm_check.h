// Test support for the matrix multiply: random operands with padded leading dimensions, and
// an entrywise check against the long-double reference product.
//
// Bound: each entry of alpha*op(A)*op(B) + beta*C is a sum of k+1 terms, computed in any
// blocking order with separate roundings of every product and sum (and alpha folded into A
// first), so |C - Cref| <= c*(k+2)*eps*(|alpha|*(|A||B|)ij + |beta|*|Cij|) with a small c.
// Padding rows of A, B (NaN) and C (a sentinel) check that nothing outside the matrices is
// read or written; with beta = 0, C holds NaN, which must not be read.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/test_support.h"

namespace ztr::test {

inline constexpr double kCSentinel = 12345.0;

struct GemmProblem {
  char ta = 'N', tb = 'N';
  int m = 0, n = 0, k = 0;
  double alpha = 1.0, beta = 0.0;
  int lda = 1, ldb = 1, ldc = 1;
  std::vector<double> a, b, c0;  // c0: C before the call
};

inline GemmProblem make_gemm(char ta, char tb, int m, int n, int k, double alpha, double beta,
                             int pad = 0, unsigned seed = 1) {
  GemmProblem p{ta, tb, m, n, k, alpha, beta, 1, 1, 1, {}, {}, {}};
  const int ar = notrans(ta) ? m : k, ac = notrans(ta) ? k : m;
  const int br = notrans(tb) ? k : n, bc = notrans(tb) ? n : k;
  p.lda = std::max(1, ar) + pad;
  p.ldb = std::max(1, br) + pad;
  p.ldc = std::max(1, m) + pad;
  Rng gen(seed);
  auto fill = [&](std::vector<double>& x, int ld, int rows, int cols, double pad_value) {
    x.assign(static_cast<std::size_t>(ld) * std::max(cols, 1), pad_value);
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i) x[i + static_cast<std::size_t>(j) * ld] = uniform(gen);
  };
  fill(p.a, p.lda, ar, ac, kNaN);
  fill(p.b, p.ldb, br, bc, kNaN);
  fill(p.c0, p.ldc, m, n, kCSentinel);
  if (beta == 0.0)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) p.c0[i + static_cast<std::size_t>(j) * p.ldc] = kNaN;
  return p;
}

// The expected C and the error bound of every entry (padding rows: the old value, bound -1).
struct GemmReference {
  std::vector<double> value, bound;
};

inline GemmReference gemm_reference(const GemmProblem& p, double factor = 4.0) {
  GemmReference r{p.c0, std::vector<double>(p.c0.size(), -1.0)};
  for (int j = 0; j < p.n; ++j) {
    for (int i = 0; i < p.m; ++i) {
      const std::size_t at = i + static_cast<std::size_t>(j) * p.ldc;
      const RefEntry e = ref_product(p.ta, p.a.data(), p.lda, p.tb, p.b.data(), p.ldb, p.k, i, j);
      LD ref = static_cast<LD>(p.alpha) * e.value, mag = std::fabs(p.alpha) * e.magnitude;
      if (p.beta != 0.0) {
        ref += static_cast<LD>(p.beta) * p.c0[at];
        mag += std::fabs(p.beta * p.c0[at]);
      }
      r.value[at] = static_cast<double>(ref);
      // The rounding of ref itself is covered by one more eps.
      r.bound[at] = static_cast<double>(factor * (p.k + 2) * kEps * mag + kEps * std::fabs(ref));
    }
  }
  return r;
}

inline ::testing::AssertionResult gemm_matches(const GemmProblem& p, const GemmReference& r,
                                               const std::vector<double>& c) {
  for (std::size_t at = 0; at < c.size(); ++at) {
    const std::size_t i = at % p.ldc, j = at / p.ldc;
    if (r.bound[at] < 0) {
      if (std::memcmp(&c[at], &p.c0[at], sizeof(double)) != 0)
        return ::testing::AssertionFailure() << "padding of C written at (" << i << "," << j << ")";
      continue;
    }
    if (!(std::fabs(c[at] - r.value[at]) <= r.bound[at]))
      return ::testing::AssertionFailure()
             << "C(" << i << "," << j << ") = " << c[at] << ", expected " << r.value[at]
             << " within " << r.bound[at] << " [" << p.ta << p.tb << " m=" << p.m << " n=" << p.n
             << " k=" << p.k << " alpha=" << p.alpha << " beta=" << p.beta << "]";
  }
  return ::testing::AssertionSuccess();
}

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
