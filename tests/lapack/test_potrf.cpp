// Cholesky factorization: every kernel variant, the serial blocked and the tiled algorithms
// and the driver's choice, on both triangles: residuals of the factors, the untouched other
// triangle, the order of the first leading minor that is not positive definite on every
// path, and the tile table's allocation failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "lapack/potrf/potrf.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "service/threads.h"
#include "error_text.h"
#include "spd_matrices.h"
#include "testalloc.h"

ZTR_DECLARE_VARIANTS(int, dpotf2_lower, (int, double*, int))
ZTR_DECLARE_VARIANTS(int, dpotf2_upper, (int, double*, int))

namespace ztr {
namespace {

using test::cholesky_residual;
using test::kUntouched;
using test::make_spd;

constexpr double kResidualBound = 30.0;  // the usual LAPACK test threshold

// One factorization, any path.
using Entry = std::function<void(char uplo, int n, double* a, int lda, int* info)>;

// Factors a matrix that is positive definite, or (fail_at = k > 0) whose leading minor of
// order k is not: its k-th diagonal entry is made so negative that no update can rescue it.
// Checks info, the residual of the leading factor that must be complete, and the untouched
// triangle and padding.  Prints what fails; returns the number of failures.
int check(const Entry& entry, const char* what, char uplo, int n, int fail_at = 0) {
  const int lda = n + 3;
  std::vector<double> a = make_spd(n, lda, 1000 + n + fail_at, uplo == 'L' ? 'U' : 'L');
  if (fail_at > 0) a[(fail_at - 1) * static_cast<std::size_t>(lda + 1)] = -1.0e3 * n;
  std::vector<double> f = a;
  int info = -99;
  entry(uplo, n, f.data(), lda, &info);
  const double r = cholesky_residual(uplo, fail_at > 0 ? fail_at - 1 : n, a.data(), f.data(), lda);
  bool untouched = true;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < lda; ++i)
      untouched &= (i < n && (uplo == 'L' ? i >= j : i <= j)) || f[i + j * lda] == kUntouched;
  if (info == fail_at && r < kResidualBound && untouched) return 0;
  std::printf("%s %c n %d: info %d (want %d), residual %g%s\n", what, uplo, n, info, fail_at, r,
              untouched ? "" : ", the other triangle changed");
  return 1;
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
        EXPECT_EQ(check(entry, what.c_str(), uplo, n), 0) << what << " " << uplo << " " << n;
      for (int fail_at : {1, 4, 6, 45, 61})
        EXPECT_EQ(check(entry, what.c_str(), uplo, 61, fail_at), 0) << what << " " << uplo;
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
  int failures = 0;
  for (char uplo : {'L', 'U'}) {
    // The driver: unblocked below 128, then blocked or tiled as the thread count says.
    for (int n : {0, 1, 127, 128, 129, 300}) failures += check(via_dpotrf, "dpotrf", uplo, n);
    for (int fail_at : {100, 129, 257}) failures += check(via_dpotrf, "dpotrf", uplo, 300, fail_at);
    // Blocked: a short last block, and failures in the first, a middle and the last block.
    failures += check(via_blocked<24>, "blocked 24", uplo, 150);
    failures += check(via_blocked<1>, "blocked 1", uplo, 20);
    for (int fail_at : {1, 24, 25, 73, 150})
      failures += check(via_blocked<24>, "blocked 24", uplo, 150, fail_at);
    // Tiled: tiles of 24 over 203 (a short last tile; with 2 to 4 threads the leading 24 or
    // 48 columns go first), failures inside the leading block, in a middle tile, in the last.
    failures += check(via_tiled<24>, "tiled 24", uplo, 203);
    failures += check(via_tiled<32>, "tiled 32", uplo, 97);
    for (int fail_at : {1, 30, 97, 200, 203})
      failures += check(via_tiled<24>, "tiled 24", uplo, 203, fail_at);
  }
  return failures;
}

ZTR_CHILD(potrf_table_fails) {
  const int n = 203, lda = n;
  const std::vector<double> a = make_spd(n, lda, 3);
  std::vector<double> f = a;
  int info = 0;
  via_tiled<24>('L', n, f.data(), lda, &info);  // settles the one-time state
  f = a;
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_nth(1, 0);  // the tile table is the call's first allocation
  const std::string out = test::captured([&] { via_tiled<24>('L', n, f.data(), lda, &info); });
  ztr_testalloc_reset();
  if (ztr_testalloc_failures() != 1) return 1;
  if (!out.empty()) return 2;  // the fall-back is silent
  if (info != 0 || !(cholesky_residual('L', n, a.data(), f.data(), lda) < kResidualBound)) return 3;
  if (ztr_testalloc_live() != live) return 4;
  return 0;
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

}  // namespace
}  // namespace ztr
