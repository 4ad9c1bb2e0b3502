// QR factorization and Q generation: R against a textbook Householder QR, ||A - Q*R|| and
// ||Q'*Q - I|| on every path of DGEQRF (serial blocked, task-parallel with 2 to 4 threads,
// the row-split panels of tall matrices, short workspaces, failed allocations), DORGQR's
// blocking and its special cases, the argument checks and the workspace queries; and the
// reflector's sign rule and its tiny-input rescaling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "qr_checks.h"
#include "error_text.h"
#include "service/threads.h"
#include "testalloc.h"

namespace ztr {
namespace {

constexpr double kRatioBound = 30.0;  // the usual LAPACK test threshold

enum class Lwork { kOptimal, kMinimal, kBetween };

int query_dgeqrf(int m, int n, int lda) {
  double w = 0;
  int lwork = -1, info = 0;
  dgeqrf(&m, &n, nullptr, &lda, nullptr, &w, &lwork, &info);
  return static_cast<int>(w);
}

// Factors a generated matrix through dgeqrf with the given workspace, forms Q with dorgqr and
// checks the three ratios; prints what failed and returns the number of failures.
int check_qr(int m, int n, Lwork lw, std::uint64_t seed) {
  const int lda = m + 2, k = std::min(m, n);
  const std::vector<double> a0 = test::qr_matrix(m, n, lda, seed);
  std::vector<double> a = a0, tau(std::max(1, k), -5.0);
  const int opt = query_dgeqrf(m, n, lda);
  int lwork = lw == Lwork::kOptimal ? std::max(opt, std::max(1, n)) : std::max(1, n);
  if (lw == Lwork::kBetween) lwork = std::max(lwork, (opt + lwork) / 2);
  std::vector<double> work(std::max(1, lwork));
  int info = -9;
  dgeqrf(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info);
  int failures = 0;
  auto fail = [&](const char* what, double value) {
    std::printf("%dx%d lwork %d (opt %d): %s %g\n", m, n, lwork, opt, what, value);
    ++failures;
  };
  if (info != 0) fail("info", info);
  if (k == 0) return failures;
  const double rdiff = test::r_difference(m, n, a0.data(), lda, a.data(), lda);
  if (!(rdiff < kRatioBound)) fail("R differs from the textbook QR by", rdiff);
  // Q: m x k from the k reflectors, with dorgqr's optimal and minimal workspaces.
  for (bool optimal : {true, false}) {
    std::vector<double> q(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(lda) * k);
    int qlwork = -1;
    double wq = 0;
    dorgqr(&m, &k, &k, q.data(), &lda, tau.data(), &wq, &qlwork, &info);
    qlwork = optimal ? static_cast<int>(wq) : k;
    std::vector<double> qwork(std::max(1, qlwork));
    dorgqr(&m, &k, &k, q.data(), &lda, tau.data(), qwork.data(), &qlwork, &info);
    if (info != 0) fail("dorgqr info", info);
    const double res = test::qr_residual(m, n, a0.data(), lda, q.data(), lda, a.data(), lda);
    if (!(res < kRatioBound)) fail("||A - QR|| ratio", res);
    const double orth = test::orthogonality(m, k, q.data(), lda);
    if (!(orth < kRatioBound)) fail("||Q'Q - I|| ratio", orth);
  }
  return failures;
}

// Shapes on both sides of the blocks and crossovers: tiny, square, tall, wide, several
// panels of the task path (n >= 200), and tall ones with m/n >= 70 (serial blocked with
// row-split panels).
int battery() {
  const int shapes[][2] = {{0, 3},     {3, 0},     {1, 1},     {5, 3},     {3, 5},
                           {40, 40},   {130, 70},  {220, 220}, {300, 150}, {150, 330},
                           {420, 260}, {2800, 40}, {7000, 100}};
  int failures = 0;
  std::uint64_t seed = 100;
  for (const auto& s : shapes)
    for (Lwork lw : {Lwork::kOptimal, Lwork::kMinimal, Lwork::kBetween})
      failures += check_qr(s[0], s[1], lw, ++seed);
  return failures;
}

ZTR_CHILD(qr_every_path) {
  const long live = ztr_testalloc_live();
  const int failures = battery();
  if (ztr_testalloc_live() != live) {
    std::printf("leak: %ld blocks\n", ztr_testalloc_live() - live);
    return 100;
  }
  return failures;
}

// The n-th allocation of a task-path call fails: the panel buffer (the factorization goes on
// without it), the private work array (lwork short of the optimum), the status array (both
// fall back to the serial path).  Silent, correct, nothing leaked.
ZTR_CHILD(qr_allocation_failures) {
  const int m = 300, n = 300, lda = m;
  const std::vector<double> a0 = test::qr_matrix(m, n, lda, 9);
  const int opt = query_dgeqrf(m, n, lda);
  int failures = 0;
  for (int lwork : {opt, n}) {
    const int allocations = lwork < opt ? 3 : 2;
    for (int nth = 1; nth <= allocations; ++nth) {
      std::vector<double> a = a0, tau(n), work(lwork);
      int info = -1;
      dgeqrf(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info);  // warm
      a = a0;
      const long live = ztr_testalloc_live();
      const long failed = ztr_testalloc_failures();
      ztr_testalloc_fail_nth(nth, 0);
      const std::string out = test::captured(
          [&] { dgeqrf(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info); });
      ztr_testalloc_reset();
      const double rdiff = test::r_difference(m, n, a0.data(), lda, a.data(), lda);
      if (ztr_testalloc_failures() != failed + 1 || !out.empty() || info != 0 ||
          !(rdiff < kRatioBound) || ztr_testalloc_live() != live) {
        std::printf("lwork %d, allocation %d: failures %ld, out '%s', info %d, R %g, live %ld\n",
                    lwork, nth, ztr_testalloc_failures() - failed, out.c_str(), info, rdiff,
                    ztr_testalloc_live() - live);
        ++failures;
      }
    }
  }
  return failures;
}

// Every path on one to four threads; dynamic mode trims the threads of the short task path
// and of the row-split panels.  The task path's allocations fail one by one.
TEST(Dgeqrf, EveryPathMatchesTheTextbookQrAndFallsBackSilently) {
  const std::string fast = "ZTR_DISABLE_FAST_MM=1";
  test::expect_children(
      {{"qr_every_path", {"ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE", fast}},
       {"qr_every_path", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", fast}},
       {"qr_every_path", {"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=FALSE", fast}},
       {"qr_every_path", {"ZTR_NUM_THREADS=4", "ZTR_DYNAMIC=FALSE", fast}},
       {"qr_every_path", {"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=TRUE", fast}},
       {"qr_allocation_failures", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", fast}}});
}

TEST(QrArguments, ErrorsAreReportedWithTheirPositionsAndTouchNothing) {
  std::vector<double> a(12, 1.0), tau(3, 2.0), work(4, 3.0);
  struct Case {
    bool orgqr;
    int m, n, k, lda, lwork, info;
  };
  for (Case c : {Case{false, -1, 2, 0, 3, 4, -1}, Case{false, 3, -1, 0, 3, 4, -2},
                 Case{false, 3, 2, 0, 2, 4, -4}, Case{false, 3, 3, 0, 3, 2, -7},
                 Case{false, 3, 0, 0, 3, 0, -7}, Case{true, -1, 0, 0, 1, 1, -1},
                 Case{true, 3, 4, 2, 4, 4, -2}, Case{true, 3, -1, 0, 3, 4, -2},
                 Case{true, 4, 3, 4, 4, 4, -3}, Case{true, 4, 3, -1, 4, 4, -3},
                 Case{true, 4, 3, 2, 3, 4, -5}, Case{true, 4, 3, 2, 4, 2, -8}}) {
    int info = 0;
    EXPECT_EQ(test::captured([&] {
                if (c.orgqr)
                  dorgqr(&c.m, &c.n, &c.k, a.data(), &c.lda, tau.data(), work.data(), &c.lwork,
                         &info);
                else
                  dgeqrf(&c.m, &c.n, a.data(), &c.lda, tau.data(), work.data(), &c.lwork, &info);
              }),
              test::xerbla_text(c.orgqr ? "DORGQR" : "DGEQRF", -c.info));
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(a, std::vector<double>(12, 1.0));
  EXPECT_EQ(tau, std::vector<double>(3, 2.0));
  EXPECT_EQ(work, std::vector<double>(4, 3.0));
}

// No reflectors give the identity's first columns; with k < n the last n-k columns start
// from the identity's and are reflected, the first k are those of the full factorization.
TEST(Dorgqr, FewerReflectorsThanColumns) {
  for (auto [m, n] : std::initializer_list<std::pair<int, int>>{{5, 3}, {200, 150}}) {
    const int k = 0, lda = m + 1;
    std::vector<double> a = test::random_matrix(m, n, lda, 4), tau(1), work(n * 64);
    int lwork = static_cast<int>(work.size()), info = -1;
    dorgqr(&m, &n, &k, a.data(), &lda, tau.data(), work.data(), &lwork, &info);
    EXPECT_EQ(info, 0);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) ASSERT_EQ(a[i + j * lda], i == j ? 1.0 : 0.0) << i << "," << j;
  }
  const int m = 300, n = 180, k = 70, lda = m;
  const std::vector<double> a0 = test::qr_matrix(m, n, lda, 21);
  std::vector<double> a = a0, tau(n), work(static_cast<std::size_t>(n) * 128);
  int lwork = static_cast<int>(work.size()), info = -1;
  dgeqrf(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info);
  std::vector<double> q = a;
  dorgqr(&m, &n, &k, q.data(), &lda, tau.data(), work.data(), &lwork, &info);
  EXPECT_EQ(info, 0);
  EXPECT_LT(test::orthogonality(m, n, q.data(), lda), kRatioBound);
  EXPECT_LT(test::qr_residual(m, k, a0.data(), lda, q.data(), lda, a.data(), lda), kRatioBound);
}

// The reflector's sign rule and its accuracy at the edge of the exponent range.  (Block
// reflectors on every side, transpose and direction are checked through the drivers that
// apply them: the factorizations, Q generation and multiplication by the reduction's Q.)
using test::kUnitRoundoff;

TEST(Dlarfg, SignRuleZeroVectorAndTinyInput) {
  // n = 1 and a zero x: H = I, alpha untouched.
  double alpha = -2.5, zero[2] = {0.0, 0.0}, tau = 7;
  ztr_lapack_dlarfg(1, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  ztr_lapack_dlarfg(3, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  EXPECT_EQ(alpha, -2.5);
  // H*(alpha; x) = (beta; 0) with beta of the sign opposite to alpha's, for either sign, at
  // ordinary scale and at a scale whose squares underflow (the rescaling must keep v exact
  // to rounding), and with a strided x: v = (1, x0, x2), H*y = y - tau*v*(v'*y).
  for (double scale : {1.0, 1e-300})
    for (double sign : {1.0, -1.0}) {
      const double y[3] = {sign * 3 * scale, 4 * scale, 12 * scale}, norm = 13 * scale;
      double x[4] = {y[1], -99, y[2], -99};
      alpha = y[0];
      ztr_lapack_dlarfg(3, &alpha, x, 2, &tau);
      EXPECT_NEAR(alpha / norm, -sign, 4 * kUnitRoundoff);
      EXPECT_NEAR(tau, (alpha - y[0]) / alpha, 4 * kUnitRoundoff);
      const double v[3] = {1.0, x[0], x[2]}, w = v[0] * y[0] + v[1] * y[1] + v[2] * y[2];
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR((y[i] - tau * v[i] * w) / norm, i == 0 ? alpha / norm : 0.0, 8 * kUnitRoundoff)
            << scale << " " << i;
      EXPECT_EQ(x[1], -99);
      EXPECT_EQ(x[3], -99);
    }
}

}  // namespace
}  // namespace ztr
