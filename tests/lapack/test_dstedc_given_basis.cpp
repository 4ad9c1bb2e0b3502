// Divide and conquer that updates a given orthogonal matrix (dstedc with compz 'V'): the
// eigenvectors of a dense symmetric A from its tridiagonal T and Q, checked by
// ||A*Z - Z*diag(w)||, ||Z'*Z - I|| and the eigenvalues against a long-double bisection of T,
// across the leaf size and several merge levels, on spectra that make the merges deflate
// (rotations of equal pairs, clusters, a whole merge at once), on one to four threads, and
// with the parallel scratch unobtainable.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "include/ztr.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/tridiagonal/dstedc.h"
#include "testalloc.h"

namespace ztr {
namespace {

struct Problem {
  std::string name;
  test::Tridiagonal t;
  std::vector<double> q, a;  // A = Q*T*Q'
};

// A random symmetric matrix and its reduction T = Q'*A*Q.
Problem reduced(int n, unsigned seed) {
  test::Rng g(seed);
  Problem p{"reduced", {"", std::vector<double>(n), std::vector<double>(n, 0.0)}, {}, {}};
  p.a.resize(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) p.a[i + j * n] = p.a[j + i * n] = test::uniform(g);
  p.q = p.a;
  std::vector<double> tau(n);
  int lwork = 64 * n, info = 0;
  std::vector<double> work(lwork);
  ztr_lapack_dsytrd("L", &n, p.q.data(), &n, p.t.d.data(), p.t.e.data(), tau.data(), work.data(),
                    &lwork, &info);
  dorgtr("L", &n, p.q.data(), &n, tau.data(), work.data(), &lwork, &info);
  EXPECT_EQ(info, 0);
  return p;
}

// A given tridiagonal T turned by a random orthogonal Q.
Problem rotated(std::string name, test::Tridiagonal t, unsigned seed) {
  const int n = t.n();
  std::vector<double> q = test::random_orthogonal(n, seed), a = test::dense_from(t, n, seed);
  return Problem{std::move(name), std::move(t), std::move(q), std::move(a)};
}

std::vector<Problem> problems(int n) {
  std::vector<Problem> out;
  out.push_back(reduced(n, 100 + n));
  // 1-2-1: every torn half is the mirror image of its neighbour, so each merge below the top
  // deflates equal pairs by rotations that the merges above must replay.
  out.push_back(
      rotated("toeplitz", {"", std::vector<double>(n, 2.0), std::vector<double>(n, -1.0)}, 1));
  // Copies of a 7 x 7 Wilkinson block glued by 1e-9: pairs of eigenvalues within 1e-18.
  test::Tridiagonal w{"", {}, {}};
  for (int i = 0; i < n; ++i) {
    w.d.push_back(std::fabs(3.0 - i % 7));
    w.e.push_back(i % 7 == 6 ? 1e-9 : 1.0);
  }
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
  double norm = 0;
  for (long double x : oracle) norm = std::max(norm, std::fabs(static_cast<double>(x)));
  EXPECT_LT(test::value_error(norm, n, w.data(), oracle.data(), n), test::kValueBound);
  EXPECT_LT(test::eigen_residual(n, p.a, n, w.data(), z.data(), n, n), test::kResidualBound);
  EXPECT_LT(test::orthogonality(n, n, z.data(), n), test::kResidualBound);
}

// One thread: leaves of 25 rows, so up to four merge levels rebuild z from the records below.
TEST(DstedcGivenBasis, EigenpairsAcrossLeavesLevelsAndDeflation) {
  ZTR_Set_Num_Threads(1);
  for (int n : {26, 100, 300})
    for (const Problem& p : problems(n)) expect_eigen_decomposition(p);
}

// The parallel mode solves about one leaf per thread; the merges stay in order.  When the
// per-thread scratch cannot be allocated, the sequential mode gives the result, and nothing
// leaks.
TEST(DstedcGivenBasis, TwoToFourThreadsAndWithoutScratch) {
  const std::vector<Problem> ps = problems(300);
  for (int threads = 2; threads <= 4; ++threads) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    ZTR_Set_Num_Threads(threads);
    for (const Problem& p : ps) expect_eigen_decomposition(p);
  }
  ZTR_Set_Num_Threads(2);
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(300) * 300 * 8);
  expect_eigen_decomposition(ps[0]);
  ztr_testalloc_reset();
  EXPECT_GT(ztr_testalloc_failures(), failures);
  EXPECT_EQ(ztr_testalloc_live(), live);
  ZTR_Set_Num_Threads(1);
}

}  // namespace
}  // namespace ztr
