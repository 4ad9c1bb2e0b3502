// LU factorization: the leaf's pivot and scaling rules, the argument check, and every path of
// the driver (forced by size, thread count and direct entry) against matrices whose pivots
// and factors are known exactly; then the inverse from the factors and the triangular
// inverse.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include <limits>

#include "lapack/getrf/getrf.h"
#include "lu_matrices.h"
#include "error_text.h"
#include "service/threads.h"
#include "testalloc.h"
#include "lapack/getri/getri.h"

namespace ztr {
namespace {

using test::KnownLu;
using test::make_known_lu;

using test::kNaN;

TEST(Dgetf2, PivotsScalesAndRecordsTheFirstZeroPivot) {
  // Ties: rows 2 and 4 both hold the largest magnitude; the upper one wins.
  {
    std::vector<double> a = {1, -3, 2, 3};
    int ipiv[1], info = -5;
    ztr_lapack_dgetf2(4, 1, a.data(), 4, ipiv, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(ipiv[0], 2);
    EXPECT_EQ(a[0], -3.0);
    EXPECT_EQ(a[3], -1.0);  // the other 3, divided by the pivot
  }
  // A column that is zero from the diagonal down: info, no swap, no scaling, and the rest is
  // still factored (the known factors, exactly).
  {
    test::KnownLu k = make_known_lu(5, 5, 0, 3, {}, {2});
    std::vector<int> ipiv(5);
    int info = 0;
    ztr_lapack_dgetf2(5, 5, k.a.data(), 5, ipiv.data(), &info);
    EXPECT_EQ(info, 2);
    EXPECT_EQ(ipiv, k.ipiv);
    EXPECT_EQ(k.a, k.lu);
  }
  // A pivot below the safe minimum: dividing gives the exact multiplier where multiplying by
  // the overflowing reciprocal would give infinity.
  {
    const double tiny = 4e-310;
    std::vector<double> a = {tiny, tiny / 2, /**/ 1, 1};
    int ipiv[2], info = 0;
    ztr_lapack_dgetf2(2, 2, a.data(), 2, ipiv, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(a[1], 0.5);
  }
  // A NaN is not a zero pivot: it is used.
  {
    std::vector<double> a = {kNaN, 1, 2, /**/ 1, 2, 3};
    int ipiv[2], info = -5;
    ztr_lapack_dgetf2(3, 2, a.data(), 3, ipiv, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(ipiv[0], 1);
    EXPECT_TRUE(std::isnan(a[1]));
  }
}

TEST(Dgetrf, ArgumentErrorsAreReportedAndTouchNothing) {
  std::vector<double> a(6, 1.0);
  int ipiv[2] = {-9, -9};
  struct Case {
    int m, n, lda, info;
  };
  // Empty matrices are a successful no-op.
  for (Case c : {Case{-1, 2, 3, -1}, Case{3, -1, 3, -2}, Case{3, 2, 2, -4}, Case{0, 2, 0, -4},
                 Case{0, 3, 3, 0}, Case{3, 0, 3, 0}}) {
    int info = 7;
    EXPECT_EQ(test::captured([&] { dgetrf(&c.m, &c.n, a.data(), &c.lda, ipiv, &info); }),
              c.info == 0 ? "" : test::xerbla_text("DGETRF", -c.info));
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(ipiv[0], -9);
  EXPECT_EQ(a, std::vector<double>(6, 1.0));
}

// ---- every path, in child processes with a fixed thread count ------------------------------

using Entry = bool (*)(int m, int n, double* a, int lda, int* ipiv, int* info);

bool via_dgetrf(int m, int n, double* a, int lda, int* ipiv, int* info) {
  dgetrf(&m, &n, a, &lda, ipiv, info);
  return false;
}
bool via_lookahead(int m, int n, double* a, int lda, int* ipiv, int* info) {
  return ztr_lapack_dgetrf_ib(m, n, a, lda, ipiv, info);
}
template <int Nb>
bool via_scheduler(int m, int n, double* a, int lda, int* ipiv, int* info) {
  return ztr_lapack_dgetrf_sched(m, n, a, lda, ipiv, info, Nb, domain_max_threads(kDomainAll));
}

// Factors one known matrix; prints what differs and returns the number of failures.
int check_known(Entry entry, const char* what, int m, int n, std::uint64_t seed,
                const std::set<int>& zeros = {}) {
  std::set<int> ties;
  for (int j : {1, 2, 9, 17, 33, 65, 97, 129, 130, 193})
    if (zeros.count(j) == 0) ties.insert(j);
  KnownLu k = make_known_lu(m, n, 3, seed, ties, zeros);
  std::vector<int> ipiv(std::min(m, n), 0);
  int info = -99;
  entry(m, n, k.a.data(), k.lda, ipiv.data(), &info);
  const int want_info = zeros.empty() ? 0 : *zeros.begin();
  if (info == want_info && ipiv == k.ipiv && k.a == k.lu) return 0;
  std::printf("%s %dx%d seed %llu: info %d (want %d)%s\n", what, m, n,
              static_cast<unsigned long long>(seed), info, want_info,
              ipiv == k.ipiv ? ", wrong factors" : ", wrong pivots");
  return 1;
}

// Square, tall and wide shapes on both sides of the 64-column crossover and of the blocks.
int battery(Entry entry, const char* what,
            std::initializer_list<std::pair<int, int>> shapes = {
                {1, 1}, {7, 5}, {40, 40}, {200, 200}, {300, 150}, {150, 300}, {131, 257}}) {
  int failures = 0;
  std::uint64_t seed = 1;
  for (auto [m, n] : shapes) failures += check_known(entry, what, m, n, ++seed);
  return failures;
}

ZTR_CHILD(lu_every_entry) {
  int failures = battery(via_dgetrf, "dgetrf");
  failures += battery(via_lookahead, "look-ahead");
  failures += battery(via_scheduler<16>, "scheduler nb 16", {{200, 200}, {260, 100}, {100, 330}});
  // A zero pivot inside a later panel and one in the part factored after the parallel phase.
  for (Entry e : {via_dgetrf, via_lookahead, via_scheduler<16>}) {
    failures += check_known(e, "zero pivot", 200, 200, 77, {40, 90, 195});
    failures += check_known(e, "zero pivot", 150, 400, 78, {150});
  }
  return failures;
}

ZTR_CHILD(lu_static_zone) {
  // Wide enough (n >= 900) for the tuning to give the scheduler a static zone and a short
  // tail with two threads; with five threads on a low processor class, everything static.
  int failures = battery(via_scheduler<32>, "scheduler nb 32", {{200, 1000}});
  failures += battery(via_dgetrf, "dgetrf", {{130, 960}});
  return failures;
}

ZTR_CHILD(lu_scheduler_state_fails) {
  const int m = 300, n = 300;
  KnownLu k = make_known_lu(m, n, 0, 5, {1, 65});
  std::vector<double> warm = k.a;
  std::vector<int> ipiv(n);
  int info = 0;
  via_dgetrf(m, n, warm.data(), m, ipiv.data(), &info);  // settles the one-time state
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_nth(1, 0);  // the scheduler's state is the call's first allocation
  const std::string out =
      test::captured([&] { via_dgetrf(m, n, k.a.data(), m, ipiv.data(), &info); });
  ztr_testalloc_reset();
  if (ztr_testalloc_failures() != 1) return 1;
  if (!out.empty()) return 2;  // the fall-back is silent
  if (info != 0 || ipiv != k.ipiv || k.a != k.lu) return 3;
  if (ztr_testalloc_live() != live) return 4;
  return 0;
}

// The scheduled LU when a thread's own blocks are taken by another: all threads on one
// processor, so that each regularly loses it in the middle of its work and the others find
// its blocks ready.  Whoever updates or factors a block, the factors and pivots are the known
// ones, bit for bit.
ZTR_CHILD(lu_late_owner) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) return 100;
  int failures = 0;
  // 1000 columns of 32: a static zone of chunks beside a short tail; 330 x 700 is wide, with
  // rows left over below the last panel.  A zero pivot in a later panel.
  struct Shape {
    int m, n, zero;
  };
  for (Shape s : {Shape{200, 1000, 0}, Shape{330, 700, 0}, Shape{400, 1000, 150}})
    for (std::uint64_t seed : {11, 12, 13}) {
      const std::set<int> zeros = s.zero != 0 ? std::set<int>{s.zero} : std::set<int>{};
      test::KnownLu k = test::make_known_lu(s.m, s.n, 1, seed, {1, 33, 97}, zeros);
      std::vector<int> ipiv(std::min(s.m, s.n));
      int info = -1;
      ztr_lapack_dgetrf_sched(s.m, s.n, k.a.data(), k.lda, ipiv.data(), &info, 32,
                              domain_max_threads(kDomainAll));
      if (info != s.zero || ipiv != k.ipiv || k.a != k.lu) {
        std::printf("%dx%d seed %d: info %d\n", s.m, s.n, static_cast<int>(seed), info);
        ++failures;
      }
    }
  return failures;
}

// One thread: the serial recursion only.  Two and three threads: the scheduler (its tail
// zone at these sizes), the look-ahead path, the leaf; with five threads on a low processor
// class everything static.  The scheduler's state cannot be allocated: the look-ahead path.
TEST(Dgetrf, EveryPathFindsTheKnownFactorsAndPivots) {
  const std::string fixed = "ZTR_DYNAMIC=FALSE";
  test::expect_children(
      {{"lu_every_entry", {"ZTR_NUM_THREADS=1", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=3", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=5", fixed, "ZTR_DEBUG_CPU_TYPE=4"}},
       {"lu_static_zone", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_scheduler_state_fails", {"ZTR_NUM_THREADS=2", fixed, "ZTR_DISABLE_FAST_MM=1"}},
       {"lu_late_owner", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_late_owner", {"ZTR_NUM_THREADS=3", fixed}}});
}

// Inverse from LU and the triangular inverse: residuals ||A*inv(A) - I||, the singular and
// argument-error cases, the workspace rules (blocked, reduced block, unblocked) and the size
// queries.
constexpr double kResidualBound = 30.0;

// ||A*X - I||_1 / (||A||_1 * ||X||_1 * n * eps).
double inverse_residual(int n, const double* a, int lda, const double* x, int ldx) {
  double worst = 0, na = 0, nx = 0;
  for (int j = 0; j < n; ++j) {
    double col = 0, ca = 0, cx = 0;
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) s += a[i + p * lda] * x[p + j * ldx];
      col += std::fabs(s);
      ca += std::fabs(a[i + j * lda]);
      cx += std::fabs(x[i + j * ldx]);
    }
    worst = std::max(worst, col);
    na = std::max(na, ca);
    nx = std::max(nx, cx);
  }
  return worst / (na * nx * n * (std::numeric_limits<double>::epsilon() / 2));
}

// Factors a random matrix and inverts it with `lwork` doubles of workspace (-1: the queried
// optimum); returns the residual, or a large number on a non-zero info.
double invert_random(int n, int lwork, std::uint64_t seed) {
  const int lda = n + 2;
  const std::vector<double> a0 = test::random_matrix(n, n, lda, seed);
  std::vector<double> a = a0;
  std::vector<int> ipiv(n);
  int info = 0;
  dgetrf(&n, &n, a.data(), &lda, ipiv.data(), &info);
  if (info != 0) return 1e300;
  double query = 0;
  const int minus_one = -1;
  dgetri(&n, a.data(), &lda, ipiv.data(), &query, &minus_one, &info);
  if (lwork < 0) lwork = static_cast<int>(query);
  std::vector<double> work(std::max(1, lwork));
  dgetri(&n, a.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
  if (info != 0) return 1e300;
  return inverse_residual(n, a0.data(), lda, a.data(), lda);
}

// n = 150: the tuned block is 64; lwork = n forces the column-by-column code, 3n a block of
// three.
TEST(Dgetri, InvertsWithEveryWorkspaceSize) {
  for (int n : {1, 2, 17, 150}) EXPECT_LT(invert_random(n, -1, n), kResidualBound) << n;
  for (int lwork : {150, 3 * 150}) EXPECT_LT(invert_random(150, lwork, 9), kResidualBound);
}

TEST(Dgetri, SingularFactorLeavesTheMatrixUnchanged) {
  // U(3, 3) = 0 for n = 5.
  test::KnownLu k = test::make_known_lu(5, 5, 0, 3, {}, {3});
  int n = 5, lda = 5, info = 0, lwork = 5;
  std::vector<int> ipiv(5);
  dgetrf(&n, &n, k.a.data(), &lda, ipiv.data(), &info);
  ASSERT_EQ(info, 3);
  const std::vector<double> factored = k.a;
  std::vector<double> work(5);
  dgetri(&n, k.a.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
  EXPECT_EQ(info, 3);
  EXPECT_EQ(k.a, factored);
  // n = 1: 1/a, or info 1 for a zero.
  n = lda = lwork = 1;
  for (double v : {4.0, 0.0}) {
    double a = v;
    int p = 1;
    dgetri(&n, &a, &lda, &p, work.data(), &lwork, &info);
    EXPECT_EQ(info, v == 0.0 ? 1 : 0);
    EXPECT_EQ(a, v == 0.0 ? 0.0 : 0.25);
  }
}

TEST(Dtrtri, InvertsBothTrianglesAndReportsSingularity) {
  // n = 150 takes the blocked code (block 64), n = 40 the unblocked one.
  for (int n : {40, 150}) {
    for (const char* uplo : {"U", "L"}) {
      for (const char* diag : {"N", "U"}) {
        const int lda = n + 1;
        std::vector<double> t = test::random_matrix(n, n, lda, n + *uplo + *diag);
        for (int j = 0; j < n; ++j) {
          for (int i = 0; i < n; ++i) {
            const bool keep = *uplo == 'U' ? i <= j : i >= j;
            if (!keep) t[i + j * lda] = 0.0;
          }
          t[j + j * lda] = *diag == 'U' ? 1.0 : 2.0 + t[j + j * lda];
        }
        std::vector<double> x = t;
        for (int j = 0; j < n && *diag == 'U'; ++j)
          x[j + j * lda] = 123.0;  // neither read nor written
        int info = -5;
        dtrtri(uplo, diag, &n, x.data(), &lda, &info);
        EXPECT_EQ(info, 0);
        for (int j = 0; j < n && *diag == 'U'; ++j) {
          EXPECT_EQ(x[j + j * lda], 123.0);
          x[j + j * lda] = 1.0;
        }
        EXPECT_LT(inverse_residual(n, t.data(), lda, x.data(), lda), kResidualBound)
            << n << uplo << diag;
      }
    }
  }
  std::vector<double> z = {1, 0, 0, /**/ 2, 3, 0, /**/ 4, 5, 0};
  const std::vector<double> z0 = z;
  int n = 3, lda = 3, info = 0;
  dtrtri("U", "N", &n, z.data(), &lda, &info);
  EXPECT_EQ(info, 3);
  EXPECT_EQ(z, z0);
}

// Argument checks with their texts; the size queries: 0 for n = 0, otherwise at least the
// unblocked code's n (the block is tuning).
TEST(Dgetri, ArgumentErrorsAndQueries) {
  double a[4] = {1, 2, 3, 4}, work[2] = {-1, -1};
  int ipiv[2] = {1, 2};
  struct Case {
    int n, lda, lwork, info;
  };
  for (Case c : {Case{-1, 1, 1, -1}, Case{2, 1, 2, -3}, Case{2, 2, 1, -6}, Case{2, 2, 0, -6}}) {
    int info = 0;
    EXPECT_EQ(test::captured([&] { dgetri(&c.n, a, &c.lda, ipiv, work, &c.lwork, &info); }),
              test::xerbla_text("DGETRI", -c.info));
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(a[1], 2.0);
  for (int n : {0, 999, 1000}) {
    int info = -5, lwork = -1, lda = std::max(1, n);
    dgetri(&n, a, &lda, ipiv, work, &lwork, &info);
    EXPECT_EQ(info, 0);
    EXPECT_TRUE(n == 0 ? work[0] == 0.0 : work[0] >= n) << n;
  }
}

}  // namespace
}  // namespace ztr
