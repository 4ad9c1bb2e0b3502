// The symmetric eigensolver DSYEVD and its LAPACKE export: eigenvalues against the known
// spectrum of A = Q*diag(lambda)*Q' and a long-double Jacobi oracle, ||A*Z - Z*diag(w)|| and
// ||Z'*Z - I|| for both triangles and both jobs, across the reduction's and the divide and
// conquer's crossovers and on one to four threads, extreme scales, the diagonal case, the
// workspace rules, argument errors and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/syevd/syevd.h"
#include "service/threads.h"
#include "testalloc.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr double kBound = 30.0;

enum class Spectrum { Random, Repeated, Graded };

std::vector<double> spectrum(int n, Spectrum kind, std::uint64_t seed) {
  test::Rng r(static_cast<test::Rng::result_type>(seed));
  std::vector<double> lambda(n);
  for (int i = 0; i < n; ++i) {
    switch (kind) {
      case Spectrum::Random:
        lambda[i] = test::uniform(r);
        break;
      case Spectrum::Repeated:
        lambda[i] = (i % 3 == 0) ? -1.0 : (i % 3 == 1 ? 0.5 : 2.0);
        break;
      case Spectrum::Graded:
        lambda[i] = std::pow(10.0, -8.0 * i / std::max(1, n - 1));
        break;
    }
  }
  return lambda;
}

struct Result {
  std::vector<double> a, w;
  int info = 0;
};

// dsyevd with the queried workspace on a copy of a.
Result solve(const char* jobz, const char* uplo, int n, int lda, const std::vector<double>& a) {
  Result r{a, std::vector<double>(std::max(n, 1))};
  int lwork = -1, liwork = -1, iq = 0;
  double wq = 0;
  dsyevd(jobz, uplo, &n, r.a.data(), &lda, r.w.data(), &wq, &lwork, &iq, &liwork, &r.info);
  lwork = static_cast<int>(wq);
  liwork = iq;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  dsyevd(jobz, uplo, &n, r.a.data(), &lda, r.w.data(), work.data(), &lwork, iwork.data(), &liwork,
         &r.info);
  return r;
}

// Weyl: the stored A is within a few ulps of Q*diag(lambda)*Q', so its eigenvalues are
// within n*eps*||A|| of the sorted lambda.
std::vector<double> sorted(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v;
}

void check_solution(int n, int lda, const std::vector<double>& a, const std::vector<double>& lambda,
                    const Result& v, const Result& nv) {
  ASSERT_EQ(v.info, 0);
  ASSERT_EQ(nv.info, 0);
  const std::vector<double> expect = sorted(lambda);
  std::vector<double> wv(v.w.begin(), v.w.begin() + n), wn(nv.w.begin(), nv.w.begin() + n);
  EXPECT_LT(test::eigenvalue_error(wv, expect), kBound);
  EXPECT_LT(test::eigenvalue_error(wn, expect), kBound);
  EXPECT_LT(test::eigen_residual(n, a, lda, v.w.data(), v.a.data(), lda), kBound);
  EXPECT_LT(test::orthogonality(n, n, v.a.data(), lda), kBound);
}

TEST(Dsyevd, EigenpairsAcrossCrossoversForBothTrianglesAndJobs) {
  // 25/26: DSTEQR or divide and conquer inside DSTEDC; 31/32: sequential or threaded
  // reduction (with two threads); 130: blocked sequential reduction.
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    for (int n : {2, 10, 25, 26, 31, 32, 57, 130}) {
      for (Spectrum kind : {Spectrum::Random, Spectrum::Repeated, Spectrum::Graded}) {
        const int lda = n + 3;
        const std::vector<double> lambda = spectrum(n, kind, n);
        const std::vector<double> a = test::symmetric_with_spectrum(n, lda, lambda, 7 + n);
        for (const char* uplo : {"U", "L"}) {
          SCOPED_TRACE(std::to_string(threads) + " threads, n = " + std::to_string(n) + ", uplo " +
                       uplo + ", spectrum " + std::to_string(static_cast<int>(kind)));
          check_solution(n, lda, a, lambda, solve("V", uplo, n, lda, a),
                         solve("N", uplo, n, lda, a));
        }
      }
    }
  }
  // The independent oracle on a matrix that is not built from its spectrum.
  const int n = 40;
  test::Rng r(static_cast<test::Rng::result_type>(3));
  std::vector<double> a(n * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) a[i + j * n] = a[j + i * n] = test::uniform(r);
  const Result v = solve("V", "L", n, n, a);
  EXPECT_LT(test::eigenvalue_error(v.w, test::jacobi_eigenvalues(n, a, n)), kBound);
  ZTR_Set_Num_Threads(1);
}

// The threaded reduction's blocked steps (beyond nx = 500) and unblocked stage, and the
// parallel divide and conquer, on two to four threads.
TEST(Dsyevd, LargeOrdersOnSeveralThreads) {
  const int n = 540, lda = n;
  const std::vector<double> lambda = spectrum(n, Spectrum::Random, 11);
  const std::vector<double> a = test::symmetric_with_spectrum(n, lda, lambda, 5);
  struct Run {
    int threads;
    const char* uplo;
  };
  for (const Run& run : {Run{2, "U"}, Run{2, "L"}, Run{4, "L"}}) {
    ZTR_Set_Num_Threads(run.threads);
    {
      const char* uplo = run.uplo;
      SCOPED_TRACE(std::to_string(run.threads) + " threads, uplo " + uplo);
      check_solution(n, lda, a, lambda, solve("V", uplo, n, lda, a), solve("N", uplo, n, lda, a));
    }
  }
  ZTR_Set_Num_Threads(1);
}

TEST(Dsyevd, ExtremeScalesAndDiagonalMatrices) {
  const int n = 60;
  const std::vector<double> lambda = spectrum(n, Spectrum::Random, 2);
  const std::vector<double> a = test::symmetric_with_spectrum(n, n, lambda, 9);
  for (double scale : {1e-300, 1e300}) {
    SCOPED_TRACE(scale);
    std::vector<double> as = a, ls = lambda;
    for (double& x : as) x *= scale;
    for (double& x : ls) x *= scale;
    const Result v = solve("V", "U", n, n, as);
    ASSERT_EQ(v.info, 0);
    std::vector<double> w = v.w;
    for (double& x : w) x /= scale;
    EXPECT_LT(test::eigenvalue_error(w, sorted(lambda)), kBound);
    EXPECT_LT(test::eigen_residual(n, a, n, w.data(), v.a.data(), n), kBound);
    EXPECT_LT(test::orthogonality(n, n, v.a.data(), n), kBound);
  }
}

TEST(Dsyevd, TinyOrdersWithTheSmallestWorkspace) {
  std::vector<double> a(1), w(1), work(1);
  std::vector<int> iwork(1);
  int info = -99;
  const int one = 1;
  for (int order : {0, 1}) {
    a[0] = -4.5;
    w[0] = 0;
    work[0] = iwork[0] = 0;
    dsyevd("V", "U", &order, a.data(), &one, w.data(), work.data(), &one, iwork.data(), &one,
           &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(work[0], 1);
    EXPECT_EQ(iwork[0], 1);
    EXPECT_EQ(w[0], order == 1 ? -4.5 : 0.0);
    EXPECT_EQ(a[0], order == 1 ? 1.0 : -4.5);
  }
}

TEST(Dsyevd, ArgumentErrorsLeaveEverythingUntouched) {
  struct Case {
    const char *jobz, *uplo;
    int n, lda, lwork, liwork, info;
  };
  // jobz 'V', n = 10: lwork >= 261, liwork >= 53; 'N': lwork >= 21.
  const Case cases[] = {{"X", "U", 10, 10, 300, 60, -1}, {"V", "X", 10, 10, 300, 60, -2},
                        {"V", "U", -1, 10, 300, 60, -3}, {"V", "U", 10, 9, 300, 60, -5},
                        {"V", "U", 10, 10, 260, 60, -8}, {"N", "L", 10, 10, 20, 1, -8},
                        {"v", "l", 10, 10, 261, 52, -10}};
  std::vector<double> a(100, 2.0), w(10, 3.0), work(300, 4.0);
  std::vector<int> iwork(60, 5);
  for (const Case& c : cases) {
    int info = 0;
    CaptureStdout();
    dsyevd(c.jobz, c.uplo, &c.n, a.data(), &c.lda, w.data(), work.data(), &c.lwork, iwork.data(),
           &c.liwork, &info);
    EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-c.info) +
                                       " was incorrect on entry to DSYEVD.\n");
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(a, std::vector<double>(100, 2.0));
  EXPECT_EQ(w, std::vector<double>(10, 3.0));
  EXPECT_EQ(work, std::vector<double>(300, 4.0));
  EXPECT_EQ(iwork, std::vector<int>(60, 5));
}

// Scratch that cannot be allocated (the threaded reduction's vectors, the divide and
// conquer's per-thread space) only makes the call sequential.
TEST(Dsyevd, FailedScratchAllocationsStillGiveTheResult) {
  const int n = 120;
  const std::vector<double> lambda = spectrum(n, Spectrum::Random, 4);
  const std::vector<double> a = test::symmetric_with_spectrum(n, n, lambda, 4);
  ZTR_Set_Num_Threads(2);
  // Workspace allocated before arming, so that only the internal scratch can fail.
  int lwork = 1 + 6 * n + 2 * n * n, liwork = 3 + 5 * n, info = 0;
  std::vector<double> work(lwork), z = a, w(n);
  std::vector<int> iwork(liwork);
  dsyevd("V", "L", &n, z.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  z = a;
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(n) * 8);
  dsyevd("V", "L", &n, z.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  ztr_testalloc_reset();
  EXPECT_GE(ztr_testalloc_failures() - failures, 2);
  EXPECT_EQ(ztr_testalloc_live(), live);
  Result v{z, w, info};
  check_solution(n, n, a, lambda, v, v);
  ZTR_Set_Num_Threads(1);
}

TEST(LapackeDsyevd, LayoutsCodesAndMessages) {
  const int n = 30;
  const std::vector<double> lambda = spectrum(n, Spectrum::Random, 8);
  const std::vector<double> a = test::symmetric_with_spectrum(n, n, lambda, 8);
  // Row-major with padding: the transposed copy is solved and the vectors come back by rows.
  const int ldr = n + 2;
  std::vector<double> row = test::to_rows(n, n, a, n, ldr);
  std::vector<double> w(n), col = a, wc(n);
  ASSERT_EQ(LAPACKE_dsyevd(ZTR_ROW_MAJOR, 'V', 'u', n, row.data(), ldr, w.data()), 0);
  ASSERT_EQ(LAPACKE_dsyevd(ZTR_COL_MAJOR, 'N', 'L', n, col.data(), n, wc.data()), 0);
  std::vector<double> z(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) z[i + j * n] = row[i * ldr + j];
  EXPECT_LT(test::eigen_residual(n, a, n, w.data(), z.data(), n), kBound);
  EXPECT_LT(test::orthogonality(n, n, z.data(), n), kBound);
  EXPECT_LT(test::eigenvalue_error(wc, sorted(lambda)), kBound);
  EXPECT_EQ(row[n], -555.0);  // padding untouched

  struct Case {
    int layout;
    char jobz;
    int lda;
    bool nan;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {100, 'V', n, false, -1, "Wrong parameter 1 in LAPACKE_dsyevd\n"},
      {ZTR_COL_MAJOR, 'V', n, true, -5, ""},
      {ZTR_ROW_MAJOR, 'V', n - 1, false, -6, "Wrong parameter 6 in LAPACKE_dsyevd_work\n"},
      {ZTR_COL_MAJOR, 'X', n, false, -2,
       "\nZTR ERROR: Parameter 1 was incorrect on entry to DSYEVD.\n"},
  };
  for (const Case& c : cases) {
    std::vector<double> m = a;
    if (c.nan) m[n * n - 1] = std::numeric_limits<double>::quiet_NaN();
    CaptureStdout();
    EXPECT_EQ(LAPACKE_dsyevd(c.layout, c.jobz, 'U', n, m.data(), c.lda, w.data()), c.code);
    EXPECT_EQ(GetCapturedStdout(), c.message);
  }
  // Workspace that cannot be allocated.
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_nth(1, 1);
  std::vector<double> m = a;
  CaptureStdout();
  EXPECT_EQ(LAPACKE_dsyevd(ZTR_COL_MAJOR, 'V', 'U', n, m.data(), n, w.data()), -1010);
  ztr_testalloc_reset();
  EXPECT_EQ(GetCapturedStdout(), "Not enough memory to allocate work array in LAPACKE_dsyevd\n");
  EXPECT_EQ(ztr_testalloc_live(), live);
}

}  // namespace
}  // namespace ztr
