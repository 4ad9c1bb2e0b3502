// Test support for the matrix multiply: random operands with padded leading dimensions, judged
// entry by entry against the long-double reference of typed_reference.h.  Padding rows of A
// and B hold NaN and the padding of C a sentinel, so that nothing outside the matrices is read
// or written; with beta = 0, C holds NaN, which must not be read.
#pragma once

#include <algorithm>
#include <cstring>

#include "tests/blas/typed_reference.h"

namespace ztr::test {

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
  auto fill = [&](std::vector<double>& x, int ld, int rows, int cols, double outside, bool nan) {
    x.assign(static_cast<std::size_t>(ld) * std::max(cols, 1), outside);
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i)
        x[i + static_cast<std::size_t>(j) * ld] = nan ? kNaN : uniform(gen);
  };
  fill(p.a, p.lda, ar, ac, kNaN, false);
  fill(p.b, p.ldb, br, bc, kNaN, false);
  fill(p.c0, p.ldc, m, n, 12345.0, beta == 0.0);
  return p;
}

// Entries of C (after the call) that miss alpha*op(A)*op(B) + beta*C0; the padding rows and
// the storage past column n keep their bits.
inline int gemm_misses(const GemmProblem& p, const std::vector<double>& c) {
  auto l = [&](int i, int q) { return op_at(p.a, p.lda, p.ta, i, q); };
  auto r = [&](int q, int j) { return op_at(p.b, p.ldb, p.tb, q, j); };
  const std::size_t used = static_cast<std::size_t>(p.ldc) * p.n;
  return misses_of(c, p.c0, p.ldc, p.m, p.n, p.k, p.alpha, p.beta, l, r, p.k, everywhere) +
         (std::memcmp(c.data() + used, p.c0.data() + used, (c.size() - used) * sizeof(double)) !=
          0);
}

// Runs `fn` (the thirteen arguments by address) on a copy of C; the misses of the result.
template <typename Fn>
int gemm_run(const GemmProblem& p, Fn fn) {
  std::vector<double> c = p.c0;
  fn(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda, p.b.data(), &p.ldb, &p.beta,
     c.data(), &p.ldc);
  return gemm_misses(p, c);
}

}  // namespace ztr::test
