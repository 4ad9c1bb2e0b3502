// Dense exports given what careless callers pass: pivots that no factorization produced, and
// empty matrices whose outputs the caller still reads.
#include <gtest/gtest.h>

#include <vector>

#include "error_text.h"
#include "include/ztr.h"
#include "lapack/getri/getri.h"

namespace ztr {
namespace {

// A pivot outside 1..n among the first n-1 would swap a column beyond the matrix: it is a bad
// argument (DGETRI's 4, LAPACKE's 5) and nothing is touched.  ipiv(n) is never used, and a
// size query, which may come before the factorization, does not look at the pivots.
TEST(CallerMistakes, DgetriRefusesPivotsOutsideTheMatrix) {
  const std::vector<double> diag = {2, 0, 0, 0, 4, 0, 0, 0, 8};
  for (const std::vector<int>& ipiv :
       {std::vector<int>{0, 2, 3}, {1, 4, 3}, {-1, 2, 3}, {1, 1000000, 3}}) {
    for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
      std::vector<double> a = diag;
      int info = 0;
      EXPECT_EQ(test::captured([&] { info = LAPACKE_dgetri(layout, 3, a.data(), 3, ipiv.data()); }),
                test::xerbla_text("DGETRI", 4));
      EXPECT_EQ(info, -5) << ipiv[0] << " " << ipiv[1];
      EXPECT_EQ(a, diag);
    }
  }
  std::vector<double> a = diag, work(1);
  const int garbage[3] = {-9, 77, 0}, n = 3, lda = 3, query = -1;
  int info = 5;
  dgetri(&n, a.data(), &lda, garbage, work.data(), &query, &info);
  EXPECT_EQ(info, 0);
  const int unused_last[3] = {1, 2, 99};
  EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, 3, a.data(), 3, unused_last), 0);
  EXPECT_EQ(a, (std::vector<double>{0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125}));
}

TEST(CallerMistakes, EmptyPivotedCholeskyHasRankZero) {
  double a = 1;
  int piv = -3, rank = -7;
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'U', 0, &a, 1, &piv, &rank, -1.0), 0);
  EXPECT_EQ(rank, 0);
  EXPECT_EQ(a, 1.0);
}

}  // namespace
}  // namespace ztr
