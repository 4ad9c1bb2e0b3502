// Cholesky factorization: every kernel variant, the serial blocked and the tiled algorithms
// and the driver's choice, on both triangles: residuals of the factors, the untouched other
// triangle, the order of the first leading minor that is not positive definite on every
// path, and the tile table's allocation failure; then the pivoted Cholesky factorization.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "lapack/potrf/potrf.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "service/threads.h"
#include "error_text.h"
#include "spd_matrices.h"
#include "testalloc.h"
#include "lapack/pstrf/pstrf.h"
#include "lu_matrices.h"

ZTR_DECLARE_VARIANTS(int, dpotf2_lower, (int, double*, int))
ZTR_DECLARE_VARIANTS(int, dpotf2_upper, (int, double*, int))

namespace ztr {
namespace {

using namespace ztr::test;

constexpr double kResidualBound = 30.0;  // the usual LAPACK test threshold

// One factorization, any path.
using Entry = std::function<void(char uplo, int n, double* a, int lda, int* info)>;

// Factors a matrix that is positive definite, or (fail_at = k > 0) whose leading minor of
// order k is not: its k-th diagonal entry is made so negative that no update can rescue it.
// Checks info, the residual of the leading factor that must be complete, and the untouched
// triangle and padding (in a child: failures are reported by its exit code).
void check(const Entry& entry, const char* what, char uplo, int n, int fail_at = 0) {
  const int lda = n + 3;
  std::vector<double> a = make_spd(n, lda, 1000 + n + fail_at, uplo == 'L' ? 'U' : 'L');
  if (fail_at > 0) a[(fail_at - 1) * static_cast<std::size_t>(lda + 1)] = -1.0e3 * n;
  std::vector<double> f = a;
  int info = -99;
  entry(uplo, n, f.data(), lda, &info);
  SCOPED_TRACE(testing::Message() << what << " " << uplo << " n " << n << " fail at " << fail_at);
  EXPECT_EQ(info, fail_at);
  const int done = fail_at > 0 ? fail_at - 1 : n;
  EXPECT_LT(cholesky_residual(uplo, done, done, a.data(), f.data(), lda), kResidualBound);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < lda; ++i)
      ASSERT_TRUE((i < n && (uplo == 'L' ? i >= j : i <= j)) || f[i + j * lda] == kUntouched);
}

TEST(Dpotf2, EveryKernelVariantFactorsBothTrianglesAndStopsAtTheFirstBadMinor) {
  using Kernel = int (*)(int, double*, int);
  const Kernel lower[] = ZTR_VARIANTS(dpotf2_lower);
  const Kernel upper[] = ZTR_VARIANTS(dpotf2_upper);
  for (int type = kCpuTypeMin; type <= detect_cpu_type(); ++type) {
    for (char uplo : {'L', 'U'}) {
      const Kernel k = (uplo == 'L' ? lower : upper)[type - kCpuTypeMin];
      const std::string what = "kernel t" + std::to_string(type);
      Entry entry = [k](char, int n, double* a, int lda, int* info) { *info = k(n, a, lda); };
      // Orders around the register tiles (4 columns, 4 or 8 rows) and the crossover.
      for (int n : {1, 2, 3, 4, 5, 7, 8, 9, 13, 16, 33, 67, 127})
        check(entry, what.c_str(), uplo, n);
      for (int fail_at : {1, 4, 6, 45, 61}) check(entry, what.c_str(), uplo, 61, fail_at);
    }
  }
  // A NaN pivot is not positive: it is reported and left in place.
  std::vector<double> a = {4, 2, 2, std::numeric_limits<double>::quiet_NaN()};
  int info = 0;
  ztr_lapack_dpotf2('L', 2, a.data(), 2, &info);
  EXPECT_EQ(info, 2);
  EXPECT_EQ(a[0], 2.0);
  EXPECT_TRUE(std::isnan(a[3]));
}

// ---- every path, in child processes with a fixed thread count ------------------------------

void via_dpotrf(char uplo, int n, double* a, int lda, int* info) {
  dpotrf(&uplo, &n, a, &lda, info);
}
template <int Nb>
void via_blocked(char uplo, int n, double* a, int lda, int* info) {
  ztr_lapack_dpotrf_blocked(uplo, n, a, lda, info, Nb);
}
template <int Nb>
void via_tiled(char uplo, int n, double* a, int lda, int* info) {
  ztr_lapack_dpotrf_tiled(uplo, n, a, lda, info, Nb, domain_max_threads(kDomainAll));
}

ZTR_CHILD(potrf_paths) {
  for (char uplo : {'L', 'U'}) {
    // The driver: unblocked below 128, then blocked or tiled as the thread count says.
    for (int n : {0, 1, 127, 128, 129, 300}) check(via_dpotrf, "dpotrf", uplo, n);
    for (int fail_at : {100, 129, 257}) check(via_dpotrf, "dpotrf", uplo, 300, fail_at);
    // Blocked: a short last block, and failures in the first, a middle and the last block.
    check(via_blocked<24>, "blocked 24", uplo, 150);
    check(via_blocked<1>, "blocked 1", uplo, 20);
    for (int fail_at : {1, 24, 25, 73, 150})
      check(via_blocked<24>, "blocked 24", uplo, 150, fail_at);
    // Tiled: tiles of 24 over 203 (a short last tile; with 2 to 4 threads the leading 24 or
    // 48 columns go first), failures inside the leading block, in a middle tile, in the last.
    check(via_tiled<24>, "tiled 24", uplo, 203);
    check(via_tiled<32>, "tiled 32", uplo, 97);
    for (int fail_at : {1, 30, 97, 200, 203}) check(via_tiled<24>, "tiled 24", uplo, 203, fail_at);
  }
  return ::testing::Test::HasFailure();
}

// The tile table is the call's first allocation.
ZTR_CHILD(potrf_table_fails) {
  const int n = 203;
  const std::vector<double> a = make_spd(n, n, 3);
  std::vector<double> f;
  int info = 0;
  return survives_allocation_failure(
      [&] { f = a, via_tiled<24>('L', n, f.data(), n, &info); },
      [&] {
        return info == 0 && cholesky_residual('L', n, n, a.data(), f.data(), n) < kResidualBound;
      });
}

// Every path on one to four threads; the tile table cannot be allocated: the serial
// algorithm, silently.
TEST(Dpotrf, EveryPathFactorsAndStopsAtTheFirstBadMinor) {
  test::expect_children(
      {{"potrf_paths", {"ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE"}},
       {"potrf_paths", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE"}},
       {"potrf_paths", {"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=FALSE"}},
       {"potrf_paths", {"ZTR_NUM_THREADS=4", "ZTR_DYNAMIC=FALSE"}},
       {"potrf_table_fails", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"}}});
}

// Pivoted Cholesky: rank of low-rank Gram matrices, P'*A*P = U'*U (L*L') on the computed part
// for both triangles and both the unblocked and the blocked loop, the pivot rules (first of
// equal maxima, NaN never chosen), the stop rules and the argument checks.

struct Result {
  std::vector<double> a;
  std::vector<int> piv;
  int rank = -1, info = -9;
};

using Routine = void (*)(const char*, const int*, double*, const int*, int*, int*, const double*,
                         double*, int*);

Result run(Routine f, char uplo, int n, const std::vector<double>& a, double tol) {
  Result r{a, std::vector<int>(std::max(n, 1), -1)};
  std::vector<double> work(2 * std::max(n, 1));
  const int lda = std::max(n, 1);
  f(&uplo, &n, r.a.data(), &lda, r.piv.data(), &r.rank, &tol, work.data(), &r.info);
  return r;
}

// The residual over the computed part.
double factor_error(char uplo, int n, const std::vector<double>& a0, const Result& r) {
  return cholesky_residual(uplo, n, r.rank, a0.data(), r.a.data(), n, r.piv.data());
}

TEST(Dpstrf, RankAndFactorOfLowRankGramMatrices) {
  std::uint64_t seed = 40;
  // n <= 128 is unblocked; n = 200 runs blocks of 24 with DSYRK updates.
  for (int n : {1, 40, 200}) {
    for (int r : {1, 7, n / 2, n}) {
      if (r < 1 || r > n) continue;
      for (char uplo : {'U', 'L', 'u', 'l'}) {
        const char up = static_cast<char>(std::toupper(uplo));
        const std::vector<double> a = test::gram(n, r, up, ++seed);
        const Result res = run(dpstrf, uplo, n, a, -1.0);
        EXPECT_EQ(res.rank, r) << n << " " << uplo;
        EXPECT_EQ(res.info, r < n ? 1 : 0);
        std::vector<int> order(n);
        std::iota(order.begin(), order.end(), 1);
        EXPECT_TRUE(std::is_permutation(res.piv.begin(), res.piv.end(), order.begin()));
        EXPECT_LT(factor_error(up, n, a, res), kResidualBound) << n << " " << r << " " << uplo;
      }
    }
  }
}

// The first of equal largest diagonal entries is the pivot, at the first step and later; a
// NaN on the diagonal is never chosen (once only it remains the loop stops, leaving it in
// place); nothing positive to start from (zero, NaN first, negative) gives rank 0 and leaves
// a as it was; the loop stops at a remaining diagonal at or below tol (tol >= 0 as given;
// tol < 0 is n*eps*max(diag), which 1e-20 does not pass).
TEST(Dpstrf, PivotAndStopRules) {
  struct Case {
    char uplo;
    std::vector<double> diagonal;
    double tol;
    int rank;
    std::vector<int> piv;
  };
  const std::vector<double> ladder = {1, 0.25, 1e-20};
  for (const Case& c :
       {Case{'L', {2, 5, 5}, -1, 3, {2, 3, 1}}, Case{'L', {5, 3, 3}, -1, 3, {1, 2, 3}},
        Case{'U', {5, 3, 3}, -1, 3, {1, 2, 3}}, Case{'U', {0, 0, 0}, -1, 0, {1, 2, 3}},
        Case{'L', {0, 0, 0}, -1, 0, {1, 2, 3}}, Case{'U', {kNaN}, -1, 0, {1}},
        Case{'L', {-1, -2, -1}, -1, 0, {1, 2, 3}}, Case{'U', {-1, -2, -1}, -1, 0, {1, 2, 3}},
        Case{'U', {4, 3, kNaN, 1}, -1, 3, {1, 2, 4, 3}}, Case{'U', ladder, 0.25, 1, {1, 2, 3}},
        Case{'U', ladder, 0.2, 2, {1, 2, 3}}, Case{'U', ladder, 0.0, 3, {1, 2, 3}},
        Case{'U', ladder, -1.0, 2, {1, 2, 3}}}) {
    const int n = static_cast<int>(c.diagonal.size());
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) a[i * (n + 1)] = c.diagonal[i];
    const Result r = run(dpstrf, c.uplo, n, a, c.tol);
    SCOPED_TRACE(c.uplo + std::to_string(n) + " tol " + std::to_string(c.tol));
    EXPECT_EQ(r.rank, c.rank);
    EXPECT_EQ(r.info, c.rank < n ? 1 : 0);
    EXPECT_EQ(std::vector<int>(r.piv.begin(), r.piv.begin() + n), c.piv);
    for (int i = c.rank; i < n; ++i)  // what is left is left in place
      EXPECT_EQ(std::memcmp(&r.a[i * (n + 1)], &c.diagonal[c.piv[i] - 1], sizeof(double)), 0) << i;
  }
}

TEST(Dpstrf, ArgumentErrorsAreReportedAndTouchNothing) {
  struct Case {
    char uplo;
    int n, lda, info;
  };
  for (Case c : {Case{'X', 2, 2, -1}, Case{'U', -1, 1, -2}, Case{'L', 3, 2, -4}}) {
    std::vector<double> a(9, 1.0), work(6, 2.0);
    int piv[3] = {-5, -5, -5}, rank = -7, info = 0;
    const double tol = -1;
    EXPECT_EQ(test::captured([&] {
                dpstrf(&c.uplo, &c.n, a.data(), &c.lda, piv, &rank, &tol, work.data(), &info);
              }),
              test::xerbla_text("DPSTRF", -c.info));
    EXPECT_EQ(info, c.info);
    EXPECT_EQ(rank, -7);
    EXPECT_EQ(piv[0], -5);
    EXPECT_EQ(a, std::vector<double>(9, 1.0));
  }
}

}  // namespace
}  // namespace ztr
