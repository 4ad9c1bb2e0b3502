// The tridiagonal reduction and the multiplication by its Q: ||Q'*A*Q - T|| and ||Q'*Q - I||
// for both triangles, sequential and threaded paths (blocked steps, unblocked stage, reduced
// workspace), DORGTR's Q, and op(Q)*C, C*op(Q) for every side and transposition against the
// explicit Q, on the sequential kernels and the threaded slices.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sygv/syrdb.h"
#include "lapack/tridiagonal/dsterf.h"

namespace ztr {
namespace {

using test::Matrix;
constexpr double kBound = 30.0;

struct Reduction {
  Matrix a, q;  // the reflectors, and Q applied to the identity by dormtr
  std::vector<double> d, e, tau;
};

Reduction reduce(const char* uplo, int n, const Matrix& a0, int lwork) {
  Reduction r{a0, Matrix(static_cast<std::size_t>(n) * n, 0.0), std::vector<double>(n),
              std::vector<double>(n), std::vector<double>(n)};
  std::vector<double> work(std::max(lwork, n * 64 + 65 * 64));
  int info = 0;
  ztr_lapack_dsytrd(uplo, &n, r.a.data(), &n, r.d.data(), r.e.data(), r.tau.data(), work.data(),
                    &lwork, &info);
  EXPECT_EQ(info, 0);
  for (int i = 0; i < n; ++i) r.q[i + i * n] = 1.0;
  lwork = static_cast<int>(work.size());
  dormtr("L", uplo, "N", &n, &n, r.a.data(), &n, r.tau.data(), r.q.data(), &n, work.data(), &lwork,
         &info);
  EXPECT_EQ(info, 0);
  return r;
}

Matrix random_symmetric(int n, std::uint64_t seed) {
  test::Rng g(static_cast<test::Rng::result_type>(seed));
  Matrix a(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) a[i + j * n] = a[j + i * n] = test::uniform(g);
  return a;
}

TEST(Sytrd, ReductionOnEveryPath) {
  struct Case {
    int n, threads, lwork;
  };
  // 20: sequential below 32 rows; 230: sequential blocked (crossover 200); 64 with two
  // threads: threaded unblocked stage only; 530 with three threads: threaded blocked steps
  // (crossover 500; strips of unequal parity); 230 with lwork 3n: the reduced block.
  for (const Case& c : {Case{20, 2, 64 * 20}, Case{230, 1, 64 * 230}, Case{64, 2, 64 * 64},
                        Case{530, 3, 64 * 530}, Case{230, 1, 3 * 230}}) {
    ZTR_Set_Num_Threads(c.threads);
    const int n = c.n;
    const Matrix a = random_symmetric(n, n);
    for (const char* uplo : {"U", "L"}) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", " + std::to_string(c.threads) +
                   " threads, uplo " + uplo + ", lwork " + std::to_string(c.lwork));
      const Reduction r = reduce(uplo, n, a, c.lwork);
      Matrix t = test::mul(n, r.q, true, test::mul(n, a, false, r.q, false), false);
      for (int i = 0; i < n; ++i) {
        t[i + i * n] -= r.d[i];
        if (i + 1 < n) t[i + 1 + i * n] -= r.e[i], t[i + (i + 1) * n] -= r.e[i];
      }
      const double anorm = test::one_norm_diff(n, n, a.data(), n, nullptr, 0);
      EXPECT_LT(
          test::one_norm_diff(n, n, t.data(), n, nullptr, 0) / (anorm * n * test::kUnitRoundoff),
          kBound);
      EXPECT_LT(test::orthogonality(n, n, r.q.data(), n), kBound);
      // DORGTR forms the same Q in place of the reflectors.
      Matrix q = r.a;
      int lwork = n * 64, info = 0;
      std::vector<double> work(lwork);
      dorgtr(uplo, &n, q.data(), &n, r.tau.data(), work.data(), &lwork, &info);
      ASSERT_EQ(info, 0);
      EXPECT_LT(test::one_norm_diff(n, n, q.data(), n, r.q.data(), n) / (n * test::kUnitRoundoff),
                kBound);
    }
  }
  ZTR_Set_Num_Threads(1);
}

TEST(Sytrd, MultiplyByQOnEverySideAndTransposition) {
  const int nq = 90, other = 70;
  const Matrix a = random_symmetric(nq, 5);
  test::Rng g(6);
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    for (const char* uplo : {"U", "L"}) {
      const Reduction r = reduce(uplo, nq, a, nq * 64);
      for (const char* side : {"L", "R"})
        for (const char* trans : {"N", "T"}) {
          SCOPED_TRACE(std::to_string(threads) + " threads, " + uplo + side + trans);
          const bool left = *side == 'L';
          const int m = left ? nq : other, n = left ? other : nq;
          const std::vector<double> c = test::random_vector(static_cast<std::size_t>(m) * n, g);
          std::vector<double> expect(m * n, 0.0);  // with the explicit Q
          auto q = [&](int i, int j) { return *trans == 'N' ? r.q[i + j * nq] : r.q[j + i * nq]; };
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i)
              for (int k = 0; k < nq; ++k)
                expect[i + j * m] += left ? q(i, k) * c[k + j * m] : c[i + k * m] * q(k, j);
          for (int lwork : {std::max(m, n) * 64 + 65 * 64, std::max(1, left ? n : m)}) {
            std::vector<double> got = c, work(lwork);
            int info = 0;
            dormtr(side, uplo, trans, &m, &n, const_cast<double*>(r.a.data()), &nq, r.tau.data(),
                   got.data(), &m, work.data(), &lwork, &info);
            ASSERT_EQ(info, 0);
            EXPECT_LT(test::one_norm_diff(m, n, got.data(), m, expect.data(), m) /
                          (nq * test::kUnitRoundoff),
                      kBound)
                << "lwork " << lwork;
          }
        }
    }
  }
  ZTR_Set_Num_Threads(1);
}

// The two-stage reduction: full to band (DSYRDB) and band to tridiagonal (DSBRDB) keep the
// spectrum of matrices with a known one, for both triangles and band widths from 1 to a
// third of the order, and leave the other triangle untouched.

TEST(Dsyrdb, BandThenTridiagonalKeepsTheSpectrum) {
  for (char uplo : {'L', 'U'})
    for (int n : {2, 3, 17, 100})
      for (int kd : {1, 2, 5, 16, 33}) {
        if (kd >= n) continue;
        SCOPED_TRACE(std::string(1, uplo) + " n " + std::to_string(n) + " kd " +
                     std::to_string(kd));
        const int lda = n + 2;
        const test::Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, n + kd);
        const std::vector<double> a0 = test::dense_from(t, lda, n + kd);
        std::vector<double> a = a0, d(n), e(n), work(static_cast<std::size_t>((3 * kd + 3) * n));
        int info = -9;
        ztr_lapack_dsyrdb("N", &uplo, n, kd, a.data(), lda, d.data(), e.data(), nullptr, nullptr, 1,
                          work.data(), static_cast<int>(work.size()), &info);
        ASSERT_EQ(info, 0);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < lda; ++i)
            ASSERT_TRUE((i < n && (uplo == 'L' ? i >= j : i <= j)) ||
                        std::memcmp(&a[i + j * lda], &a0[i + j * lda], sizeof(double)) == 0)
                << i << "," << j;
        dsterf(&n, d.data(), e.data(), &info);
        ASSERT_EQ(info, 0);
        EXPECT_LT(test::value_error(1.0, n, d.data(), t.d.data(), n), test::kValueBound);
      }
}

}  // namespace
}  // namespace ztr
