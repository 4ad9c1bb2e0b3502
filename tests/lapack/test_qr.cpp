// QR factorization and Q generation: ||A - Q*R|| and ||Q'*Q - I|| on every path of DGEQRF (serial
// blocked, task-parallel with 2 to 4 threads, the row-split panels of tall matrices, short
// workspaces, failed allocations), DORGQR's blocking and its special cases, the argument checks and
// the workspace queries; the reflector's sign rule and its tiny-input rescaling; and the LAPACKE
// exports of the QR and pivoted Cholesky drivers.
#include <gtest/gtest.h>

#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "qr_checks.h"
#include "error_text.h"
#include "service/threads.h"
#include "testalloc.h"
#include "include/ztr.h"

namespace ztr {
namespace {

using namespace ztr::test;

constexpr double kRatioBound = 30.0;  // the usual LAPACK test threshold

enum class Lwork { kOptimal, kMinimal, kBetween };

int query_dgeqrf(int m, int n, int lda) {
  double w = 0;
  int lwork = -1, info = 0;
  dgeqrf(&m, &n, nullptr, &lda, nullptr, &w, &lwork, &info);
  return static_cast<int>(w);
}

// Factors a generated matrix (times scale) through dgeqrf with the given workspace, forms Q
// with dorgqr and checks both ratios (in a child: failures are reported by its exit code).
void check_qr(int m, int n, Lwork lw, std::uint64_t seed, double scale = 1.0) {
  const int lda = m + 2, k = std::min(m, n);
  std::vector<double> a0 = test::qr_matrix(m, n, lda, seed);
  if (scale != 1.0)
    for (double& x : a0) x *= scale;
  std::vector<double> a = a0, tau(std::max(1, k), -5.0);
  const int opt = query_dgeqrf(m, n, lda);
  int lwork = lw == Lwork::kOptimal ? std::max(opt, std::max(1, n)) : std::max(1, n);
  if (lw == Lwork::kBetween) lwork = std::max(lwork, (opt + lwork) / 2);
  std::vector<double> work(std::max(1, lwork));
  int info = -9;
  dgeqrf(&m, &n, a.data(), &lda, tau.data(), work.data(), &lwork, &info);
  SCOPED_TRACE(testing::Message() << m << "x" << n << " lwork " << lwork << " (opt " << opt
                                  << ") scale " << scale);
  EXPECT_EQ(info, 0);
  if (k == 0) return;
  // Q: m x k from the k reflectors, with dorgqr's optimal and minimal workspaces.
  for (bool optimal : {true, false}) {
    std::vector<double> q(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(lda) * k);
    int qlwork = -1;
    double wq = 0;
    dorgqr(&m, &k, &k, q.data(), &lda, tau.data(), &wq, &qlwork, &info);
    qlwork = optimal ? static_cast<int>(wq) : k;
    std::vector<double> qwork(std::max(1, qlwork));
    dorgqr(&m, &k, &k, q.data(), &lda, tau.data(), qwork.data(), &qlwork, &info);
    EXPECT_EQ(info, 0);
    EXPECT_LT(test::qr_residual(m, n, a0.data(), lda, q.data(), lda, a.data(), lda), kRatioBound);
    EXPECT_LT(test::orthogonality(m, k, q.data(), lda), kRatioBound);
  }
}

// Shapes on both sides of the blocks and crossovers: tiny, square, tall, wide, several
// panels of the task path (n >= 200), and tall ones with m/n >= 70 (serial blocked with
// row-split panels).  Nothing may leak.
ZTR_CHILD(qr_every_path) {
  const int shapes[][2] = {{0, 3},     {3, 0},     {1, 1},     {5, 3},     {3, 5},
                           {40, 40},   {130, 70},  {220, 220}, {300, 150}, {150, 330},
                           {420, 260}, {2800, 40}, {7000, 100}};
  const long live = ztr_testalloc_live();
  std::uint64_t seed = 100;
  for (const auto& s : shapes)
    for (Lwork lw : {Lwork::kOptimal, Lwork::kMinimal, Lwork::kBetween})
      check_qr(s[0], s[1], lw, ++seed);
  EXPECT_EQ(ztr_testalloc_live(), live);
  return ::testing::Test::HasFailure();
}

// Matrices scaled to the edges of the exponent range, as the reference suite's badly scaled
// types do: near underflow the squares of the entries vanish (below about 1e-162 they are
// exactly zero) and near overflow they are infinite, so every reflector must come from the
// rescaling generator.  Square, tall and wide shapes on the serial blocked path (one
// thread), the task path with its row-split first panel (two threads) and the row-split
// panels of a very tall matrix.
ZTR_CHILD(qr_scaled) {
  const int shapes[][2] = {{100, 100}, {130, 130}, {160, 230}, {300, 200}, {7000, 100}};
  std::uint64_t seed = 300;
  for (double scale : {1e-150, 1e-170, 1e-240, 1e-300, 1e+150, 1e+300})
    for (const auto& s : shapes) check_qr(s[0], s[1], Lwork::kOptimal, ++seed, scale);
  return ::testing::Test::HasFailure();
}

// The row-split factorization of a whole trailing matrix (no T), with tiny, ordinary and
// huge entries: R and the reflectors must be those of the unblocked QR, to rounding.
ZTR_CHILD(qr_row_split_rest_scaled) {
  const int m = 260, n = 180;
  for (double scale : {1e-300, 1e-170, 1.0, 1e+300}) {
    std::vector<double> a = test::qr_matrix(m, n, m, 77), ref, tau(n), ref_tau(n), work(n);
    for (double& x : a) x *= scale;
    ref = a;
    ztr_lapack_dgeqr2(m, n, ref.data(), m, ref_tau.data(), work.data());
    ztr_lapack_dgeqrf_pfnr(m, n, a.data(), m, tau.data(), work.data());
    double diff = 0, norm = 0, tau_diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const bool upper = static_cast<int>(i % m) <= static_cast<int>(i / m);
      const double s = upper ? scale : 1.0;  // R scales with A, the reflectors do not
      diff = std::max(diff, std::fabs(a[i] - ref[i]) / s);
      norm = std::max(norm, std::fabs(ref[i]) / s);
    }
    for (int j = 0; j < n; ++j) tau_diff = std::max(tau_diff, std::fabs(tau[j] - ref_tau[j]));
    EXPECT_LT(diff / (norm * m * kUnitRoundoff), kRatioBound) << scale;
    EXPECT_LT(tau_diff / (m * kUnitRoundoff), kRatioBound) << scale;
  }
  return ::testing::Test::HasFailure();
}

TEST(Dgeqrf, BadlyScaledMatricesOnEveryPath) {
  const std::string fast = "ZTR_DISABLE_FAST_MM=1";
  test::expect_children({{"qr_scaled", {"ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE", fast}},
                         {"qr_scaled", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", fast}},
                         {"qr_row_split_rest_scaled", {"ZTR_NUM_THREADS=1", fast}},
                         {"qr_row_split_rest_scaled", {"ZTR_NUM_THREADS=2", fast}}});
}

// The n-th allocation of a task-path call fails: the panel buffer (the factorization goes on
// without it), the private work array (lwork short of the optimum), the status array (both
// fall back to the serial path).  Silent, nothing leaked, and the factors those of the call
// without failures, to rounding (the matrix is well conditioned).
ZTR_CHILD(qr_allocation_failures) {
  const int m = 300, n = 300;
  const std::vector<double> a0 = test::qr_matrix(m, n, m, 9);
  const int opt = query_dgeqrf(m, n, m);
  std::vector<double> ref = a0, tau(n), work(opt);
  int info = -1;
  dgeqrf(&m, &n, ref.data(), &m, tau.data(), work.data(), &opt, &info);
  const double scale = one_norm_diff(m, n, a0.data(), m, nullptr, 0) * m * kUnitRoundoff;
  for (int lwork : {opt, n})
    for (int nth = 1; nth <= (lwork < opt ? 3 : 2); ++nth) {
      std::vector<double> a;
      work.assign(lwork, 0.0);
      const int r = test::survives_allocation_failure(
          [&] { a = a0, dgeqrf(&m, &n, a.data(), &m, tau.data(), work.data(), &lwork, &info); },
          [&] {
            return info == 0 &&
                   one_norm_diff(m, n, a.data(), m, ref.data(), m) / scale < kRatioBound;
          },
          nth);
      if (r != 0) return r + 10 * nth + (lwork < opt ? 50 : 0);  // what failed, and where
    }
  return 0;
}

// Every path on one to four threads; dynamic mode trims the threads of the short task path
// and of the row-split panels.  The task path's allocations fail one by one.
TEST(Dgeqrf, EveryPathFactorsAndFallsBackSilently) {
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

TEST(Dlarfg, SignRuleZeroVectorAndTinyInput) {
  // n = 1 and a zero x: H = I, alpha untouched.
  double alpha = -2.5, zero[2] = {0.0, 0.0}, tau = 7;
  ztr_lapack_dlarfg(1, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  tau = 7;
  ztr_lapack_dlarfg(3, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  EXPECT_EQ(alpha, -2.5);
  // y = (3s, 4s, 12s) with either sign of the first entry: beta = -sign*13s, tau = 16/13,
  // v = (1, 1/4, 3/4)*sign, at ordinary scale and at a subnormal one where 1/(alpha - beta)
  // would overflow without the rescaling; x strided.
  for (double s : {1.0, std::ldexp(1.0, -1030)})
    for (double sign : {1.0, -1.0}) {
      double x[4] = {4 * s, -99, 12 * s, -99};
      alpha = sign * 3 * s;
      ztr_lapack_dlarfg(3, &alpha, x, 2, &tau);
      SCOPED_TRACE(testing::Message() << s << " " << sign);
      EXPECT_NEAR(alpha / (13 * s), -sign, 4 * kUnitRoundoff);
      EXPECT_NEAR(tau, 16.0 / 13, 4 * kUnitRoundoff);
      EXPECT_NEAR(x[0], sign / 4, 4 * kUnitRoundoff);
      EXPECT_NEAR(x[2], sign * 3 / 4, 4 * kUnitRoundoff);
      EXPECT_EQ(x[1], -99);
      EXPECT_EQ(x[3], -99);
    }
}

// LAPACKE_dgeqrf, LAPACKE_dorgqr and LAPACKE_dpstrf end to end: NaN scans, row-major results
// equal to column-major ones, the leading-dimension and driver errors with their codes and
// texts, allocation failures without leaks.

// Row-major results equal the column-major ones (the factorization's and Q's numbers are
// the drivers' tests' business); the row-major padding stays as it was.
TEST(LapackeQr, RowMajorEqualsColumnMajor) {
  for (auto [m, n] : std::initializer_list<std::pair<int, int>>{{90, 60}, {230, 230}}) {  // m >= n
    const int k = std::min(m, n), ldr = n + 3;
    std::vector<double> c = test::qr_matrix(m, n, m, m * n), r = to_rows(m, n, c, m, ldr);
    std::vector<double> tau_c(k), tau_r(k);
    EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, c.data(), m, tau_c.data()), 0);
    EXPECT_EQ(LAPACKE_dgeqrf(ZTR_ROW_MAJOR, m, n, r.data(), ldr, tau_r.data()), 0);
    EXPECT_LT(test::layout_difference(m, n, c, m, r, ldr), 1e-12);
    EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, m, k, k, c.data(), m, tau_c.data()), 0);
    EXPECT_EQ(LAPACKE_dorgqr(ZTR_ROW_MAJOR, m, k, k, r.data(), ldr, tau_r.data()), 0);
    EXPECT_LT(test::layout_difference(m, k, c, m, r, ldr), 1e-12);
  }
}

TEST(LapackeQr, PivotedCholeskyInBothLayouts) {
  // Row-major 'U' data is the column-major 'L' triangle of the same array: the same matrix,
  // the same pivots and rank, the factor in the same places.
  const int n = 150, r = 60;
  std::vector<double> a = test::gram(n, r, 'L', 8);  // NaN in 'U': never read
  std::vector<double> rows = a;
  std::vector<int> piv_c(n), piv_r(n);
  int rank_c = -1, rank_r = -1;
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a.data(), n, piv_c.data(), &rank_c, -1.0), 1);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_ROW_MAJOR, 'u', n, rows.data(), n, piv_r.data(), &rank_r, -1.0), 1);
  EXPECT_EQ(rank_c, r);
  EXPECT_EQ(rank_r, r);
  EXPECT_EQ(piv_c, piv_r);
  double diff = 0;
  for (int j = 0; j < r; ++j)
    for (int i = j; i < n; ++i) diff = std::max(diff, std::fabs(a[i + j * n] - rows[i + j * n]));
  EXPECT_LT(diff, 1e-10);
  for (int j = 0; j < n; ++j)  // the other triangle is left alone in either layout
    for (int i = 0; i < j; ++i)
      ASSERT_TRUE(std::isnan(a[i + j * n]) && std::isnan(rows[i + j * n]));
  // tol NaN is rejected before anything is read.
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a.data(), n, piv_c.data(), &rank_c, kNaN), -8);
}

TEST(LapackeQr, NaNScansCodesAndMessages) {
  // k entries of tau are scanned, also for a k the driver rejects.
  std::vector<double> a = {1, 2, 3, kNaN, 5, 6}, tau = {0.5, 0.5, 0.5};
  int piv[3], rank = 0;
  const long requests = ztr_testalloc_requests();
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 3, 2, a.data(), 3, tau.data()), -4);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 2, a.data(), 3, tau.data()), -5);
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'U', 2, a.data(), 3, piv, &rank, 0.0), -4);
  EXPECT_EQ(ztr_testalloc_requests(), requests);
  std::vector<double> q = {1, 0, 0, 0, 1, 0};
  std::vector<double> bad_tau = {0.0, kNaN};
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 2, q.data(), 3, bad_tau.data()), -7);
  EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 1, q.data(), 3, bad_tau.data()), 0);
  // Not scanned: rows m..lda-1 of column-major data, the other triangle.
  std::vector<double> b = {4, 1, kNaN, 1, 3, kNaN};
  EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 2, 2, b.data(), 3, tau.data()), 0);
  std::vector<double> s = {4, kNaN, 1, 3};
  EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'U', 2, s.data(), 2, piv, &rank, -1.0), 0);
  EXPECT_EQ(rank, 2);
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR})  // the diagonal belongs to either triangle
    for (char uplo : {'U', 'L'}) {
      std::vector<double> d = {4, 1, 1, kNaN};
      EXPECT_EQ(LAPACKE_dpstrf(layout, uplo, 2, d.data(), 2, piv, &rank, -1.0), -4) << uplo;
    }

  std::vector<double> c(12, 1.0);
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(LAPACKE_dgeqrf(99, 3, 2, c.data(), 3, tau.data()), -1);
              EXPECT_EQ(LAPACKE_dgeqrf(ZTR_ROW_MAJOR, 3, 2, c.data(), 1, tau.data()), -5);
              EXPECT_EQ(LAPACKE_dorgqr(ZTR_ROW_MAJOR, 3, 2, 1, c.data(), 1, tau.data()), -6);
              EXPECT_EQ(LAPACKE_dpstrf(ZTR_ROW_MAJOR, 'U', 3, c.data(), 2, piv, &rank, 0.0), -5);
            }),
            "Wrong parameter 1 in LAPACKE_dgeqrf\n"
            "Wrong parameter 5 in LAPACKE_dgeqrf_work\n"
            "Wrong parameter 6 in LAPACKE_dorgqr_work\n"
            "Wrong parameter 5 in LAPACKE_dpstrf_work\n");
  // The drivers' own checks: their position plus one.
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 2, 3, 1, c.data(), 2, tau.data()), -3);
              EXPECT_EQ(LAPACKE_dorgqr(ZTR_COL_MAJOR, 3, 2, 3, c.data(), 3, tau.data()), -4);
              EXPECT_EQ(LAPACKE_dgeqrf(ZTR_COL_MAJOR, 3, 2, c.data(), 2, tau.data()), -5);
              EXPECT_EQ(LAPACKE_dpstrf(ZTR_COL_MAJOR, 'X', 2, c.data(), 2, piv, &rank, 0.0), -2);
            }),
            "\nZTR ERROR: Parameter 2 was incorrect on entry to DORGQR.\n"
            "\nZTR ERROR: Parameter 3 was incorrect on entry to DORGQR.\n"
            "\nZTR ERROR: Parameter 4 was incorrect on entry to DGEQRF.\n"
            "\nZTR ERROR: Parameter 1 was incorrect on entry to DPSTRF.\n");
  for (double v : c) EXPECT_EQ(v, 1.0);
  // No rows: nothing to do, in either layout (the workspace query's one word suffices).
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR})
    EXPECT_EQ(LAPACKE_dgeqrf(layout, 0, 3, c.data(), layout == ZTR_COL_MAJOR ? 1 : 3, tau.data()),
              0);
  for (double v : c) EXPECT_EQ(v, 1.0);
}

}  // namespace
}  // namespace ztr
