// The tridiagonal reduction and the multiplication by its Q: ||Q'*A*Q - T|| and ||Q'*Q - I||
// for both triangles, sequential and threaded paths (blocked steps, unblocked stage, reduced
// workspace), and op(Q)*C, C*op(Q) for every side and transposition against the explicit Q,
// on the sequential kernels and the threaded slices.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"

namespace ztr {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr double kBound = 30.0;

struct Reduction {
  std::vector<double> a, d, e, tau, q;  // q: the explicit Q (n x n)
};

Reduction reduce(const char* uplo, int n, const std::vector<double>& a0, int lwork) {
  Reduction r{a0, std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
              std::vector<double>(static_cast<std::size_t>(n) * n, 0.0)};
  std::vector<double> work(std::max(lwork, 1));
  int info = 0;
  ztr_lapack_dsytrd(uplo, &n, r.a.data(), &n, r.d.data(), r.e.data(), r.tau.data(), work.data(),
                    &lwork, &info);
  EXPECT_EQ(info, 0);
  for (int i = 0; i < n; ++i) r.q[i + i * n] = 1.0;
  int big = n * 64 + 65 * 64;
  std::vector<double> w2(big);
  dormtr("L", uplo, "N", &n, &n, r.a.data(), &n, r.tau.data(), r.q.data(), &n, w2.data(), &big,
         &info);
  EXPECT_EQ(info, 0);
  return r;
}

// ||Q'*A*Q - T||_1 / (||A||_1 * n * eps).
double tridiagonal_residual(int n, const std::vector<double>& a, const Reduction& r) {
  double worst = 0, anorm = 0;
  std::vector<double> aq(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += a[i + k * n] * r.q[k + j * n];
      aq[i + j * n] = s;
    }
  for (int j = 0; j < n; ++j) {
    double col = 0, acol = 0;
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += r.q[k + i * n] * aq[k + j * n];
      if (i == j) s -= r.d[i];
      if (i == j + 1 || j == i + 1) s -= r.e[std::min(i, j)];
      col += std::fabs(s);
      acol += std::fabs(a[i + j * n]);
    }
    worst = std::max(worst, col);
    anorm = std::max(anorm, acol);
  }
  return worst / (anorm * n * test::kUnitRoundoff);
}

TEST(Sytrd, ReductionOnEveryPath) {
  struct Case {
    int n, threads, lwork;  // lwork -1: n*64 (ample)
  };
  // 20: sequential below 32 rows; 230: sequential blocked (crossover 200); 64 with two
  // threads: threaded unblocked stage only; 530 with three threads: threaded blocked
  // steps (crossover 500, three threads: strips of unequal parity); 230 with lwork n*3: the reduced
  // block.
  const Case cases[] = {{20, 2, -1}, {230, 1, -1}, {64, 2, -1}, {530, 3, -1}, {230, 1, 230 * 3}};
  for (const Case& c : cases) {
    ZTR_Set_Num_Threads(c.threads);
    test::Rng g(static_cast<test::Rng::result_type>(c.n));
    std::vector<double> a(static_cast<std::size_t>(c.n) * c.n);
    for (int j = 0; j < c.n; ++j)
      for (int i = 0; i <= j; ++i) a[i + j * c.n] = a[j + i * c.n] = test::uniform(g);
    for (const char* uplo : {"U", "L"}) {
      SCOPED_TRACE("n = " + std::to_string(c.n) + ", " + std::to_string(c.threads) +
                   " threads, uplo " + uplo);
      const Reduction r = reduce(uplo, c.n, a, c.lwork < 0 ? c.n * 64 : c.lwork);
      EXPECT_LT(tridiagonal_residual(c.n, a, r), kBound);
      EXPECT_LT(test::orthogonality(c.n, c.n, r.q.data(), c.n), kBound);
      // DORGTR forms the same Q in place of the reflectors.
      std::vector<double> q = r.a;
      int lwork = c.n * 64, info = 0;
      std::vector<double> work(lwork);
      dorgtr(uplo, &c.n, q.data(), &c.n, r.tau.data(), work.data(), &lwork, &info);
      ASSERT_EQ(info, 0);
      double worst = 0;
      for (std::size_t i = 0; i < q.size(); ++i) worst = std::max(worst, std::fabs(q[i] - r.q[i]));
      EXPECT_LT(worst / (c.n * test::kUnitRoundoff), kBound);
    }
  }
  ZTR_Set_Num_Threads(1);
}

TEST(Sytrd, MultiplyByQOnEverySideAndTransposition) {
  const int nq = 90, other = 70;
  test::Rng g(static_cast<test::Rng::result_type>(5));
  std::vector<double> a(nq * nq);
  for (int j = 0; j < nq; ++j)
    for (int i = 0; i <= j; ++i) a[i + j * nq] = a[j + i * nq] = test::uniform(g);
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    for (const char* uplo : {"U", "L"}) {
      const Reduction r = reduce(uplo, nq, a, nq * 64);
      for (const char* side : {"L", "R"}) {
        for (const char* trans : {"N", "T"}) {
          SCOPED_TRACE(std::to_string(threads) + " threads, " + uplo + side + trans);
          const bool left = *side == 'L';
          const int m = left ? nq : other, n = left ? other : nq;
          std::vector<double> c(m * n);
          for (double& x : c) x = test::uniform(g);
          // Expected: op(Q)*C or C*op(Q) with the explicit Q.
          std::vector<double> expect(m * n, 0.0);
          auto q = [&](int i, int j) { return *trans == 'N' ? r.q[i + j * nq] : r.q[j + i * nq]; };
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
              double s = 0;
              for (int k = 0; k < nq; ++k)
                s += left ? q(i, k) * c[k + j * m] : c[i + k * m] * q(k, j);
              expect[i + j * m] = s;
            }
          for (int lwork : {std::max(m, n) * 64 + 65 * 64, std::max(1, left ? n : m)}) {
            std::vector<double> got = c, work(lwork);
            int info = 0;
            dormtr(side, uplo, trans, &m, &n, const_cast<double*>(r.a.data()), &nq, r.tau.data(),
                   got.data(), &m, work.data(), &lwork, &info);
            ASSERT_EQ(info, 0);
            double worst = 0;
            for (int i = 0; i < m * n; ++i) worst = std::max(worst, std::fabs(got[i] - expect[i]));
            EXPECT_LT(worst / (nq * test::kUnitRoundoff), kBound) << "lwork " << lwork;
          }
        }
      }
    }
  }
  ZTR_Set_Num_Threads(1);
}

TEST(Sytrd, ArgumentErrors) {
  std::vector<double> a(100), d(10), e(10), tau(10), work(100), c(100);
  struct Case {
    const char* uplo;
    int n, lda, lwork, info;
  };
  for (const Case& k : {Case{"X", 10, 10, 100, -1}, Case{"U", -1, 10, 100, -2},
                        Case{"L", 10, 9, 100, -4}, Case{"L", 10, 10, 0, -9}}) {
    int info = 0;
    CaptureStdout();
    ztr_lapack_dsytrd(k.uplo, &k.n, a.data(), &k.lda, d.data(), e.data(), tau.data(), work.data(),
                      &k.lwork, &info);
    EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-k.info) +
                                       " was incorrect on entry to DSYTRD.\n");
    EXPECT_EQ(info, k.info);
  }
  struct Orm {
    const char *side, *uplo, *trans;
    int m, n, lda, ldc, lwork, info;
  };
  for (const Orm& k :
       {Orm{"X", "U", "N", 10, 10, 10, 10, 100, -1}, Orm{"L", "X", "N", 10, 10, 10, 10, 100, -2},
        Orm{"L", "U", "X", 10, 10, 10, 10, 100, -3}, Orm{"L", "U", "N", -1, 10, 10, 10, 100, -4},
        Orm{"R", "U", "N", 10, -1, 10, 10, 100, -5}, Orm{"R", "L", "T", 10, 8, 7, 10, 100, -7},
        Orm{"L", "L", "T", 10, 8, 10, 9, 100, -10}, Orm{"L", "L", "T", 10, 8, 10, 10, 7, -12}}) {
    int info = 0;
    CaptureStdout();
    dormtr(k.side, k.uplo, k.trans, &k.m, &k.n, a.data(), &k.lda, tau.data(), c.data(), &k.ldc,
           work.data(), &k.lwork, &info);
    EXPECT_EQ(GetCapturedStdout(), "\nZTR ERROR: Parameter " + std::to_string(-k.info) +
                                       " was incorrect on entry to DORMTR.\n");
    EXPECT_EQ(info, k.info);
  }
}

}  // namespace
}  // namespace ztr
