// The tridiagonal reduction and its Q, and parts of the tridiagonal solvers on their own: the
// closed form of order two in the relatively robust representations, the half-open value
// interval of bisection, and divide and conquer updating a given orthogonal matrix.
// (The solvers' accuracy on hard spectra, thread counts and failed scratch: the drivers'
// tests.)
#include <gtest/gtest.h>

#include <cstring>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/syevr/tridiagonal.h"
#include "lapack/tridiagonal/dstedc.h"
#include "testalloc.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sygv/syrdb.h"
#include "lapack/tridiagonal/dsterf.h"

namespace ztr {
namespace {

using test::Tridiagonal;

// Order 2 by its closed form, for both signs of the coupling and none; the value interval of
// bisection is half-open, (vl, vu].
TEST(TridiagonalEigen, OrderTwoAndTheHalfOpenInterval) {
  for (const Tridiagonal& t :
       {Tridiagonal{"pos", {3.0, 1.0}, {2.0, 0.0}}, Tridiagonal{"neg", {-3.0, 1.0}, {-2.0, 0.0}},
        Tridiagonal{"diag", {5.0, -1.0}, {0.0, 0.0}}}) {
    SCOPED_TRACE(t.name);
    const int n = 2, il = 0, iu = 0, lwork = 36, liwork = 20;
    const double vl = 0, vu = 0;
    int m = 0, info = -99, tryrac = 1, isuppz[4];
    std::vector<double> d = t.d, e = t.e, w(n), z(n * n, -7.0), work(lwork);
    std::vector<int> iwork(liwork);
    dstemr("V", "A", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &n, &n,
           isuppz, &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
    ASSERT_EQ(info, 0);
    ASSERT_EQ(m, 2);
    EXPECT_LE(w[0], w[1]);
    EXPECT_LT(
        test::value_error(test::tri_norm(t), 2, w.data(), test::oracle_eigenvalues(t).data(), 2),
        test::kValueBound);
    const std::vector<double> dense = {t.d[0], t.e[0], t.e[0], t.d[1]};
    EXPECT_LT(test::eigen_residual(2, dense, 2, w.data(), z.data(), 2, 2), test::kResidualBound);
    EXPECT_LT(test::orthogonality(2, 2, z.data(), 2), test::kMrrrOrthoBound);
    EXPECT_TRUE(test::supports_cover(2, 2, z.data(), 2, isuppz));
  }
  const Tridiagonal t{"", {1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}};
  const int n = 3, il = 0, iu = 0;
  const double vl = 1.0, vu = 3.0, abstol = 0;
  int m = 0, nsplit = 0, info = 0, iblock[3], isplit[3], iwork[9];
  double w[3], work[12];
  dstebz("V", "E", &n, &vl, &vu, &il, &iu, &abstol, t.d.data(), t.e.data(), &m, &nsplit, w, iblock,
         isplit, work, iwork, &info);
  ASSERT_EQ(m, 2);
  EXPECT_EQ(w[0], 2.0);
  EXPECT_EQ(w[1], 3.0);
}

// Divide and conquer that updates a given orthogonal matrix (dstedc with compz 'V'): the
// eigenvectors of a dense symmetric A from its tridiagonal T and Q, checked by
// ||A*Z - Z*diag(w)||, ||Z'*Z - I|| and the eigenvalues against a long-double bisection of T,
// across the leaf size and several merge levels, on spectra that make the merges deflate
// (rotations of equal pairs, clusters, a whole merge at once), on one to four threads, and
// with the parallel scratch unobtainable.
struct Problem {
  std::string name;
  test::Tridiagonal t;
  std::vector<double> q, a;  // A = Q*T*Q'
};

// A given tridiagonal T turned by a random orthogonal Q.
Problem rotated(std::string name, test::Tridiagonal t, unsigned seed) {
  const int n = t.n();
  std::vector<double> q = test::random_orthogonal(n, seed), a = test::dense_from(t, n, seed);
  return Problem{std::move(name), std::move(t), std::move(q), std::move(a)};
}

std::vector<Problem> problems(int n) {
  std::vector<Problem> out;
  out.push_back(rotated("random", test::random_tridiagonal("", n, 100 + n), 100 + n));
  // 1-2-1: every torn half is the mirror image of its neighbour, so each merge below the top
  // deflates equal pairs by rotations that the merges above must replay.
  out.push_back(
      rotated("toeplitz", {"", std::vector<double>(n, 2.0), std::vector<double>(n, -1.0)}, 1));
  // Copies of a 7 x 7 Wilkinson block glued by 1e-9: pairs of eigenvalues within 1e-18.
  test::Tridiagonal w = test::glued(n / 7 + 1, 3, 1e-9);
  w.d.resize(n), w.e.resize(n);
  out.push_back(rotated("glued", w, 2));
  // Three values, each repeated to within 1e-13.
  std::vector<long double> l;
  for (int i = 0; i < n; ++i)
    l.push_back((i % 3 == 0 ? -1.0L : i % 3 == 1 ? 0.5L : 2.0L) + i * 1e-13L);
  out.push_back(rotated("repeated", test::with_spectrum("", l, 3), 3));
  // Couplings far below the deflation tolerance yet above the splitting one, except at the
  // middle: every merge below the top deflates whole, and the top one relies on their order.
  test::Tridiagonal c{"", std::vector<double>(n), std::vector<double>(n, 1e-17)};
  test::Rng g(7);
  for (double& x : c.d) x = test::uniform(g, 1e-3, 2e-3);
  c.d[n / 3] = 1.0;
  c.e[n / 2 - 1] = 0.5;
  out.push_back(rotated("coupled_diagonal", c, 4));
  return out;
}

// dstedc('V') with exactly the workspace its query asks for.
void expect_eigen_decomposition(const Problem& p) {
  SCOPED_TRACE(p.name + ", n = " + std::to_string(p.t.n()));
  int n = p.t.n(), info = 0, lwork = -1, liwork = -1, iq = 0;
  std::vector<double> w = p.t.d, e = p.t.e, z = p.q;
  double wq = 0;
  dstedc("V", &n, w.data(), e.data(), z.data(), &n, &wq, &lwork, &iq, &liwork, &info);
  lwork = static_cast<int>(wq);
  liwork = iq;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  dstedc("V", &n, w.data(), e.data(), z.data(), &n, work.data(), &lwork, iwork.data(), &liwork,
         &info);
  ASSERT_EQ(info, 0);
  const std::vector<long double> oracle = test::oracle_eigenvalues(p.t);
  for (int i = 1; i < n; ++i) ASSERT_LE(w[i - 1], w[i]) << i;
  EXPECT_LT(test::value_error(test::tri_norm(p.t), n, w.data(), oracle.data(), n),
            test::kValueBound);
  EXPECT_LT(test::eigen_residual(n, p.a, n, w.data(), z.data(), n, n), test::kResidualBound);
  EXPECT_LT(test::orthogonality(n, n, z.data(), n), test::kResidualBound);
}

// One thread: leaves of 25 rows, so up to four merge levels rebuild z from the records below.
// Two to four threads: the parallel mode solves about one leaf per thread; the merges stay
// in order.  When the per-thread scratch cannot be allocated, the sequential mode gives the
// result, and nothing leaks.
TEST(DstedcGivenBasis, EigenpairsAcrossLeavesLevelsDeflationAndThreads) {
  {  // the query asks for the documented minimum, lg n rounded up (5 for 26)
    const int order = 26, minus_one = -1;
    int info = 0, iq = 0;
    double wq = 0, x = 0;
    dstedc("V", &order, &x, &x, &x, &order, &wq, &minus_one, &iq, &minus_one, &info);
    EXPECT_EQ(wq, 1 + 3 * order + 2 * order * 5 + 4 * order * order);
    EXPECT_EQ(iq, 6 + 6 * order + 5 * order * 5);
  }
  for (int threads = 1; threads <= 4; ++threads) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    ZTR_Set_Num_Threads(threads);
    for (int n : {26, 100, 300})
      if (threads == 1 || n == 300)
        for (const Problem& p : problems(n)) expect_eigen_decomposition(p);
  }
  ZTR_Set_Num_Threads(2);
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(300) * 300 * 8);
  expect_eigen_decomposition(problems(300)[0]);
  ztr_testalloc_reset();
  EXPECT_GT(ztr_testalloc_failures(), failures);
  EXPECT_EQ(ztr_testalloc_live(), live);
  ZTR_Set_Num_Threads(1);
}

// The tridiagonal reduction and its Q (applied to the identity, and formed by DORGTR):
// ||Q'*A*Q - T|| and ||Q'*Q - I|| for both triangles, sequential and threaded paths (blocked
// steps, unblocked stage, reduced workspace).
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
    const Matrix a = test::gram(n, n, 'A', n);
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
