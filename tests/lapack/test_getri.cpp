// Inverse from LU and the triangular inverse: residuals ||A*inv(A) - I||, the singular and
// argument-error cases, the workspace rules (blocked, reduced block, unblocked) and the size
// queries.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lapack/getrf/getrf.h"
#include "lapack/getri/getri.h"
#include "lu_matrices.h"
#include "error_text.h"

namespace ztr {
namespace {

constexpr double kResidualBound = 30.0;

// ||A*X - I||_1 / (||A||_1 * ||X||_1 * n * eps).
double inverse_residual(int n, const double* a, int lda, const double* x, int ldx) {
  double worst = 0, na = 0, nx = 0;
  for (int j = 0; j < n; ++j) {
    double col = 0, ca = 0, cx = 0;
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) s += a[i + p * lda] * x[p + j * ldx];
      col += std::fabs(s);
      ca += std::fabs(a[i + j * lda]);
      cx += std::fabs(x[i + j * ldx]);
    }
    worst = std::max(worst, col);
    na = std::max(na, ca);
    nx = std::max(nx, cx);
  }
  return worst / (na * nx * n * (std::numeric_limits<double>::epsilon() / 2));
}

// Factors a random matrix and inverts it with `lwork` doubles of workspace (-1: the queried
// optimum); returns the residual, or a large number on a non-zero info.
double invert_random(int n, int lwork, std::uint64_t seed) {
  const int lda = n + 2;
  const std::vector<double> a0 = test::random_matrix(n, n, lda, seed);
  std::vector<double> a = a0;
  std::vector<int> ipiv(n);
  int info = 0;
  dgetrf(&n, &n, a.data(), &lda, ipiv.data(), &info);
  if (info != 0) return 1e300;
  double query = 0;
  const int minus_one = -1;
  dgetri(&n, a.data(), &lda, ipiv.data(), &query, &minus_one, &info);
  if (lwork < 0) lwork = static_cast<int>(query);
  std::vector<double> work(std::max(1, lwork));
  dgetri(&n, a.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
  if (info != 0) return 1e300;
  return inverse_residual(n, a0.data(), lda, a.data(), lda);
}

// n = 150: the tuned block is 64; lwork = n forces the column-by-column code, 3n a block of
// three.
TEST(Dgetri, InvertsWithEveryWorkspaceSize) {
  for (int n : {1, 2, 17, 150}) EXPECT_LT(invert_random(n, -1, n), kResidualBound) << n;
  for (int lwork : {150, 3 * 150}) EXPECT_LT(invert_random(150, lwork, 9), kResidualBound);
}

TEST(Dgetri, SingularFactorLeavesTheMatrixUnchanged) {
  // U(3, 3) = 0 for n = 5.
  test::KnownLu k = test::make_known_lu(5, 5, 0, 3, {}, {3});
  int n = 5, lda = 5, info = 0, lwork = 5;
  std::vector<int> ipiv(5);
  dgetrf(&n, &n, k.a.data(), &lda, ipiv.data(), &info);
  ASSERT_EQ(info, 3);
  const std::vector<double> factored = k.a;
  std::vector<double> work(5);
  dgetri(&n, k.a.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
  EXPECT_EQ(info, 3);
  EXPECT_EQ(k.a, factored);
  // n = 1: 1/a, or info 1 for a zero.
  n = lda = lwork = 1;
  for (double v : {4.0, 0.0}) {
    double a = v;
    int p = 1;
    dgetri(&n, &a, &lda, &p, work.data(), &lwork, &info);
    EXPECT_EQ(info, v == 0.0 ? 1 : 0);
    EXPECT_EQ(a, v == 0.0 ? 0.0 : 0.25);
  }
}

TEST(Dtrtri, InvertsBothTrianglesAndReportsSingularity) {
  // n = 150 takes the blocked code (block 64), n = 40 the unblocked one.
  for (int n : {40, 150}) {
    for (const char* uplo : {"U", "L"}) {
      for (const char* diag : {"N", "U"}) {
        const int lda = n + 1;
        std::vector<double> t = test::random_matrix(n, n, lda, n + *uplo + *diag);
        for (int j = 0; j < n; ++j) {
          for (int i = 0; i < n; ++i) {
            const bool keep = *uplo == 'U' ? i <= j : i >= j;
            if (!keep) t[i + j * lda] = 0.0;
          }
          t[j + j * lda] = *diag == 'U' ? 1.0 : 2.0 + t[j + j * lda];
        }
        std::vector<double> x = t;
        for (int j = 0; j < n && *diag == 'U'; ++j)
          x[j + j * lda] = 123.0;  // neither read nor written
        int info = -5;
        dtrtri(uplo, diag, &n, x.data(), &lda, &info);
        EXPECT_EQ(info, 0);
        for (int j = 0; j < n && *diag == 'U'; ++j) {
          EXPECT_EQ(x[j + j * lda], 123.0);
          x[j + j * lda] = 1.0;
        }
        EXPECT_LT(inverse_residual(n, t.data(), lda, x.data(), lda), kResidualBound)
            << n << uplo << diag;
      }
    }
  }
  std::vector<double> z = {1, 0, 0, /**/ 2, 3, 0, /**/ 4, 5, 0};
  const std::vector<double> z0 = z;
  int n = 3, lda = 3, info = 0;
  dtrtri("U", "N", &n, z.data(), &lda, &info);
  EXPECT_EQ(info, 3);
  EXPECT_EQ(z, z0);
}

// Argument checks with their texts; the size queries: 0 for n = 0, otherwise at least the
// unblocked code's n (the block is tuning).
TEST(Dgetri, ArgumentErrorsAndQueries) {
  double a[4] = {1, 2, 3, 4}, work[2] = {-1, -1};
  int ipiv[2] = {1, 2};
  struct Case {
    int n, lda, lwork, info;
  };
  for (Case c : {Case{-1, 1, 1, -1}, Case{2, 1, 2, -3}, Case{2, 2, 1, -6}, Case{2, 2, 0, -6}}) {
    int info = 0;
    EXPECT_EQ(test::captured([&] { dgetri(&c.n, a, &c.lda, ipiv, work, &c.lwork, &info); }),
              test::xerbla_text("DGETRI", -c.info));
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(a[1], 2.0);
  for (int n : {0, 999, 1000}) {
    int info = -5, lwork = -1, lda = std::max(1, n);
    dgetri(&n, a, &lda, ipiv, work, &lwork, &info);
    EXPECT_EQ(info, 0);
    EXPECT_TRUE(n == 0 ? work[0] == 0.0 : work[0] >= n) << n;
  }
}

}  // namespace
}  // namespace ztr
