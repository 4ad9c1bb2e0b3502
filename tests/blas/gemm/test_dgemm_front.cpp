// The exported entry points: argument checks (position, order, exact message, C untouched),
// the row-major layout of cblas_dgemm, and the alpha/beta special cases through DGEMM.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "tests/blas/gemm/gemm_check.h"

namespace ztr {
namespace {

std::string dgemm_message(int position) {
  return "\nZTR ERROR: Parameter " + std::to_string(position) +
         " was incorrect on entry to DGEMM .\n";
}
std::string cblas_message(int position) {
  return "\nZTR ERROR: Parameter " + std::to_string(position) +
         " was incorrect on entry to cblas_dgemm.\n";
}

struct Args {
  char ta = 'N', tb = 'N';
  int m = 3, n = 4, k = 5, lda = 3, ldb = 5, ldc = 3;
};

// Calls DGEMM with `x`; returns what it printed and checks that C was not touched.
std::string dgemm_output(const Args& x) {
  std::vector<double> a(64, 1.0), b(64, 1.0), c(64, 7.0);
  const double alpha = 1.0, beta = 0.0;
  testing::internal::CaptureStdout();
  DGEMM(&x.ta, &x.tb, &x.m, &x.n, &x.k, &alpha, a.data(), &x.lda, b.data(), &x.ldb, &beta, c.data(),
        &x.ldc);
  const std::string out = testing::internal::GetCapturedStdout();
  if (!out.empty()) {
    for (double v : c) EXPECT_EQ(v, 7.0);
  }
  return out;
}

TEST(DgemmArguments, EveryPositionInOrder) {
  // Defaults: 'N', 'N', m 3, n 4, k 5, lda 3, ldb 5, ldc 3.
  const struct {
    Args args;
    int position;
  } cases[] = {
      {{'X', 'N', -1, 4, 5, 3, 5, 3}, 1},  // the first failure wins
      {{' ', 'N', 3, 4, 5, 3, 5, 3}, 1},   {{'N', 'y', 3, -1, 5, 3, 5, 3}, 2},
      {{'N', 'N', -1, -1, 5, 3, 5, 3}, 3}, {{'N', 'N', 3, -2, 5, 3, 5, 0}, 4},
      {{'N', 'N', 3, 4, -1, 3, 5, 3}, 5},  {{'N', 'N', 3, 4, 5, 2, 5, 3}, 8},
      {{'t', 'N', 3, 4, 5, 4, 5, 3}, 8},                                        // nrowa is k
      {{'N', 'N', 0, 4, 5, 0, 5, 1}, 8},                                        // at least 1
      {{'N', 'N', 3, 4, 5, 3, 4, 3}, 10},  {{'N', 'C', 3, 4, 5, 3, 3, 3}, 10},  // nrowb is n
      {{'N', 'N', 3, 4, 5, 3, 5, 2}, 13},
  };
  for (const auto& c : cases) EXPECT_EQ(dgemm_output(c.args), dgemm_message(c.position));
  // Valid letters in either case print nothing.
  for (char ta : {'n', 't', 'c', 'N', 'T', 'C'})
    EXPECT_EQ(dgemm_output({ta, 'N', 3, 4, 5, 5, 5, 3}), "");
}

std::string cblas_output(int layout, int ta, int tb, int m, int n, int k, int lda, int ldb,
                         int ldc) {
  std::vector<double> a(64, 1.0), b(64, 1.0), c(64, 7.0);
  testing::internal::CaptureStdout();
  cblas_dgemm(static_cast<CBLAS_LAYOUT>(layout), static_cast<CBLAS_TRANSPOSE>(ta),
              static_cast<CBLAS_TRANSPOSE>(tb), m, n, k, 1.0, a.data(), lda, b.data(), ldb, 0.0,
              c.data(), ldc);
  const std::string out = testing::internal::GetCapturedStdout();
  if (!out.empty()) {
    for (double v : c) EXPECT_EQ(v, 7.0);
  }
  return out;
}

TEST(CblasDgemmArguments, TransposeCodesBeforeLayout) {
  const int R = ZTR_ROW_MAJOR, C = ZTR_COL_MAJOR, N = ZTR_NO_TRANS, T = ZTR_TRANS;
  EXPECT_EQ(cblas_output(103, 114, N, 3, 5, 4, 4, 5, 5), cblas_message(2));
  EXPECT_EQ(cblas_output(103, N, 110, 3, 5, 4, 4, 5, 5), cblas_message(3));
  EXPECT_EQ(cblas_output(103, N, N, -1, 5, 4, 4, 5, 5), cblas_message(4));
  EXPECT_EQ(cblas_output(103, N, N, 3, -1, 4, 4, 5, 5), cblas_message(5));
  EXPECT_EQ(cblas_output(103, N, N, 3, 5, -1, 4, 5, 5), cblas_message(6));
  EXPECT_EQ(cblas_output(103, N, N, 3, 5, 4, 4, 5, 5), cblas_message(1));
  // Row-major 3 x 5 = (3 x 4)(4 x 5): lda >= 4, ldb >= 5, ldc >= 5.
  EXPECT_EQ(cblas_output(R, N, N, 3, 5, 4, 3, 5, 5), cblas_message(9));
  EXPECT_EQ(cblas_output(R, N, N, 3, 5, 4, 4, 4, 5), cblas_message(11));
  EXPECT_EQ(cblas_output(R, N, N, 3, 5, 4, 4, 5, 4), cblas_message(14));
  EXPECT_EQ(cblas_output(R, N, N, 3, 5, 4, 4, 5, 5), "");
  EXPECT_EQ(cblas_output(R, T, T, 3, 5, 4, 2, 4, 5), cblas_message(9));   // A' is 4 x 3
  EXPECT_EQ(cblas_output(R, T, T, 3, 5, 4, 3, 3, 5), cblas_message(11));  // B' is 5 x 4
  EXPECT_EQ(cblas_output(R, T, ZTR_CONJ_TRANS, 3, 5, 4, 3, 4, 5), "");
  // Column-major: lda >= m (or k), ldb >= k (or n), ldc >= m.
  EXPECT_EQ(cblas_output(C, N, N, 3, 5, 4, 2, 4, 3), cblas_message(9));
  EXPECT_EQ(cblas_output(C, T, N, 3, 5, 4, 3, 4, 3), cblas_message(9));
  EXPECT_EQ(cblas_output(C, N, T, 3, 5, 4, 3, 4, 3), cblas_message(11));
  EXPECT_EQ(cblas_output(C, N, N, 3, 5, 4, 3, 4, 2), cblas_message(14));
  EXPECT_EQ(cblas_output(C, N, N, 3, 5, 4, 3, 4, 3), "");
}

// Row-major C = op(A)*op(B) is column-major C' = op(B)'*op(A)': the problem of the column-major
// reference with the operands and dimensions swapped.
TEST(CblasDgemm, RowMajorIsTheRowMajorProduct) {
  const CBLAS_TRANSPOSE codes[] = {ZTR_NO_TRANS, ZTR_TRANS, ZTR_CONJ_TRANS};
  unsigned seed = 3;
  for (CBLAS_TRANSPOSE ta : codes)
    for (CBLAS_TRANSPOSE tb : codes)
      for (auto [m, n, k] : {std::array<int, 3>{3, 5, 4}, {150, 120, 90}, {7, 300, 33}}) {
        const test::GemmProblem p = test::make_gemm(
            "NTC"[tb - ZTR_NO_TRANS], "NTC"[ta - ZTR_NO_TRANS], n, m, k, 0.5, -1.5, 2, seed++);
        std::vector<double> c = p.c0;
        cblas_dgemm(ZTR_ROW_MAJOR, ta, tb, m, n, k, p.alpha, p.b.data(), p.ldb, p.a.data(), p.lda,
                    p.beta, c.data(), p.ldc);
        EXPECT_TRUE(test::gemm_matches(p, c)) << ta << " " << tb;
      }
}

// m or n = 0 leaves C alone even with beta != 1; k = 0 and alpha = 0 give beta*C; beta = 0
// clears the NaN of C.  Sizes on both sides of the parallel thresholds.
TEST(Dgemm, EmptyAndDegenerateProducts) {
  for (int s : {3, 60, 250}) {
    const struct {
      int m, n, k;
      double alpha, beta;
    } cases[] = {{0, s, 4, 1, 2}, {s, 0, 4, 1, 2}, {s, s, 0, 1, -3},
                 {s, s, s, 0, 0}, {s, s, s, 2, 0}, {s, s, s, 0, 0.5}};
    for (const auto& c : cases)
      EXPECT_TRUE(test::gemm_run_and_check(
          test::make_gemm('N', 'T', c.m, c.n, c.k, c.alpha, c.beta, 1), DGEMM));
  }
}

}  // namespace
}  // namespace ztr
