// The LAPACKE layer: the transposing copy kernel in every CpuType variant, and the workspace
// helper with a stand-in driver: it queries, allocates, calls and releases.  (Info
// adjustment, row-major copies of whole matrices and triangles, leading-dimension checks and
// NaN scans are tested through the exports; their allocation failures in
// test_lapacke_allocation.)
#include <gtest/gtest.h>

#include <algorithm>

#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/transpose_copy.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "testalloc.h"
#include "tests/support/test_support.h"

ZTR_DECLARE_VARIANTS(void, transpose_copy,
                     (char, char, int, int, double, const double*, int, double*, int))

namespace ztr {
namespace {

using test::kNaN;
using CopyFn = void (*)(char, char, int, int, double, const double*, int, double*, int);
constexpr CopyFn kVariants[kCpuTypeCount] = ZTR_VARIANTS(transpose_copy);

TEST(TransposeCopy, EveryVariantEveryShape) {
  test::Rng gen(7);
  const int shapes[][2] = {{0, 3}, {1, 1}, {3, 4}, {5, 1}, {17, 9}, {9, 33}, {64, 31}, {70, 45}};
  for (int v = 0; v < kCpuTypeCount; ++v)
    for (const auto& s : shapes)
      for (char ordering : {'C', 'r'}) {
        // Lines of the stored matrix: columns for 'C', rows for 'R'.
        const int lines = ordering == 'C' ? s[1] : s[0], length = ordering == 'C' ? s[0] : s[1];
        const int lda = length + 3;
        std::vector<double> a = test::random_vector(static_cast<size_t>(lda) * lines + 1, gen);
        a[0] = kNaN;  // copied exactly when alpha is 1
        for (char op : {'T', 'c', 'N', 'r'})
          for (double alpha : {1.0, -2.5}) {
            const bool transpose = op == 'T' || op == 'c';
            const int out_lines = transpose ? length : lines;
            const int ldb = (transpose ? lines : length) + 2;
            std::vector<double> b(static_cast<size_t>(ldb) * std::max(out_lines, 1), 99.0);
            kVariants[v](ordering, op, s[0], s[1], alpha, a.data(), lda, b.data(), ldb);
            std::vector<double> want(b.size(), 99.0);  // the padding is left alone
            for (int j = 0; j < lines; ++j)
              for (int i = 0; i < length; ++i)
                want[transpose ? j + i * ldb : i + j * ldb] =
                    alpha == 1.0 ? a[i + j * lda] : alpha * a[i + j * lda];
            for (size_t k = 0; k < b.size(); ++k)
              ASSERT_TRUE(b[k] == want[k] || (std::isnan(b[k]) && std::isnan(want[k])))
                  << v + 2 << ordering << op << s[0] << "x" << s[1] << alpha << " at " << k;
          }
      }
}

TEST(LapackeWorkspace, QueryAllocateCallRelease) {
  // The `_work` stand-in asks for 10.7 doubles (truncated to 10) and 3 ints.
  std::vector<int> seen;
  auto work = [&](double* w, int lw, int* iw, int liw) {
    if (lw == -1) return *w = 10.7, *iw = 3, 0;
    seen = {lw, liw};
    for (int i = 0; i < lw; ++i) w[i] = 1;
    for (int i = 0; i < liw; ++i) iw[i] = 1;
    return 7;
  };
  const long live = ztr_testalloc_live();
  EXPECT_EQ(lapacke_with_workspace("LAPACKE_dsyevd", true, work), 7);
  EXPECT_EQ(seen, (std::vector<int>{10, 3}));
  EXPECT_EQ(ztr_testalloc_live(), live);
  // A zero-size answer still gets one element; a failed query is returned as it is.
  auto zero = [&](double* w, int lw, int*, int) {
    if (lw == -1) *w = 0;
    return lw == -1 ? 0 : (w != nullptr && lw == 1 ? 0 : 1);
  };
  EXPECT_EQ(lapacke_with_workspace("LAPACKE_dgetri", false, zero), 0);
  auto failing_query = [](double*, int, int*, int) { return -4; };
  EXPECT_EQ(lapacke_with_workspace("LAPACKE_dgetri", false, failing_query), -4);
}

}  // namespace
}  // namespace ztr
