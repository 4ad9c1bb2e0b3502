// LAPACKE_dgeqrf, LAPACKE_dorgqr and LAPACKE_dpstrf end to end: NaN scans, row-major results
// equal to column-major ones, the leading-dimension and driver errors with their codes and
// texts, allocation failures without leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "include/ztr.h"
#include "qr_checks.h"
#include "error_text.h"
#include "testalloc.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using test::kNaN;

using test::to_rows;

// Largest difference between the column-major c (ld ldc) and the row-major r (ld ldr), over
// the largest entry; the row-major padding must be untouched.
double layout_difference(int m, int n, const std::vector<double>& c, int ldc,
                         const std::vector<double>& r, int ldr) {
  double diff = 0, big = 0;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      diff = std::max(diff, std::fabs(c[i + j * ldc] - r[i * ldr + j]));
      big = std::max(big, std::fabs(c[i + j * ldc]));
    }
    for (int j = n; j < ldr; ++j)
      if (r[i * ldr + j] != -555.0) return 1e300;
  }
  return diff / big;
}

// Row-major results equal the column-major ones (the factorization's and Q's numbers are
// the drivers' tests' business); the row-major padding stays as it was.
TEST(LapackeQr, RowMajorEqualsColumnMajor) {
  for (auto [m, n] : std::initializer_list<std::pair<int, int>>{{90, 60}, {230, 230}}) {  // m >= n
    const int k = std::min(m, n), ldr = n + 3;
    std::vector<double> c = test::qr_matrix(m, n, m, m * n), r = to_rows(m, n, c, m, ldr);
    std::vector<double> tau_c(k), tau_r(k);
    EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, c.data(), m, tau_c.data()), 0);
    EXPECT_EQ(LAPACKE_dgeqrf(ZTR_ROW_MAJOR, m, n, r.data(), ldr, tau_r.data()), 0);
    EXPECT_LT(layout_difference(m, n, c, m, r, ldr), 1e-12);
    EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, m, k, k, c.data(), m, tau_c.data()), 0);
    EXPECT_EQ(LAPACKE_dorgqr(ZTR_ROW_MAJOR, m, k, k, r.data(), ldr, tau_r.data()), 0);
    EXPECT_LT(layout_difference(m, k, c, m, r, ldr), 1e-12);
  }
}

TEST(LapackeQr, PivotedCholeskyInBothLayouts) {
  // Row-major 'U' data is the column-major 'L' triangle of the same array: the same matrix,
  // the same pivots and rank, the factor in the same places.
  const int n = 150, r = 60;
  std::vector<double> g = test::random_matrix(n, r, n, 8), a(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < r; ++p) s += g[i + p * n] * g[j + p * n];
      a[i + static_cast<std::size_t>(j) * n] = i >= j ? s : kNaN;  // NaN: never read
    }
  std::vector<double> rows = a;
  std::vector<int> piv_c(n), piv_r(n);
  int rank_c = -1, rank_r = -1;
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a.data(), n, piv_c.data(), &rank_c, -1.0), 1);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_ROW_MAJOR, 'u', n, rows.data(), n, piv_r.data(), &rank_r, -1.0), 1);
  EXPECT_EQ(rank_c, r);
  EXPECT_EQ(rank_r, r);
  EXPECT_EQ(piv_c, piv_r);
  double diff = 0;
  for (int j = 0; j < r; ++j)
    for (int i = j; i < n; ++i) diff = std::max(diff, std::fabs(a[i + j * n] - rows[i + j * n]));
  EXPECT_LT(diff, 1e-10);
  for (int j = 0; j < n; ++j)  // the other triangle is left alone in either layout
    for (int i = 0; i < j; ++i)
      ASSERT_TRUE(std::isnan(a[i + j * n]) && std::isnan(rows[i + j * n]));
  // tol NaN is rejected before anything is read.
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a.data(), n, piv_c.data(), &rank_c, kNaN), -8);
}

TEST(LapackeQr, NaNScansCodesAndMessages) {
  std::vector<double> a = {1, 2, 3, kNaN, 5, 6},
                      tau = {0.5, 0.5,
                             0.5};  // k entries are scanned, also for a k the driver rejects
  int piv[3], rank = 0;
  const long requests = ztr_testalloc_requests();
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 3, 2, a.data(), 3, tau.data()), -4);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 2, a.data(), 3, tau.data()), -5);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'U', 2, a.data(), 3, piv, &rank, 0.0), -4);
  EXPECT_EQ(ztr_testalloc_requests(), requests);
  std::vector<double> q = {1, 0, 0, 0, 1, 0};
  std::vector<double> bad_tau = {0.0, kNaN};
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 2, q.data(), 3, bad_tau.data()), -7);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 1, q.data(), 3, bad_tau.data()), 0);
  // Not scanned: rows m..lda-1 of column-major data, the other triangle.
  std::vector<double> b = {4, 1, kNaN, 1, 3, kNaN};
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 2, 2, b.data(), 3, tau.data()), 0);
  std::vector<double> s = {4, kNaN, 1, 3};
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'U', 2, s.data(), 2, piv, &rank, -1.0), 0);
  EXPECT_EQ(rank, 2);

  std::vector<double> c(12, 1.0);
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgeqrf(99, 3, 2, c.data(), 3, tau.data()), -1);
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_ROW_MAJOR, 3, 2, c.data(), 1, tau.data()), -5);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_ROW_MAJOR, 3, 2, 1, c.data(), 1, tau.data()), -6);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_ROW_MAJOR, 'U', 3, c.data(), 2, piv, &rank, 0.0), -5);
  EXPECT_EQ(GetCapturedStdout(),
            "Wrong parameter 1 in LAPACKE_dgeqrf\n"
            "Wrong parameter 5 in LAPACKE_dgeqrf_work\n"
            "Wrong parameter 6 in LAPACKE_dorgqr_work\n"
            "Wrong parameter 5 in LAPACKE_dpstrf_work\n");
  // The drivers' own checks: their position plus one.
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 2, 3, 1, c.data(), 2, tau.data()), -3);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 3, c.data(), 3, tau.data()), -4);
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 3, 2, c.data(), 2, tau.data()), -5);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'X', 2, c.data(), 2, piv, &rank, 0.0), -2);
  EXPECT_EQ(GetCapturedStdout(),
            "\nZTR ERROR: Parameter 2 was incorrect on entry to DORGQR.\n"
            "\nZTR ERROR: Parameter 3 was incorrect on entry to DORGQR.\n"
            "\nZTR ERROR: Parameter 4 was incorrect on entry to DGEQRF.\n"
            "\nZTR ERROR: Parameter 1 was incorrect on entry to DPSTRF.\n");
  for (double v : c) EXPECT_EQ(v, 1.0);
}

}  // namespace
}  // namespace ztr
