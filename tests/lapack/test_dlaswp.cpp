// Row interchanges in every kernel variant (the column-parallel split: through the LU
// factorization's tests), the machine parameters and the ranges of the block-size tuning.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "lapack/dlamch.h"
#include "lapack/dlaswp.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "error_text.h"
#include "lapack/ilaenv.h"
#include "service/threads.h"

ZTR_DECLARE_VARIANTS(void, dlaswp, (int, double*, int, int, int, const int*, int))

namespace ztr {
namespace {

using SwapFn = void (*)(int, double*, int, int, int, const int*, int);
constexpr SwapFn kVariants[] = ZTR_VARIANTS(dlaswp);

// The interchanges applied one at a time to a list of row labels.
std::vector<int> reference_rows(int m, int k1, int k2, const std::vector<int>& ipiv, int incx) {
  std::vector<int> rows(m);
  for (int i = 0; i < m; ++i) rows[i] = i;
  const int count = k2 - k1 + 1, step = incx < 0 ? -incx : incx;
  for (int c = 0; c < count; ++c) {
    const int idx = incx > 0 ? c : count - 1 - c;  // position in the list
    const int k = k1 + idx;
    std::swap(rows[k - 1], rows[ipiv[(k1 - 1) + idx * step] - 1]);
  }
  return rows;
}

// The m x n matrix (ld lda, padding -1) whose entry (i, j) encodes j and the label of row i.
std::vector<double> labelled(int m, int n, int lda, const std::vector<int>& rows) {
  std::vector<double> a(static_cast<size_t>(lda) * n, -1.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) a[i + j * lda] = rows[i] + 1000.0 * j;
  return a;
}

std::vector<int> pivots(int m, int k1, int k2, int incx, unsigned seed) {
  const int step = incx < 0 ? -incx : (incx ? incx : 1);
  std::vector<int> ipiv(static_cast<size_t>(k2 - k1 + 1) * step + k1, 0);
  for (int c = 0; c <= k2 - k1; ++c)
    ipiv[(k1 - 1) + c * step] =
        k1 + c + static_cast<int>((seed * 7919u + c * 31u) % (m - k1 - c + 1));
  return ipiv;
}

// Increment 0 swaps nothing.
TEST(Dlaswp, EveryVariantForwardBackwardAndStrided) {
  const int m = 23, lda = 25, k1 = 3, k2 = 17;
  const std::vector<int> identity = reference_rows(m, 1, 0, {}, 1);
  for (int v = 0; v <= hardware_cpu_type() - kCpuTypeMin && v < kCpuTypeCount; ++v)
    for (int n : {0, 1, 31, 33, 70})
      for (int incx : {1, 2, -1, -3, 0}) {
        const auto ipiv = pivots(m, k1, k2, incx, v + n);
        auto a = labelled(m, n, lda, identity);
        kVariants[v](n, a.data(), lda, k1, k2, ipiv.data(), incx);
        const auto want =
            labelled(m, n, lda, incx == 0 ? identity : reference_rows(m, k1, k2, ipiv, incx));
        ASSERT_EQ(a, want) << v << " " << n << " " << incx;
      }
}

// What the factorizations use: the unit roundoff (1 + E rounds to 1, ties to even; P = 2E
// does not), the safe minimum (the smallest normal number, whose reciprocal is finite), the
// largest number; letters in either case, 0 for an unknown one.
TEST(Dlamch, IeeeDoubleParameters) {
  volatile double one = 1.0;
  EXPECT_EQ(one + dlamch("E"), 1.0);
  EXPECT_EQ(dlamch("p"), 2 * dlamch("e"));
  EXPECT_GT(one + dlamch("P"), 1.0);
  EXPECT_TRUE(std::isnormal(dlamch("S")) && !std::isnormal(dlamch("s") / 2));
  EXPECT_TRUE(std::isfinite(1.0 / dlamch("S")));
  EXPECT_TRUE(std::isfinite(dlamch("O")) && std::isinf(dlamch("o") * 2));
  EXPECT_EQ(dlamch("X"), 0.0);
}

// Block-size tuning.  The tables themselves are tuning data and are not restated here; what
// the factorizations rely on is every answer inside the range its user can take (answers that
// depend on the CpuType: in child processes with the type forced).
int q(int ispec, const char* name, const char* opts, int n1, int n2, int n3 = -1, int n4 = -1) {
  return ilaenv(ispec, name, opts, n1, n2, n3, n4);
}

// QR block sizes never exceed the matrix; the recursive LU's split is below n.
TEST(Ilaenv, QrBlocksAndLuSplitsInsideTheMatrix) {
  for (int n2 : {5, 40, 300, 5000}) {
    EXPECT_LE(q(1, "DGEQRF", " ", 5, n2, 2), 5);
    EXPECT_LT(q(1, "DGETRF", "S", 100, n2), n2);
  }
}

// Every processor class and thread count answers inside the ranges the LU scheduler takes:
// block 16..480, chunk 1..4, tail 0, 4, 8, 16, the thread count or "never".
ZTR_CHILD(lu_answers_in_range) {
  int bad = 0;
  for (int t = 1; t <= 64; ++t)
    for (int n = 100; n <= 40000; n += 700) {
      const int b = q(1, "DGETRF", " ", n, n, t), c = q(17, "DGETRF", " ", n, n, t);
      const int l = q(18, "DGETRF", " ", n, n, t);
      bad += b < 16 || b > 480 || c < 1 || c > 4;
      bad += !(l == 0 || l == 4 || l == 8 || l == 16 || l == t || l == 1000000);
    }
  return bad;
}

TEST(Ilaenv, LuAnswersInRangeForEveryProcessorClass) {
  for (int type = kCpuTypeMin; type <= kCpuTypeMax; ++type) {
    const auto r =
        test::run_child("lu_answers_in_range", {"ZTR_DEBUG_CPU_TYPE=" + std::to_string(type)});
    EXPECT_EQ(r.exit_code, 0) << "CpuType " << type << r.out;
  }
}

}  // namespace
}  // namespace ztr
