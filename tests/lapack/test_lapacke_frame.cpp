// The LAPACKE frame with a stand-in driver: info adjustment, row-major copies and the
// leading-dimension checks, workspace queries.  (The exports' allocation failures, which go
// through the frame, are swept in test_lapacke_allocation.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lapack/lapacke/lapacke_frame.h"
#include "testalloc.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// A column-major "driver": a(i, j) += 100*i + j on an m x n matrix, returning `info`.
struct AddDriver {
  int m, n, info;
  int calls = 0;
  int seen_ld = 0;
  int operator()(double* const* arrays, const int* lds) {
    ++calls;
    seen_ld = lds[0];
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) arrays[0][i + j * lds[0]] += 100.0 * i + j;
    return info;
  }
};

LapackeMatrix general(double* a, int m, int n, int ld, int ld_t) {
  return {a, m, n, ld, 5, ld_t, LapackeMatrix::Kind::General, 'N', true, true, true};
}

TEST(LapackeWork, ColumnMajorPassesThroughAndAdjustsInfo) {
  const int m = 3, n = 2, lda = 4;
  std::vector<double> a(lda * n, 1.0);
  for (int info : {0, 2, -3}) {
    AddDriver d{m, n, info};
    LapackeMatrix mat = general(a.data(), m, n, lda, m);
    EXPECT_EQ(lapacke_work("LAPACKE_x_work", kLapackeColMajor, &mat, 1, false, d),
              info < 0 ? info - 1 : info);
    EXPECT_EQ(d.seen_ld, lda);
  }
  EXPECT_EQ(a[2 + 1 * lda], 1.0 + 3 * 201.0);
  EXPECT_EQ(a[3 + 1 * lda], 1.0);  // beyond m: untouched
}

TEST(LapackeWork, RowMajorMatchesColumnMajor) {
  const int m = 5, n = 3, lda = 7;  // row-major: m rows of lda entries
  std::vector<double> a(m * lda, -1.0);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) a[i * lda + j] = i * 10 + j;
  AddDriver d{m, n, 4};
  LapackeMatrix mat = general(a.data(), m, n, lda, m);
  const long live = ztr_testalloc_live();
  EXPECT_EQ(lapacke_work("LAPACKE_x_work", kLapackeRowMajor, &mat, 1, false, d), 4);
  EXPECT_EQ(ztr_testalloc_live(), live);
  EXPECT_EQ(d.seen_ld, m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) EXPECT_EQ(a[i * lda + j], i * 10 + j + 100.0 * i + j);
    for (int j = n; j < lda; ++j) EXPECT_EQ(a[i * lda + j], -1.0);
  }
}

TEST(LapackeWork, RowMajorLeadingDimensionAndQuery) {
  const int m = 4, n = 3;
  std::vector<double> a(m * n, 0.0);
  AddDriver d{0, 0, 0};
  LapackeMatrix bad = general(a.data(), m, n, n - 1, m);
  CaptureStdout();
  EXPECT_EQ(lapacke_work("LAPACKE_dgetrf_work", kLapackeRowMajor, &bad, 1, false, d), -5);
  EXPECT_EQ(GetCapturedStdout(), "Wrong parameter 5 in LAPACKE_dgetrf_work\n");
  EXPECT_EQ(d.calls, 0);
  // A query runs on the caller's array with the copy's leading dimension, without copies.
  LapackeMatrix q = general(a.data(), m, n, n, m);
  const long requests = ztr_testalloc_requests();
  EXPECT_EQ(lapacke_work("LAPACKE_x_work", kLapackeRowMajor, &q, 1, true, d), 0);
  EXPECT_EQ(d.seen_ld, m);
  EXPECT_EQ(ztr_testalloc_requests(), requests);
}

TEST(LapackeWork, TriangleCopiesOnlyTheTriangle) {
  const int n = 4, lda = 5;
  std::vector<double> a(n * lda, 0.0);
  for (int i = 0; i < n * lda; ++i) a[i] = i;
  // Row-major upper: (i, j) with j >= i at a[i*lda + j].
  LapackeMatrix mat{a.data(), n,    n,    lda, 5, n, LapackeMatrix::Kind::Triangle,
                    'U',      true, true, true};
  auto scale_upper = [&](double* const* arrays, const int* lds) {
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i) arrays[0][i + j * lds[0]] *= 2;
    return 0;
  };
  EXPECT_EQ(lapacke_work("LAPACKE_dpstrf_work", kLapackeRowMajor, &mat, 1, false, scale_upper), 0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < lda; ++j)
      EXPECT_EQ(a[i * lda + j], (j >= i && j < n) ? 2.0 * (i * lda + j) : i * lda + j);
}

TEST(LapackeWorkspace, QueryAllocateCallRelease) {
  // The `_work` stand-in asks for 10.7 doubles (truncated to 10) and 3 ints.
  std::vector<int> seen;
  auto work = [&](double* w, int lw, int* iw, int liw) {
    if (lw == -1) {
      *w = 10.7;
      *iw = 3;
      return 0;
    }
    seen = {lw, liw};
    for (int i = 0; i < lw; ++i) w[i] = 1;
    for (int i = 0; i < liw; ++i) iw[i] = 1;
    return 7;
  };
  const long live = ztr_testalloc_live();
  EXPECT_EQ(lapacke_with_workspace("LAPACKE_dsyevd", true, work), 7);
  EXPECT_EQ(seen, (std::vector<int>{10, 3}));
  EXPECT_EQ(ztr_testalloc_live(), live);

  // A zero-size answer still gets one element, and is told so; a failed query is returned
  // as it is.
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
