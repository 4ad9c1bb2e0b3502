// The symmetric tridiagonal eigensolvers: root-free QL/QR (eigenvalues), implicit QL/QR and
// divide and conquer (eigenpairs).  Eigenvalues are checked against a long-double Jacobi
// oracle, eigenpairs by ||T*Z - Z*diag(d)|| and ||Z'*Z - I||, over matrices that exercise
// splitting, deflation (clusters, glued copies, a diagonal matrix), extreme scales, the
// divide and conquer's parallel leaves and merges, and its scratch-allocation fallback.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/tridiagonal/dstedc.h"
#include "lapack/tridiagonal/dsteqr.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/threads.h"
#include "testalloc.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr double kBound = 30.0;  // the scaled ratios of the LAPACK test suites

enum class Kind { Random, Glued, Clustered, Diagonal, Tiny, Huge };

struct Tridiagonal {
  std::vector<double> d, e;
};

Tridiagonal make_tridiagonal(int n, Kind kind, std::uint64_t seed) {
  test::Rng r(static_cast<test::Rng::result_type>(seed));
  Tridiagonal t{std::vector<double>(n), std::vector<double>(std::max(n - 1, 1), 0.0)};
  for (int i = 0; i < n; ++i) {
    switch (kind) {
      case Kind::Glued: {
        // Copies of a 7 x 7 Wilkinson-like block joined by tiny entries: many close pairs.
        const int k = i % 7;
        t.d[i] = std::fabs(3.0 - k);
        if (i < n - 1) t.e[i] = k == 6 ? 1e-13 : 1.0;
        break;
      }
      case Kind::Clustered:
        // Eigenvalues in two tight clusters around -1 and 1.
        t.d[i] = (i % 2 == 0 ? 1.0 : -1.0) + 1e-12 * test::uniform(r);
        if (i < n - 1) t.e[i] = 1e-9 * test::uniform(r);
        break;
      case Kind::Diagonal:
        t.d[i] = test::uniform(r);
        break;
      default:
        t.d[i] = test::uniform(r);
        if (i < n - 1) t.e[i] = test::uniform(r);
    }
  }
  const double scale = kind == Kind::Tiny ? 1e-300 : kind == Kind::Huge ? 1e300 : 1.0;
  for (double& x : t.d) x *= scale;
  for (double& x : t.e) x *= scale;
  return t;
}

std::vector<double> dense(int n, const Tridiagonal& t) {
  std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    a[i + i * n] = t.d[i];
    if (i + 1 < n) a[i + 1 + i * n] = a[i + (i + 1) * n] = t.e[i];
  }
  return a;
}

// Scaled copies keep the checks' sums in range for the extreme-scale matrices.
std::vector<double> scaled(std::vector<double> v, double s) {
  for (double& x : v) x *= s;
  return v;
}

struct Solution {
  std::vector<double> w, z;
  int info = 0;
};

Solution run_dstedc(const char* compz, int n, const Tridiagonal& t, std::vector<double> z) {
  Solution s{t.d, std::move(z)};
  std::vector<double> e = t.e;
  const int ldz = std::max(1, n);
  int lwork = -1, liwork = -1;
  double wq = 0;
  int iq = 0;
  dstedc(compz, &n, s.w.data(), e.data(), s.z.data(), &ldz, &wq, &lwork, &iq, &liwork, &s.info);
  lwork = static_cast<int>(wq);
  liwork = iq;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  dstedc(compz, &n, s.w.data(), e.data(), s.z.data(), &ldz, work.data(), &lwork, iwork.data(),
         &liwork, &s.info);
  return s;
}

void expect_eigenpairs(const char* what, int n, const std::vector<double>& a, const Solution& s,
                       double scale) {
  SCOPED_TRACE(what);
  ASSERT_EQ(s.info, 0);
  for (int i = 1; i < n; ++i) ASSERT_LE(s.w[i - 1], s.w[i]) << "not ascending at " << i;
  EXPECT_LT(test::eigen_residual(n, scaled(a, scale), n, scaled(s.w, scale).data(), s.z.data(), n),
            kBound);
  EXPECT_LT(test::orthogonality(n, n, s.z.data(), n), kBound);
}

TEST(TridiagonalEigen, SolversAgreeWithOracleOnEveryKindAndSize) {
  const Kind kinds[] = {Kind::Random,   Kind::Glued, Kind::Clustered,
                        Kind::Diagonal, Kind::Tiny,  Kind::Huge};
  // Both sides of the divide and conquer's crossover (25) and of its halving.
  for (int n : {1, 2, 3, 7, 25, 26, 32, 51, 130}) {
    for (Kind kind : kinds) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", kind " + std::to_string(static_cast<int>(kind)));
      const Tridiagonal t = make_tridiagonal(n, kind, 17 + n);
      const double scale = kind == Kind::Tiny ? 1e300 : kind == Kind::Huge ? 1e-300 : 1.0;
      const std::vector<double> a = dense(n, t);
      const std::vector<double> oracle =
          scaled(test::jacobi_eigenvalues(n, scaled(a, scale), n), 1 / scale);

      Tridiagonal r = t;
      int info = 0;
      dsterf(&n, r.d.data(), r.e.data(), &info);
      ASSERT_EQ(info, 0);
      EXPECT_LT(test::eigenvalue_error(scaled(r.d, scale), scaled(oracle, scale)), kBound);

      Solution q{t.d, std::vector<double>(static_cast<std::size_t>(n) * n, 7.0)};
      std::vector<double> e = t.e, work(std::max(1, 2 * n - 2));
      dsteqr("I", &n, q.w.data(), e.data(), q.z.data(), &n, work.data(), &q.info);
      expect_eigenpairs("dsteqr", n, a, q, scale);
      EXPECT_LT(test::eigenvalue_error(scaled(q.w, scale), scaled(oracle, scale)), kBound);

      const Solution dc =
          run_dstedc("I", n, t, std::vector<double>(static_cast<std::size_t>(n) * n, 7.0));
      expect_eigenpairs("dstedc I", n, a, dc, scale);
      EXPECT_LT(test::eigenvalue_error(scaled(dc.w, scale), scaled(oracle, scale)), kBound);

      // 'V' multiplies into a given orthogonal Q: the vectors of A = Q*T*Q'.
      const std::vector<double> q0 = test::random_orthogonal(n, 5);
      const Solution v = run_dstedc("V", n, t, q0);
      std::vector<double> full(static_cast<std::size_t>(n) * n, 0.0);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          long double s = 0;
          for (int k = 0; k < n; ++k)
            for (int l = std::max(0, k - 1); l <= std::min(n - 1, k + 1); ++l)
              s += static_cast<long double>(q0[i + k * n]) * a[k + l * n] * q0[j + l * n];
          full[i + j * n] = static_cast<double>(s);
        }
      expect_eigenpairs("dstedc V", n, full, v, scale);

      if (kind == Kind::Diagonal) {
        // Unit vectors, each the eigenvector of its own diagonal entry.
        for (int j = 0; j < n; ++j) {
          int ones = 0;
          for (int i = 0; i < n; ++i) {
            const double x = dc.z[i + j * n];
            if (std::fabs(x) == 1.0) {
              ++ones;
              EXPECT_EQ(t.d[i], dc.w[j]);
            } else {
              EXPECT_EQ(x, 0.0);
            }
          }
          EXPECT_EQ(ones, 1);
        }
      }
    }
  }
}

// Large orders on one to four threads: parallel leaves and parallel merge levels.  The
// eigenvalues must agree with the root-free iteration, the pairs must be accurate.
TEST(TridiagonalEigen, DivideAndConquerOnOneToFourThreads) {
  for (int n : {200, 500}) {
    for (Kind kind : {Kind::Random, Kind::Glued}) {
      const Tridiagonal t = make_tridiagonal(n, kind, n);
      Tridiagonal r = t;
      int info = 0;
      dsterf(&n, r.d.data(), r.e.data(), &info);
      const std::vector<double> a = dense(n, t);
      for (int threads = 1; threads <= 4; ++threads) {
        SCOPED_TRACE(std::to_string(n) + " on " + std::to_string(threads) + " threads");
        ZTR_Set_Num_Threads(threads);
        const Solution dc =
            run_dstedc("I", n, t, std::vector<double>(static_cast<std::size_t>(n) * n));
        expect_eigenpairs("dstedc", n, a, dc, 1.0);
        EXPECT_LT(test::eigenvalue_error(dc.w, r.d), kBound);
      }
    }
  }
  ZTR_Set_Num_Threads(1);
}

// The parallel divide and conquer's scratch cannot be allocated: the sequential path gives
// the same accurate result, and nothing leaks.
TEST(TridiagonalEigen, FailedScratchFallsBackToSequential) {
  const int n = 300;
  const Tridiagonal t = make_tridiagonal(n, Kind::Random, 3);
  const std::vector<double> a = dense(n, t);
  ZTR_Set_Num_Threads(2);
  run_dstedc("I", n, t, std::vector<double>(static_cast<std::size_t>(n) * n));  // pools buffers
  const long live = ztr_testalloc_live();
  const long failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(n) * n * 8);
  const Solution dc = run_dstedc("I", n, t, std::vector<double>(static_cast<std::size_t>(n) * n));
  ztr_testalloc_reset();
  EXPECT_GT(ztr_testalloc_failures(), failures);
  EXPECT_EQ(ztr_testalloc_live(), live);
  expect_eigenpairs("fallback", n, a, dc, 1.0);
  ZTR_Set_Num_Threads(1);
}

TEST(TridiagonalEigen, ArgumentErrorsAndWorkspaceSizes) {
  struct Case {
    const char* compz;
    int n, ldz, lwork, liwork, info;
  };
  const Case cases[] = {{"X", 30, 30, 10000, 1000, -1}, {"I", -1, 30, 10000, 1000, -2},
                        {"I", 30, 29, 10000, 1000, -6}, {"N", 30, 0, 10, 10, -6},
                        {"I", 30, 30, 1020, 1000, -8},  {"I", 30, 30, 10000, 152, -10},
                        {"V", 26, 26, 3000, 420, -8}};
  std::vector<double> d(40), e(40), z(4000), work(10000);
  std::vector<int> iwork(1000);
  for (const Case& c : cases) {
    int info = 0;
    CaptureStdout();
    dstedc(c.compz, &c.n, d.data(), e.data(), z.data(), &c.ldz, work.data(), &c.lwork, iwork.data(),
           &c.liwork, &info);
    EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-c.info) +
                                       " was incorrect on entry to DSTEDC.\n");
    EXPECT_EQ(info, c.info);
  }
  // Minimum sizes: 'I' 1 + 4n + n^2 and 3 + 5n; 'V' with lg = ceil(log2 n); small n 2(n-1).
  struct Size {
    const char* compz;
    int n, lwork, liwork;
  };
  const Size sizes[] = {{"I", 30, 1 + 120 + 900, 153},
                        {"V", 26, 1 + 78 + 2 * 26 * 5 + 4 * 676, 6 + 156 + 5 * 26 * 5},
                        {"I", 25, 48, 1},
                        {"N", 100, 1, 1},
                        {"I", 1, 1, 1}};
  for (const Size& s : sizes) {
    int info = 0;
    const int minus_one = -1, ldz = 100;
    dstedc(s.compz, &s.n, d.data(), e.data(), z.data(), &ldz, work.data(), &minus_one, iwork.data(),
           &minus_one, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(work[0], s.lwork) << s.compz << s.n;
    EXPECT_EQ(iwork[0], s.liwork) << s.compz << s.n;
  }
}

}  // namespace
}  // namespace ztr
