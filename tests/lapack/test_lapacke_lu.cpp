// LAPACKE_dgetrf and LAPACKE_dgetri end to end: layout and NaN checks, row-major results
// equal to column-major ones, leading-dimension errors, allocation failures, empty matrices
// and the driver's own argument errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "lu_matrices.h"
#include "testalloc.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

using test::KnownLu;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using test::kNaN;

using test::to_rows;

TEST(LapackeLu, BadLayoutAndNaNScans) {
  std::vector<double> a = {1, 2, 3, 4};
  int ipiv[2];
  for (int layout : {100, 103}) {
    CaptureStdout();
    EXPECT_EQ(LAPACKE_dgetrf(layout, 2, 2, a.data(), 2, ipiv), -1);
    EXPECT_EQ(LAPACKE_dgetri(layout, 2, a.data(), 2, ipiv), -1);
    EXPECT_EQ(GetCapturedStdout(),
              "Wrong parameter 1 in LAPACKE_dgetrf\nWrong parameter 1 in LAPACKE_dgetri\n");
  }
  // A NaN in the matrix: its position, before anything is allocated or touched.
  std::vector<double> b = {1, 2, 3, kNaN};
  const long requests = ztr_testalloc_requests();
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    EXPECT_EQ(LAPACKE_dgetrf(layout, 2, 2, b.data(), 2, ipiv), -4);
    EXPECT_EQ(LAPACKE_dgetri(layout, 2, b.data(), 2, ipiv), -3);
  }
  EXPECT_EQ(ztr_testalloc_requests(), requests);
  EXPECT_EQ(b[0], 1.0);
  // Beyond the matrix (rows m..lda-1 of column-major data, columns n..lda-1 of row-major
  // data) nothing is scanned.
  std::vector<double> c = {4, 1, kNaN, 1, 3, kNaN};
  EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, 2, 2, c.data(), 3, ipiv), 0);
  std::vector<double> d = {4, 1, kNaN, 1, 3, kNaN};
  EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, 2, 2, d.data(), 3, ipiv), 0);
  EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, 2, d.data(), 3, ipiv), 0);
}

TEST(LapackeLu, RowMajorEqualsColumnMajor) {
  // Exactly known factors (with a zero pivot in one case), so both layouts must agree to the
  // bit; the row-major padding stays as it was.
  struct Shape {
    int m, n;
    std::set<int> zeros;
  };
  for (const Shape& s : {Shape{90, 90, {}}, Shape{120, 70, {}}, Shape{70, 120, {5}}}) {
    KnownLu k = test::make_known_lu(s.m, s.n, 2, s.m + s.n, {1, 33}, s.zeros);
    const int mn = std::min(s.m, s.n), ldr = s.n + 3;
    std::vector<double> rows = to_rows(s.m, s.n, k.a, k.lda, ldr);
    std::vector<int> ipiv_c(mn), ipiv_r(mn);
    const int want = s.zeros.empty() ? 0 : *s.zeros.begin();
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, s.m, s.n, k.a.data(), k.lda, ipiv_c.data()), want);
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, s.m, s.n, rows.data(), ldr, ipiv_r.data()), want);
    EXPECT_EQ(ipiv_c, k.ipiv);
    EXPECT_EQ(ipiv_r, k.ipiv);
    EXPECT_EQ(k.a, k.lu);
    EXPECT_EQ(rows, to_rows(s.m, s.n, k.lu, k.lda, ldr));
    if (s.m != s.n || want != 0) continue;
    // The inverse in both layouts: the same numbers up to rounding (its accuracy is the
    // inverse's own test), and the row-major padding left alone.
    const int n = s.n;
    EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, n, k.a.data(), k.lda, ipiv_c.data()), 0);
    EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, n, rows.data(), ldr, ipiv_r.data()), 0);
    double diff = 0, xmax = 0;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        diff = std::max(diff, std::fabs(rows[i * ldr + j] - k.a[i + j * k.lda]));
        xmax = std::max(xmax, std::fabs(k.a[i + j * k.lda]));
      }
      for (int j = n; j < ldr; ++j) EXPECT_EQ(rows[i * ldr + j], -555.0);
    }
    EXPECT_LE(diff, 1e-12 * xmax);
  }
}

TEST(LapackeLu, LeadingDimensionsAndDriverErrors) {
  std::vector<double> a(12, 1.0);
  int ipiv[3];
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, 4, 3, a.data(), 2, ipiv), -5);
  EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, 3, a.data(), 2, ipiv), -4);
  EXPECT_EQ(GetCapturedStdout(),
            "Wrong parameter 5 in LAPACKE_dgetrf_work\nWrong parameter 4 in LAPACKE_dgetri_work\n");
  // Column-major: the driver finds the bad lda (its argument 4, and 3 for DGETRI), reports it
  // itself, and LAPACKE returns the position plus one.
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, 4, 3, a.data(), 3, ipiv), -5);
  EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, 3, a.data(), 2, ipiv), -4);
  EXPECT_EQ(GetCapturedStdout(),
            "\nZTR ERROR: Parameter 4 was incorrect on entry to DGETRF.\n"
            "\nZTR ERROR: Parameter 3 was incorrect on entry to DGETRI.\n");
  for (double v : a) EXPECT_EQ(v, 1.0);
  // Empty matrices succeed (the inverse's workspace request is raised to one element).
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    EXPECT_EQ(LAPACKE_dgetrf(layout, 0, 3, a.data(), 3, ipiv), 0);
    EXPECT_EQ(LAPACKE_dgetrf(layout, 3, 0, a.data(), 3, ipiv), 0);
    EXPECT_EQ(LAPACKE_dgetri(layout, 0, a.data(), 1, ipiv), 0);
  }
}

TEST(LapackeLu, AllocationFailuresAreReportedWithoutLeaks) {
  const int n = 6;
  KnownLu k = test::make_known_lu(n, n, 0, 11);
  std::vector<double> rows = to_rows(n, n, k.a, n, n);
  const std::vector<double> rows0 = rows;
  std::vector<int> ipiv(n);
  const long live = ztr_testalloc_live();
  // The transposed copy of a row-major matrix.
  ztr_testalloc_fail_nth(1, 0);
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, n, n, rows.data(), n, ipiv.data()), -1011);
  EXPECT_EQ(GetCapturedStdout(), "Not enough memory to transpose matrix in LAPACKE_dgetrf_work\n");
  EXPECT_EQ(rows, rows0);
  ASSERT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, n, n, rows.data(), n, ipiv.data()), 0);
  const std::vector<double> factored = rows;
  std::vector<double> warm = rows;  // settles the one-time state the size query reads
  ASSERT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, n, warm.data(), n, ipiv.data()), 0);
  // The inverse: its workspace first, then the copy; each failure is reported once.
  ztr_testalloc_fail_nth(1, 0);
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, n, rows.data(), n, ipiv.data()), -1010);
  EXPECT_EQ(GetCapturedStdout(), "Not enough memory to allocate work array in LAPACKE_dgetri\n");
  ztr_testalloc_fail_nth(2, 0);
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, n, rows.data(), n, ipiv.data()), -1011);
  EXPECT_EQ(GetCapturedStdout(), "Not enough memory to transpose matrix in LAPACKE_dgetri_work\n");
  ztr_testalloc_reset();
  EXPECT_EQ(rows, factored);
  EXPECT_EQ(ztr_testalloc_live(), live);
}

// With the buffer pool off every block goes back to the allocator at once, so any block a
// call keeps is a leak: the factorization on the scheduled path (its state and the multiply's
// buffers), the copies of row-major data and the inverse's workspace.
ZTR_CHILD(lapacke_lu_leaks) {
  const int n = 200;
  std::vector<double> a = test::random_matrix(n, n, n, 4);
  std::vector<int> ipiv(n);
  const long live = ztr_testalloc_live();
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    if (LAPACKE_dgetrf(layout, n, n, a.data(), n, ipiv.data()) != 0) return 1;
    if (LAPACKE_dgetri(layout, n, a.data(), n, ipiv.data()) != 0) return 2;
  }
  return ztr_testalloc_live() == live ? 0 : 3;
}

TEST(LapackeLu, NothingIsLeaked) {
  const auto r = test::run_child(
      "lapacke_lu_leaks", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr
