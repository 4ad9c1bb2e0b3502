// What the symmetric eigensolver drivers do not reach in the tridiagonal solvers: orders one
// and two of the relatively robust representations and the half-open value interval, the
// workspace and vector-count queries, dqds refusing a negative entry, and divide and
// conquer updating a given orthogonal matrix.  (The solvers' accuracy on hard spectra,
// thread counts and failed scratch: the drivers' tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>
#include <algorithm>

#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "lapack/syevr/tridiagonal.h"
#include "lapack/tridiagonal/dstedc.h"
#include "testalloc.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/sytrd/sytrd.h"

namespace ztr {
namespace {

using test::Tridiagonal;

struct Pairs {
  int info = -99, m = 0;
  std::vector<double> w, z;
  std::vector<int> isuppz;
};

// w ascending and against the oracle; with vectors (ld n) the residual and orthogonality.
void expect_pairs(const char* what, const Tridiagonal& t, const Pairs& p, const long double* oracle,
                  int m, double ortho_bound) {
  SCOPED_TRACE(what);
  const int n = t.n();
  ASSERT_EQ(p.info, 0);
  ASSERT_EQ(p.m, m);
  for (int i = 1; i < m; ++i) ASSERT_LE(p.w[i - 1], p.w[i]) << i;
  EXPECT_LT(test::value_error(test::tri_norm(t), n, p.w.data(), oracle, m), test::kValueBound);
  if (p.z.empty()) return;
  EXPECT_LT(test::tri_residual(t, m, p.w.data(), p.z.data(), n), test::kResidualBound);
  EXPECT_LT(test::orthogonality(n, m, p.z.data(), n), ortho_bound);
  EXPECT_TRUE(p.isuppz.empty() || test::supports_cover(n, m, p.z.data(), n, p.isuppz.data()));
}

Pairs mrrr(const Tridiagonal& t, char jobz, char range, double vl, double vu, int il, int iu,
           int tryrac = 1) {
  const int n = t.n(), nzc = n;
  Pairs p{-99, 0, std::vector<double>(n), {}, std::vector<int>(2 * n, -1)};
  if (jobz == 'V') p.z.assign(static_cast<std::size_t>(n) * n, -7.0);
  std::vector<double> d = t.d, e = t.e, work(18 * n);
  std::vector<int> iwork(10 * n);
  int lwork = 18 * n, liwork = 10 * n;
  dstemr(&jobz, &range, &n, d.data(), e.data(), &vl, &vu, &il, &iu, &p.m, p.w.data(),
         jobz == 'V' ? p.z.data() : nullptr, &n, &nzc, p.isuppz.data(), &tryrac, work.data(),
         &lwork, iwork.data(), &liwork, &p.info);
  if (jobz == 'V') p.z.resize(static_cast<std::size_t>(n) * std::max(p.m, 0));
  return p;
}

// Orders 1 and 2 by their closed forms: a subset of the spectrum is bitwise the same value,
// and the value interval is half-open, (vl, vu], for bisection too.
TEST(TridiagonalEigen, OrdersOneAndTwoAndTheHalfOpenInterval) {
  EXPECT_EQ(mrrr(Tridiagonal{"", {1.0}, {0.0}}, 'V', 'V', 1.0, 2.0, 0, 0).m, 0);
  const Pairs one = mrrr(Tridiagonal{"", {2.0}, {0.0}}, 'V', 'V', 1.0, 2.0, 0, 0);
  ASSERT_EQ(one.m, 1);
  EXPECT_EQ(one.w[0], 2.0);
  EXPECT_EQ(one.z[0], 1.0);
  EXPECT_EQ(one.isuppz, (std::vector<int>{1, 1}));
  for (const Tridiagonal& t :
       {Tridiagonal{"pos", {3.0, 1.0}, {2.0, 0.0}}, Tridiagonal{"neg", {-3.0, 1.0}, {-2.0, 0.0}},
        Tridiagonal{"diag", {5.0, -1.0}, {0.0, 0.0}}}) {
    SCOPED_TRACE(t.name);
    const Pairs all = mrrr(t, 'V', 'A', 0, 0, 0, 0);
    expect_pairs("A", t, all, test::oracle_eigenvalues(t).data(), 2, test::kMrrrOrthoBound);
    EXPECT_EQ(mrrr(t, 'V', 'I', 0, 0, 2, 2).w[0], all.w[1]);
    const Pairs lower = mrrr(t, 'N', 'V', all.w[0] - 1, all.w[0], 0, 0);
    ASSERT_EQ(lower.m, 1);
    EXPECT_EQ(lower.w[0], all.w[0]);
    EXPECT_EQ(mrrr(t, 'N', 'V', all.w[0], all.w[1], 0, 0).m, 1);  // open at vl
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

TEST(TridiagonalEigen, WorkspaceAndVectorQueries) {
  std::vector<double> d(40), e(40), z(4000), work(10000);
  std::vector<int> iwork(1000);
  // Minimum sizes: 'I' 1 + 4n + n^2 and 3 + 5n; 'V' with lg = ceil(log2 n); small n 2(n-1).
  struct Size {
    const char* compz;
    int n, lwork, liwork;
  };
  for (const Size& s : {Size{"I", 30, 1 + 120 + 900, 153},
                        Size{"V", 26, 1 + 78 + 2 * 26 * 5 + 4 * 676, 6 + 156 + 5 * 26 * 5},
                        Size{"I", 25, 48, 1}, Size{"N", 100, 1, 1}}) {
    int info = 0;
    const int minus_one = -1, ldz = 100;
    dstedc(s.compz, &s.n, d.data(), e.data(), z.data(), &ldz, work.data(), &minus_one, iwork.data(),
           &minus_one, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(work[0], s.lwork) << s.compz << s.n;
    EXPECT_EQ(iwork[0], s.liwork) << s.compz << s.n;
  }
  // dstemr: the workspace query, the number of vectors a range needs (nzc = -1), and a
  // vector count short of it.  The eigenvalues are 1 + cos(k pi / 6): (1.2, 3] holds two.
  const int n = 5;
  std::vector<double> dd(n, 1.0), ee(n, 0.5), w(n);
  std::vector<int> isuppz(2 * n);
  auto call = [&](char range, double vl, int il, int iu, int nzc, int lwork) {
    const double vu = 3.0;
    int m = 0, info = 0, tryrac = 1, liwork = 10 * n;
    dstemr("V", &range, &n, dd.data(), ee.data(), &vl, &vu, &il, &iu, &m, w.data(), z.data(), &n,
           &nzc, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info);
    return info;
  };
  EXPECT_EQ(call('A', 0, 1, 1, n, -1), 0);
  EXPECT_EQ(work[0], 18 * n);
  EXPECT_EQ(iwork[0], 10 * n);
  EXPECT_EQ(call('V', 1.2, 1, 1, -1, 18 * n), 0);
  EXPECT_EQ(z[0], 2.0);
  EXPECT_EQ(call('I', 0, 2, 4, -1, 18 * n), 0);
  EXPECT_EQ(z[0], 3.0);
  EXPECT_EQ(test::captured([&] { EXPECT_EQ(call('I', 0, 2, 4, 2, 18 * n), -14); }),
            test::xerbla_text("DSTEMR", 14));
}

TEST(Dlasq2, NegativeEntryIsRefused) {
  int n = 2, info = 0;  // a negative entry is refused
  double z[8] = {1.0, -1.0, 1.0, 0.0};
  test::captured([&] { dlasq2(&n, z, &info); });
  EXPECT_EQ(info, -2);
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
