// The triangular solve on packed panels: triangles of several diagonal blocks (the last one
// narrower), B of several cache strips, leading dimensions with padding, for every processor
// variant and without memory for the panels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "testalloc.h"
#include "tests/support/test_support.h"
#include "blas/level3/level3.h"

namespace ztr::test {
namespace {

constexpr int kOrder = 200, kSlices = 600, kPad = 3;

// Solves op(A)*X = alpha*B or X*op(A) = alpha*B for every option with one thread; returns the
// number of cases whose residual max|op(A)*X - alpha*B| exceeds 30*order*eps*max(|op(A)|*|X|)
// or which wrote into the padding of B.  A's other triangle, its unit diagonal and padding
// are NaN, so reading them shows in the residual.
int panel_failures() {
  Rng gen(11);
  int bad = 0;
  for (char side : {'L', 'R'})
    for (char uplo : {'U', 'L'})
      for (char trans : {'N', 'T'})
        for (char diag : {'N', 'U'}) {
          const bool left = side == 'L';
          const int m = left ? kOrder : kSlices, n = left ? kSlices : kOrder;
          const int lda = kOrder + kPad, ldb = m + kPad;
          std::vector<double> a(static_cast<size_t>(lda) * kOrder, kNaN);
          for (int j = 0; j < kOrder; ++j)
            for (int i = 0; i < kOrder; ++i)
              if (i == j)
                a[i + j * lda] = diag == 'U' ? kNaN : uniform(gen, 1, 2);
              else if ((i < j) == (uplo == 'U'))
                a[i + j * lda] = uniform(gen) * 2 / kOrder;
          auto b = random_vector(static_cast<size_t>(ldb) * n, gen);
          for (int j = 0; j < n; ++j)
            for (int i = m; i < ldb; ++i) b[i + j * ldb] = kNaN;
          const auto b0 = b;
          const double alpha = -1.5;
          ztr_blas_dtrsm(&side, &uplo, &trans, &diag, &m, &n, &alpha, a.data(), &lda, b.data(),
                         &ldb);
          // op(A)(i, k) with the unit diagonal applied.
          auto op = [&](int i, int k) {
            if (i == k && diag == 'U') return 1.0;
            const bool stored = i == k || ((trans == 'N' ? i < k : k < i) == (uplo == 'U'));
            return stored ? op_at(a.data(), lda, trans, i, k) : 0.0;
          };
          double worst = 0, scale = 0;
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
              double r = -alpha * b0[i + j * ldb], mag = 0;
              for (int k = 0; k < kOrder; ++k) {
                const double t = left ? op(i, k) * b[k + j * ldb] : b[i + k * ldb] * op(k, j);
                r += t;
                mag += std::fabs(t);
              }
              worst = std::fmax(worst, std::isnan(r) ? INFINITY : std::fabs(r));
              scale = std::fmax(scale, mag);
            }
          bool padding = true;
          for (int j = 0; j < n; ++j)
            for (int i = m; i < ldb; ++i) padding = padding && std::isnan(b[i + j * ldb]);
          if (!(worst <= 30 * kOrder * kEps * scale) || !padding) {
            std::printf("%c%c%c%c residual %g scale %g padding %d\n", side, uplo, trans, diag,
                        worst, scale, padding);
            ++bad;
          }
        }
  return bad;
}

ZTR_CHILD(trsm_panels) {
  return panel_failures();
}

ZTR_CHILD(trsm_panels_without_memory) {
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_above(1);
  int bad = panel_failures();
  ztr_testalloc_reset();
  // Once the one-time allocations are made, the first call (side 'L') gets its panels but
  // not its second buffer.
  bad += panel_failures();
  ztr_testalloc_fail_nth(2, 0);
  bad += panel_failures();
  ztr_testalloc_reset();
  return bad + (ztr_testalloc_live() != live);
}

TEST(TrsmPanels, EveryOptionAndProcessorVariant) {
  for (int v = 0; v < runnable_variants(); ++v) {
    const std::string type = std::to_string(kCpuTypeMin + v);
    const auto r = run_child("trsm_panels", {"ZTR_NUM_THREADS=1", "ZTR_DEBUG_CPU_TYPE=" + type});
    EXPECT_EQ(r.exit_code, 0) << "CpuType " << type << "\n" << r.out;
  }
}

// The solve falls back to the recursive algorithm, reports the failed allocation and leaks
// nothing.
TEST(TrsmPanels, WithoutMemoryForThePanels) {
  const auto r =
      run_child("trsm_panels_without_memory", {"ZTR_NUM_THREADS=1", "ZTR_DISABLE_FAST_MM=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("DTRSM"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ztr::test
