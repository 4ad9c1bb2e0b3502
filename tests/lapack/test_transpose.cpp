// The LAPACKE layer's NaN scans and layout conversions, and the transposing copy kernel in
// every CpuType variant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "lapack/lapacke/lapacke_utils.h"
#include "lapack/transpose_copy.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "tests/support/test_support.h"

ZTR_DECLARE_VARIANTS(void, transpose_copy,
                     (char, char, int, int, double, const double*, int, double*, int))

namespace ztr {
namespace {

using test::kNaN;
using CopyFn = void (*)(char, char, int, int, double, const double*, int, double*, int);
constexpr CopyFn kVariants[kCpuTypeCount] = ZTR_VARIANTS(transpose_copy);

bool same(double x, double y) {
  return (std::isnan(x) && std::isnan(y)) || x == y;
}

TEST(TransposeCopy, EveryVariantEveryShape) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> dist(-1, 1);
  const int shapes[][2] = {{0, 3},  {1, 1},  {3, 4},   {4, 4},  {5, 1},
                           {17, 9}, {9, 33}, {64, 31}, {70, 45}};
  for (int v = 0; v < kCpuTypeCount; ++v) {
    for (const auto& s : shapes) {
      const int rows = s[0], cols = s[1];
      for (char ordering : {'C', 'r'}) {
        // Lines of the stored matrix: columns for 'C', rows for 'R'.
        const int lines = (ordering == 'C') ? cols : rows, length = (ordering == 'C') ? rows : cols;
        const int lda = length + 3;
        std::vector<double> a(static_cast<size_t>(lda) * std::max(lines, 1));
        for (double& x : a) x = dist(gen);
        if (!a.empty()) a[0] = kNaN;  // copied exactly when alpha is 1
        for (char op : {'T', 'c', 'N', 'r'}) {
          const bool transpose = op == 'T' || op == 'c';
          for (double alpha : {1.0, -2.5}) {
            // Output lines: for a transpose the roles swap.
            const int out_lines = transpose ? length : lines,
                      out_length = transpose ? lines : length;
            const int ldb = out_length + 2;
            std::vector<double> b(static_cast<size_t>(ldb) * std::max(out_lines, 1), 99.0);
            kVariants[v](ordering, op, rows, cols, alpha, a.data(), lda, b.data(), ldb);
            for (int j = 0; j < lines; ++j)
              for (int i = 0; i < length; ++i) {
                const double want = alpha == 1.0 ? a[i + j * lda] : alpha * a[i + j * lda];
                const double got = transpose ? b[j + i * ldb] : b[i + j * ldb];
                ASSERT_TRUE(same(got, want)) << "variant " << v + 2 << " " << ordering << op << " "
                                             << rows << "x" << cols << " alpha " << alpha;
              }
            // Padding between the rows and the leading dimension is left alone.
            for (int j = 0; j < out_lines; ++j)
              for (int i = out_length; i < ldb; ++i) ASSERT_EQ(b[i + j * ldb], 99.0);
          }
        }
      }
    }
  }
}

TEST(LapackeNanScan, GeneralMatrixScansOnlyTheMatrix) {
  const int m = 3, n = 4, lda = 5;
  std::vector<double> a(lda * n, 1.0);
  EXPECT_FALSE(lapacke_ge_has_nan(kLapackeColMajor, m, n, a.data(), lda));
  a[3 + 2 * lda] = kNaN;  // between m and lda: not part of the matrix
  EXPECT_FALSE(lapacke_ge_has_nan(kLapackeColMajor, m, n, a.data(), lda));
  a[2 + 3 * lda] = kNaN;
  EXPECT_TRUE(lapacke_ge_has_nan(kLapackeColMajor, m, n, a.data(), lda));
  EXPECT_FALSE(lapacke_ge_has_nan(103, m, n, a.data(), lda));
  EXPECT_FALSE(lapacke_ge_has_nan(kLapackeColMajor, m, n, nullptr, lda));
  // Row-major: m rows of lda entries, n of them scanned.
  std::vector<double> r(m * lda, 1.0);
  r[1 * lda + 4] = kNaN;
  EXPECT_FALSE(lapacke_ge_has_nan(kLapackeRowMajor, m, n, r.data(), lda));
  r[2 * lda + 3] = kNaN;
  EXPECT_TRUE(lapacke_ge_has_nan(kLapackeRowMajor, m, n, r.data(), lda));
}

TEST(LapackeNanScan, TriangleAndVector) {
  const int n = 4, lda = 4;
  for (int layout : {kLapackeColMajor, kLapackeRowMajor}) {
    for (char uplo : {'U', 'l'}) {
      // (i, j) of the matrix lives at i + j*lda column-major, i*lda + j row-major.
      auto at = [&](int i, int j) {
        return layout == kLapackeColMajor ? i + j * lda : i * lda + j;
      };
      const bool upper = uplo == 'U';
      std::vector<double> a(lda * n, 0.0);
      a[at(upper ? 3 : 0, upper ? 0 : 3)] = kNaN;  // the unreferenced triangle
      EXPECT_FALSE(lapacke_tr_has_nan(layout, uplo, 'N', n, a.data(), lda));
      a[at(2, 2)] = kNaN;  // the diagonal
      EXPECT_TRUE(lapacke_tr_has_nan(layout, uplo, 'N', n, a.data(), lda));
      EXPECT_FALSE(lapacke_tr_has_nan(layout, uplo, 'u', n, a.data(), lda));
      a[at(upper ? 0 : 3, upper ? 3 : 0)] = kNaN;  // the referenced triangle
      EXPECT_TRUE(lapacke_tr_has_nan(layout, uplo, 'U', n, a.data(), lda));
      EXPECT_FALSE(lapacke_tr_has_nan(layout, 'X', 'N', n, a.data(), lda));
      EXPECT_FALSE(lapacke_tr_has_nan(layout, uplo, 'X', n, a.data(), lda));
    }
  }
  const double x[] = {1, 2, kNaN, 4, 5};
  EXPECT_TRUE(lapacke_vec_has_nan(5, x, 1));
  EXPECT_FALSE(lapacke_vec_has_nan(2, x, 1));
  EXPECT_FALSE(lapacke_vec_has_nan(2, x, -3));  // x[0], x[3]
  EXPECT_TRUE(lapacke_vec_has_nan(2, x, -2));   // x[0], x[2]
  EXPECT_FALSE(lapacke_vec_has_nan(5, x, 0));
}

TEST(LapackeTranspose, RoundTripsAndTriangles) {
  const int m = 7, n = 5, ldr = 9, ldc = 8;
  std::vector<double> row(m * ldr), col(ldc * n, 0.0), back(m * ldr, -1.0);
  for (int i = 0; i < m * ldr; ++i) row[i] = i;
  lapacke_ge_transpose(kLapackeRowMajor, m, n, row.data(), ldr, col.data(), ldc);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) ASSERT_EQ(col[i + j * ldc], row[i * ldr + j]);
  lapacke_ge_transpose(kLapackeColMajor, m, n, col.data(), ldc, back.data(), ldr);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) ASSERT_EQ(back[i * ldr + j], row[i * ldr + j]);
  lapacke_ge_transpose(kLapackeColMajor, m, n, nullptr, ldc, back.data(), ldr);  // no-op

  // A triangle moves into the other layout and nothing outside it is written.
  const int t = 5, ld = 6;
  for (char uplo : {'U', 'L'}) {
    for (char diag : {'N', 'U'}) {
      std::vector<double> in(ld * t), out(ld * t, -7.0);
      for (int i = 0; i < ld * t; ++i) in[i] = i;
      lapacke_tr_transpose(kLapackeColMajor, uplo, diag, t, in.data(), ld, out.data(), ld);
      for (int i = 0; i < t; ++i)
        for (int j = 0; j < t; ++j) {
          const bool inside = (uplo == 'U' ? i <= j : i >= j) && !(diag == 'U' && i == j);
          ASSERT_EQ(out[i * ld + j], inside ? in[i + j * ld] : -7.0) << uplo << diag << i << j;
        }
    }
  }
}

}  // namespace
}  // namespace ztr
