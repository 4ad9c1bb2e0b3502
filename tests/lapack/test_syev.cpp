// The standard symmetric eigenproblem (DSYEV) and its two-stage reduction (DSYRDB, DSBRDB):
// eigenvalues against a spectrum built in, residuals and orthogonality of the vectors, the
// similarity invariants of the reduction, the scaling of tiny and huge matrices, argument
// errors, and the one- and two-stage paths agreeing at the order where the choice is made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "lapack/ilaenv.h"
#include "lapack/sygv/sygv.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/error.h"
#include "spd_matrices.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using Matrix = std::vector<double>;
using test::at;
using test::known_spectrum;
using test::max_abs;
using test::mul;
constexpr double kBound = 30.0;

int run_dsyev(char jobz, char uplo, int n, double* a, int lda, double* w, int lwork) {
  std::vector<double> work(static_cast<std::size_t>(std::max(1, lwork)));
  int info = 0;
  dsyev(&jobz, &uplo, &n, a, &lda, w, work.data(), &lwork, &info);
  return info;
}

TEST(Dsyev, EigenpairsOfAKnownSpectrum) {
  for (int n : {1, 5, 40, 130})
    for (char uplo : {'L', 'U'})
      for (char jobz : {'V', 'N'}) {
        std::vector<double> lambda;
        const Matrix a0 = known_spectrum(n, n, static_cast<std::uint64_t>(n), &lambda);
        Matrix a = a0;
        std::vector<double> w(n);
        int lwork = -1, info = 0;
        double q = 0.0;
        dsyev(&jobz, &uplo, &n, a.data(), &n, w.data(), &q, &lwork, &info);
        ASSERT_EQ(run_dsyev(jobz, uplo, n, a.data(), n, w.data(), static_cast<int>(q)), 0);
        const std::string what = std::string(1, jobz) + uplo + " n " + std::to_string(n);
        // Eigenvalues in [-2, 3]; ||A*Z - Z*W|| and ||Z'*Z - I||.
        for (int i = 0; i < n; ++i)
          EXPECT_LT(std::fabs(w[i] - lambda[i]) / (3.0 * n * DBL_EPSILON), kBound) << what;
        if (jobz == 'N') {
          for (int j = 0; j < n; ++j)  // the other triangle is untouched
            for (int i = 0; i < n; ++i) {
              if (uplo == 'L' ? i < j : i > j) {
                EXPECT_EQ(at(a, n, i, j), a0[i + j * static_cast<std::size_t>(n)]);
              }
            }
          continue;
        }
        Matrix r = mul(n, a0, false, a, false), g = mul(n, a, true, a, false);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i) {
            at(r, n, i, j) -= at(a, n, i, j) * w[j];
            at(g, n, i, j) -= i == j ? 1.0 : 0.0;
          }
        EXPECT_LT(max_abs(r) / (3.0 * n * DBL_EPSILON), kBound) << what;
        EXPECT_LT(max_abs(g) / (n * DBL_EPSILON), kBound) << what;
      }
}

TEST(Dsyev, ScalesTinyAndHugeMatricesAndReportsArgumentErrors) {
  const int n = 20;
  std::vector<double> lambda;
  const Matrix a0 = known_spectrum(n, n, 3, &lambda);
  for (double scale : {1e-300, 1e300}) {
    Matrix a = a0;
    for (double& x : a) x *= scale;
    std::vector<double> w(n);
    ASSERT_EQ(run_dsyev('V', 'L', n, a.data(), n, w.data(), 3 * n - 1), 0);
    for (int i = 0; i < n; ++i)
      EXPECT_LT(std::fabs(w[i] / scale - lambda[i]) / (n * DBL_EPSILON * 3.0), kBound) << scale;
  }
  install_default_xerbla();
  struct Case {
    char jobz, uplo;
    int n, lda, lwork, info;
  };
  for (Case c :
       {Case{'X', 'L', 2, 2, 9, -1}, Case{'N', 'X', 2, 2, 9, -2}, Case{'v', 'u', -1, 2, 9, -3},
        Case{'N', 'L', 3, 2, 9, -5}, Case{'V', 'L', 3, 3, 7, -8}}) {
    Matrix a(9, 1.0), work(9, 0.0);
    double w = -7.0;
    int info = 0;
    CaptureStdout();
    dsyev(&c.jobz, &c.uplo, &c.n, a.data(), &c.lda, &w, work.data(), &c.lwork, &info);
    EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-c.info) +
                                       " was incorrect on entry to DSYEV .\n");
    EXPECT_EQ(info, c.info);
    EXPECT_EQ(w, -7.0);
    for (double x : a) EXPECT_EQ(x, 1.0);
  }
}

ZTR_CHILD(syev_two_paths) {
  // One thread, jobz 'N', n = 2000: the two-stage reduction when the workspace holds the
  // band, DSYTRD with the minimal workspace.  Random symmetric matrix: the eigenvalues must
  // agree with each other and with the invariants trace(A) and ||A||_F^2.
  const int n = 2000;
  test::Rng r(static_cast<test::Rng::result_type>(9));
  Matrix a0(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) at(a0, n, i, j) = at(a0, n, j, i) = test::uniform(r);
  double trace = 0.0, frob = 0.0;
  for (int j = 0; j < n; ++j) {
    trace += at(a0, n, j, j);
    for (int i = 0; i < n; ++i) frob += at(a0, n, i, j) * at(a0, n, i, j);
  }
  int lwork = -1, info = 0, nn = n;
  double q = 0.0;
  Matrix a = a0;
  std::vector<double> w1(n), w2(n);
  dsyev("N", "L", &nn, a.data(), &nn, w1.data(), &q, &lwork, &info);
  if (info != 0) return 1;
  // Without vectors and past the crossover, the optimum holds the band of the two-stage path.
  const int kd = std::min(ilaenv(1, "DSYRDB", " ", n, 1, -1, -1), n - 1);
  if (q != static_cast<double>((3 * kd + 5) * n)) return 7;
  if (run_dsyev('N', 'L', n, a.data(), n, w1.data(), static_cast<int>(q)) != 0) return 2;
  a = a0;
  if (run_dsyev('N', 'L', n, a.data(), n, w2.data(), 3 * n - 1) != 0) return 3;
  const double norm = std::sqrt(frob);  // a bound on the spectral norm
  double diff = 0.0, sum = 0.0, sum2 = 0.0;
  for (int i = 0; i < n; ++i) {
    diff = std::max(diff, std::fabs(w1[i] - w2[i]));
    sum += w1[i];
    sum2 += w1[i] * w1[i];
  }
  if (!(diff / (norm * n * DBL_EPSILON) < kBound)) return 4;
  if (!(std::fabs(sum - trace) / (norm * n * DBL_EPSILON) < kBound)) return 5;
  if (!(std::fabs(sum2 - frob) / (frob * n * DBL_EPSILON) < kBound)) return 6;
  return 0;
}

TEST(Dsyev, OneAndTwoStageReductionsAgree) {
  const auto r = test::run_child("syev_two_paths", {"ZTR_NUM_THREADS=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr
