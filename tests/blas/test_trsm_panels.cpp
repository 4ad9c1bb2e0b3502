// The triangular solve on packed panels: triangles of several diagonal blocks (the last one
// narrower), B of several cache strips, leading dimensions with padding, for every processor
// variant and without memory for the panels.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "blas/level3/level3.h"
#include "testalloc.h"
#include "tests/support/test_support.h"
#include "tests/blas/typed_reference.h"

namespace ztr::test {
namespace {

// Solves op(A)*X = alpha*B or X*op(A) = alpha*B for every option, A of order 200 (blocks of
// 32 and 128, the last ones narrower), B of 600 rows or columns (strips of 256); returns the
// number of wrong entries of X (by residual) and writes outside B's rows.
int panel_failures() {
  std::mt19937 gen(11);
  int bad = 0;
  for (int c = 0; c < 16; ++c) {
    const char opts[] = {"LR"[c / 8], "UL"[c / 4 % 2], "NT"[c / 2 % 2], "NU"[c % 2], 0};
    const bool left = opts[0] == 'L';
    const int m = left ? 200 : 600, n = left ? 600 : 200, na = left ? m : n;
    const int lda = na + 3, ldb = m + 2;
    const auto a = triangle<double>(na, lda, opts[1], opts[3], gen);
    const auto b0 = random_vector(static_cast<size_t>(ldb) * n, gen);
    auto x = b0;
    const double alpha = -1.5;
    ztr_blas_dtrsm(&opts[0], &opts[1], &opts[2], &opts[3], &m, &n, &alpha, a.data(), &lda, x.data(),
                   &ldb);
    const int miss = triangular_misses(true, opts, m, n, alpha, a, lda, b0, x, ldb);
    if (miss != 0) std::printf("%s: %d wrong\n", opts, miss);
    bad += miss;
  }
  return bad;
}

ZTR_CHILD(trsm_panels) {
  return panel_failures();
}

// Without the panels, and (once the one-time allocations are made) with the panels but not
// the second buffer of the first call (side 'L'): the recursive solve, the failure reported,
// nothing leaked.
ZTR_CHILD(trsm_panels_without_memory) {
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_above(1);
  int bad = panel_failures();
  ztr_testalloc_reset();
  bad += panel_failures();
  ztr_testalloc_fail_nth(2, 0);
  bad += panel_failures();
  ztr_testalloc_reset();
  return bad + (ztr_testalloc_live() != live);
}

TEST(TrsmPanels, EveryOptionProcessorVariantAndWithoutMemory) {
  for (int v = 0; v < runnable_variants(); ++v) {
    const std::string type = std::to_string(kCpuTypeMin + v);
    const auto r = run_child("trsm_panels", {"ZTR_NUM_THREADS=1", "ZTR_DEBUG_CPU_TYPE=" + type});
    EXPECT_EQ(r.exit_code, 0) << "CpuType " << type << "\n" << r.out;
  }
  const auto r =
      run_child("trsm_panels_without_memory", {"ZTR_NUM_THREADS=1", "ZTR_DISABLE_FAST_MM=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("DTRSM"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ztr::test
