// LAPACKE_dgetrf and LAPACKE_dgetri: layout and NaN checks, row-major results equal to
// column-major ones, leading-dimension errors, empty matrices and the drivers' own argument
// errors.  (Their allocation failures are part of the reliability sweep.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "error_text.h"
#include "include/ztr.h"
#include "lu_matrices.h"
#include "testalloc.h"

namespace ztr {
namespace {

using test::kNaN;

TEST(LapackeLu, CodesMessagesAndNaNScans) {
  struct Case {
    bool inverse;
    int layout, m, n, lda, code;
    std::vector<double> a;
    std::string message;
  };
  const std::vector<double> ones(12, 1.0), nan_last = {1, 2, 3, kNaN};
  // Beyond the matrix (rows m..lda-1 of column-major data, columns n..lda-1 of row-major
  // data) nothing is scanned.
  const std::vector<double> nan_beyond = {4, 1, kNaN, 1, 3, kNaN};
  const std::string wrong = "Wrong parameter ";
  for (const Case& c :
       {Case{false, 100, 2, 2, 2, -1, ones, wrong + "1 in LAPACKE_dgetrf\n"},
        Case{true, 103, 2, 2, 2, -1, ones, wrong + "1 in LAPACKE_dgetri\n"},
        Case{false, ZTR_ROW_MAJOR, 2, 2, 2, -4, nan_last, ""},
        Case{false, ZTR_COL_MAJOR, 2, 2, 2, -4, nan_last, ""},
        Case{true, ZTR_ROW_MAJOR, 2, 2, 2, -3, nan_last, ""},
        Case{true, ZTR_COL_MAJOR, 2, 2, 2, -3, nan_last, ""},
        Case{false, ZTR_COL_MAJOR, 2, 2, 3, 0, nan_beyond, ""},
        Case{false, ZTR_ROW_MAJOR, 2, 2, 3, 0, nan_beyond, ""},
        Case{true, ZTR_ROW_MAJOR, 2, 2, 3, 0, nan_beyond, ""},
        Case{false, ZTR_ROW_MAJOR, 4, 3, 2, -5, ones, wrong + "5 in LAPACKE_dgetrf_work\n"},
        Case{true, ZTR_ROW_MAJOR, 3, 3, 2, -4, ones, wrong + "4 in LAPACKE_dgetri_work\n"},
        // Column-major: the driver finds the bad lda (its argument 4, and 3 for DGETRI),
        // reports it itself, and LAPACKE returns the position plus one.
        Case{false, ZTR_COL_MAJOR, 4, 3, 3, -5, ones, test::xerbla_text("DGETRF", 4)},
        Case{true, ZTR_COL_MAJOR, 3, 3, 2, -4, ones, test::xerbla_text("DGETRI", 3)}}) {
    std::vector<double> a = c.a;
    int ipiv[3] = {1, 2, 3}, info = 0;
    const long requests = ztr_testalloc_requests();
    EXPECT_EQ(test::captured([&] {
                info = c.inverse ? LAPACKE_dgetri(c.layout, c.n, a.data(), c.lda, ipiv)
                                 : LAPACKE_dgetrf(c.layout, c.m, c.n, a.data(), c.lda, ipiv);
              }),
              c.message);
    EXPECT_EQ(info, c.code) << c.message;
    if (info == 0) continue;
    // Rejected before anything is allocated or touched.
    EXPECT_TRUE(!c.message.empty() || ztr_testalloc_requests() == requests);
    EXPECT_EQ(a.size() == 4 ? a[0] : a[11], 1.0);
  }
}

TEST(LapackeLu, RowMajorEqualsColumnMajor) {
  // Exactly known factors (with a zero pivot in one case), so both layouts must agree to the
  // bit; the row-major padding stays as it was.
  struct Shape {
    int m, n;
    std::set<int> zeros;
  };
  for (const Shape& s : {Shape{90, 90, {}}, Shape{120, 70, {}}, Shape{70, 120, {5}}}) {
    test::KnownLu k = test::make_known_lu(s.m, s.n, 2, s.m + s.n, {1, 33}, s.zeros);
    const int mn = std::min(s.m, s.n), ldr = s.n + 3;
    std::vector<double> rows = test::to_rows(s.m, s.n, k.a, k.lda, ldr);
    std::vector<int> ipiv_c(mn), ipiv_r(mn);
    const int want = s.zeros.empty() ? 0 : *s.zeros.begin();
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, s.m, s.n, k.a.data(), k.lda, ipiv_c.data()), want);
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, s.m, s.n, rows.data(), ldr, ipiv_r.data()), want);
    EXPECT_EQ(ipiv_c, k.ipiv);
    EXPECT_EQ(ipiv_r, k.ipiv);
    EXPECT_EQ(k.a, k.lu);
    EXPECT_EQ(rows, test::to_rows(s.m, s.n, k.lu, k.lda, ldr));
    if (s.m != s.n) continue;
    // The inverse in both layouts: the same numbers up to rounding, the padding left alone.
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

}  // namespace
}  // namespace ztr
