// The unit-stride symmetric product in every CpuType variant against a long-double reference:
// orders around its four-column groups and the vector lanes, both triangles (the other one
// NaN), the whole product through dsymv and the same product taken as column shares, each
// share writing only the rows its columns reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "blas/level2/kernels/level2_kernels.h"
#include "tests/blas/reference.h"

namespace ztr {
namespace {

using namespace ztr::test;

using SymvFn = void (*)(char, int, double, const double*, int, const double*, int, double, double*,
                        int);
using ColumnsFn = void (*)(char, int, int, int, double, const double*, int, const double*, double*);
constexpr SymvFn kSymv[] = ZTR_VARIANTS(dsymv);
constexpr ColumnsFn kColumns[] = ZTR_VARIANTS(dsymv_columns);

TEST(Level2, UnitStrideSymvWholeAndByColumnShares) {
  Rng gen(23);
  for (int v = 0; v < runnable_variants(); ++v) {
    for (char uplo : {'U', 'l'}) {
      const bool upper = uplo == 'U';
      for (int n : {1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 18, 35}) {
        SCOPED_TRACE(std::to_string(v) + uplo + std::to_string(n));
        const int lda = n + 2;
        auto a = random_vector(static_cast<std::size_t>(lda) * n, gen);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < lda; ++i)
            if (i >= n || (upper ? i > j : i < j)) a[i + j * lda] = kNaN;
        auto sym = [&](int i, int j) {
          return (upper ? i <= j : i >= j) ? a[i + j * lda] : a[j + i * lda];
        };
        const auto x = random_vector(n, gen), y0 = random_vector(n, gen);
        std::vector<LD> s(n, 0), mag(n, 0);
        for (int i = 0; i < n; ++i)
          for (int k = 0; k < n; ++k) {
            s[i] += static_cast<LD>(sym(i, k)) * x[k];
            mag[i] += std::fabs(sym(i, k) * x[k]);
          }
        for (double beta : {0.0, 2.0}) {
          std::vector<double> y = beta == 0.0 ? std::vector<double>(n, kNaN) : y0;
          kSymv[v](uplo, n, -0.75, a.data(), lda, x.data(), 1, beta, y.data(), 1);
          for (int i = 0; i < n; ++i)
            ASSERT_FALSE(misses(y[i], s[i], mag[i], -0.75, beta, y0[i], n + 2)) << i;
        }
        // Three shares with cuts off the group boundaries add up to y0 + 1.5*A*x.
        const int c1 = n / 3, c2 = std::min(n, 2 * n / 3 + 1);
        std::vector<double> y = y0;
        for (auto [lo, hi] : {std::pair{0, c1}, {c1, c2}, {c2, n}})
          kColumns[v](uplo, n, lo, hi, 1.5, a.data(), lda, x.data(), y.data());
        for (int i = 0; i < n; ++i)
          ASSERT_FALSE(misses(y[i], s[i], mag[i], 1.5, 1.0, y0[i], n + 2)) << i;
        // The middle share alone leaves the rows it does not reach untouched.
        const int r0 = upper ? 0 : c1, r1 = c1 >= c2 ? r0 : (upper ? c2 : n);
        std::vector<double> part(n, kNaN);
        std::fill(part.begin() + r0, part.begin() + r1, 0.0);
        kColumns[v](uplo, n, c1, c2, 1.0, a.data(), lda, x.data(), part.data());
        for (int i = 0; i < n; ++i) ASSERT_EQ(std::isnan(part[i]), i < r0 || i >= r1) << i;
      }
    }
  }
}

}  // namespace
}  // namespace ztr
