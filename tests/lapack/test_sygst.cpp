// Reduction of the generalized symmetric-definite problem to standard form, blocked and
// unblocked, all itypes and both triangles: the reduced matrix against its definition through
// the Cholesky factor, the untouched other triangle, and the argument errors.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "lapack/potrf/potrf.h"
#include "lapack/sygv/sygst.h"
#include "service/error.h"
#include "spd_matrices.h"

namespace ztr {
namespace {

using test::kUntouched;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

using Matrix = std::vector<double>;  // dense n x n, column-major

// The full symmetric matrix from the uplo triangle of x (leading dimension ld).
Matrix full_symmetric(char uplo, int n, const double* x, int ld) {
  Matrix m(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const bool stored = uplo == 'L' ? i >= j : i <= j;
      m[i + static_cast<std::size_t>(j) * n] = stored ? x[i + static_cast<std::size_t>(j) * ld]
                                                      : x[j + static_cast<std::size_t>(i) * ld];
    }
  return m;
}

// F, lower triangular with B = F*F': L itself, or U'.
Matrix lower_factor(char uplo, int n, const double* f, int ld) {
  Matrix m(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i)
      m[i + static_cast<std::size_t>(j) * n] = uplo == 'L'
                                                   ? f[i + static_cast<std::size_t>(j) * ld]
                                                   : f[j + static_cast<std::size_t>(i) * ld];
  return m;
}

// op(x)*op(y) for square matrices, op = transpose when the flag is set.
Matrix mul(int n, const Matrix& x, bool tx, const Matrix& y, bool ty) {
  Matrix c(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) {
      const double ykj =
          ty ? y[j + static_cast<std::size_t>(k) * n] : y[k + static_cast<std::size_t>(j) * n];
      for (int i = 0; i < n; ++i)
        c[i + static_cast<std::size_t>(j) * n] +=
            (tx ? x[k + static_cast<std::size_t>(i) * n] : x[i + static_cast<std::size_t>(k) * n]) *
            ykj;
    }
  return c;
}

double norm1(int n, const Matrix& x) {
  double best = 0.0;
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += std::fabs(x[i + static_cast<std::size_t>(j) * n]);
    best = std::max(best, s);
  }
  return best;
}

// Reduces a random symmetric A with a well-conditioned B and returns the scaled error of the
// result: itype 1 compares F*C*F' with A, itypes 2 and 3 compare C with F'*A*F; -1 when the
// other triangle or the padding of A was touched.
template <typename Reduce>
double reduction_error(Reduce reduce, int itype, char uplo, int n) {
  const int lda = n + 2, ldb = n + 1;
  test::Lcg r(static_cast<std::uint64_t>(n * 10 + itype));
  std::vector<double> a(static_cast<std::size_t>(lda) * n, kUntouched);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      if (uplo == 'L' ? i >= j : i <= j) a[i + static_cast<std::size_t>(j) * lda] = r.uniform();
  std::vector<double> b = test::make_spd(n, ldb, static_cast<std::uint64_t>(n), ' ');
  int info = 0;
  ztr_lapack_dpotrf(uplo, n, b.data(), ldb, &info);
  EXPECT_EQ(info, 0);
  std::vector<double> c = a;
  reduce(itype, uplo, n, c.data(), lda, b.data(), ldb);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < lda; ++i) {
      const bool stored = i < n && (uplo == 'L' ? i >= j : i <= j);
      if (!stored && c[i + static_cast<std::size_t>(j) * lda] != kUntouched) return -1.0;
    }
  const Matrix fa = full_symmetric(uplo, n, a.data(), lda);
  const Matrix fc = full_symmetric(uplo, n, c.data(), lda);
  const Matrix f = lower_factor(uplo, n, b.data(), ldb);
  const double fnorm = norm1(n, f);
  Matrix lhs, rhs;
  double scale;
  if (itype == 1) {
    lhs = mul(n, mul(n, f, false, fc, false), false, f, true);
    rhs = fa;
    scale = norm1(n, fc) * fnorm * fnorm;
  } else {
    lhs = fc;
    rhs = mul(n, mul(n, f, true, fa, false), false, f, false);
    scale = norm1(n, fa) * fnorm * fnorm;
  }
  if (n == 0) return 0.0;
  for (std::size_t i = 0; i < lhs.size(); ++i) lhs[i] -= rhs[i];
  return norm1(n, lhs) / (scale * n * DBL_EPSILON);
}

TEST(Dsygst, ReducesEveryItypeAndTriangleBlockedAndUnblocked) {
  auto blocked = [](int itype, char uplo, int n, double* a, int lda, const double* b, int ldb) {
    int info = -9;
    dsygst(&itype, &uplo, &n, a, &lda, b, &ldb, &info);
    EXPECT_EQ(info, 0);
  };
  auto unblocked = [](int itype, char uplo, int n, double* a, int lda, const double* b, int ldb) {
    int info = -9;
    dsygs2(&itype, &uplo, &n, a, &lda, b, &ldb, &info);
    EXPECT_EQ(info, 0);
  };
  for (int itype : {1, 2, 3})
    for (char uplo : {'L', 'U'}) {
      // Below 1000 the block is 64: one block, three with a short last one.
      for (int n : {0, 1, 2, 7, 64, 150}) {
        const double e = reduction_error(blocked, itype, uplo, n);
        EXPECT_TRUE(e >= 0.0 && e < 30.0)
            << "dsygst itype " << itype << " " << uplo << " n " << n << ": " << e;
      }
      for (int n : {1, 3, 40}) {
        const double e = reduction_error(unblocked, itype, uplo, n);
        EXPECT_TRUE(e >= 0.0 && e < 30.0)
            << "dsygs2 itype " << itype << " " << uplo << " n " << n << ": " << e;
      }
    }
}

TEST(Dsygst, ArgumentErrorsAreReportedAndTouchNothing) {
  install_default_xerbla();
  std::vector<double> a(9, 1.0), b(9, 2.0);
  struct Case {
    int itype;
    char uplo;
    int n, lda, ldb, info;
  };
  for (Case c :
       {Case{0, 'U', 3, 3, 3, -1}, Case{4, 'L', 3, 3, 3, -1}, Case{1, 'X', 3, 3, 3, -2},
        Case{2, 'U', -1, 3, 3, -3}, Case{3, 'L', 3, 2, 3, -5}, Case{1, 'l', 3, 3, 2, -7}}) {
    for (bool blocked : {true, false}) {
      int info = 0;
      CaptureStdout();
      if (blocked)
        dsygst(&c.itype, &c.uplo, &c.n, a.data(), &c.lda, b.data(), &c.ldb, &info);
      else
        dsygs2(&c.itype, &c.uplo, &c.n, a.data(), &c.lda, b.data(), &c.ldb, &info);
      EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-c.info) +
                                         " was incorrect on entry to " +
                                         (blocked ? "DSYGST" : "DSYGS2") + ".\n");
      EXPECT_EQ(info, c.info);
    }
  }
  for (double v : a) EXPECT_EQ(v, 1.0);
}

}  // namespace
}  // namespace ztr
