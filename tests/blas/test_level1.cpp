// Level-1 kernels in every CpuType variant against long-double reference loops, with
// negative and zero increments, and the special values of DNRM2 and IDAMAX.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "blas/level1/kernels/level1_kernels.h"
#include "service/cpu.h"
#include "tests/blas/typed_reference.h"

namespace ztr {
namespace {

using namespace ztr::test;
constexpr double kInf = std::numeric_limits<double>::infinity();

Level1<double> variant(int v) {
  using L = Level1<double>;
  constexpr decltype(L::swap) sw[] = ZTR_VARIANTS(dswap);
  constexpr decltype(L::scal) sc[] = ZTR_VARIANTS(dscal);
  constexpr decltype(L::copy) cp[] = ZTR_VARIANTS(dcopy);
  constexpr decltype(L::axpy) ax[] = ZTR_VARIANTS(daxpy);
  constexpr decltype(L::dotu) dt[] = ZTR_VARIANTS(ddot);
  constexpr decltype(L::nrm2) nr[] = ZTR_VARIANTS(dnrm2);
  constexpr decltype(L::iamax) ia[] = ZTR_VARIANTS(idamax);
  constexpr decltype(L::rot) ro[] = ZTR_VARIANTS(drot);
  return {sw[v], sc[v], cp[v], ax[v], dt[v], dt[v], nr[v], ia[v], ro[v]};
}

TEST(Level1, EveryVariantAgainstReferenceLoops) {
  std::mt19937 gen(11);
  for (int v = 0; v < runnable_variants(); ++v) EXPECT_EQ(level1_misses(variant(v), gen), 0) << v;
}

// DNRM2 neither overflows nor underflows (subnormal entries carry few digits), mixes small,
// mid-range and big entries, repeats x[0] for increment 0; NaN wins over everything, then
// infinity.  IDAMAX takes the first of equal magnitudes, a leading NaN, the first NaN after a
// number, and 0 for n = 0 or a negative increment.
TEST(Level1, Dnrm2AndIdamaxSpecialValues) {
  const double big = std::numeric_limits<double>::max();
  const struct {
    std::vector<double> x;
    int n, inc;
    double want, tol;
  } norms[] = {{{3e307, 4e307, 3e307, 4e307}, 4, 1, std::sqrt(50.0) * 1e307, 4 * kEps},
               {{big, 0.0}, 2, 1, big, 0},
               {{3e-310, 4e-310}, 2, 1, 5e-310, 1e-5},
               {{3e-200, -4e-200, 0.0}, 3, 1, 5e-200, 4 * kEps},
               {{1e-300, 3.0, 1e-300, 4.0}, 4, 1, 5.0, 4 * kEps},
               {{1e300, 1.0, 1e-300}, 3, 1, 1e300, 0},
               {{2e-300, 7.0}, 4, 0, 4e-300, 4 * kEps},
               {{3.0, 9.0, 4.0}, 2, -2, 5.0, 4 * kEps},
               {{1.0, kNaN, 1e300}, 3, 1, kNaN, 0},
               {{1e-300, kNaN}, 2, 1, kNaN, 0},
               {{1.0, -kInf, 1e-300}, 3, 1, kInf, 0},
               {{1.0}, 0, 1, 0.0, 0}};
  const struct {
    std::vector<double> x;
    int n, inc, want;
  } maxima[] = {{{1.0, -3.0, 3.0, -3.0}, 4, 1, 2}, {{1.0, 9.0, -2.0, 9.0, 2.0}, 3, 2, 2},
                {{kNaN, 5.0, kInf}, 3, 1, 1},      {{1.0, kNaN, 2.0, kNaN}, 4, 1, 3},
                {{1.0, -kInf, kInf}, 3, 1, 2},     {{1.0}, 0, 1, 0},
                {{1.0, 2.0, 3.0}, 3, -1, 0}};
  for (int v = 0; v < runnable_variants(); ++v) {
    const Level1<double> k = variant(v);
    for (const auto& c : norms) {
      const double got = k.nrm2(c.n, c.x.data(), c.inc);
      if (std::isnan(c.want) || std::isinf(c.want) || c.tol == 0)
        EXPECT_TRUE(std::isnan(c.want) ? std::isnan(got) : got == c.want) << v << " " << c.x[0];
      else
        EXPECT_NEAR(got / c.want, 1.0, c.tol) << v << " " << c.x[0];
    }
    for (const auto& c : maxima) EXPECT_EQ(k.iamax(c.n, c.x.data(), c.inc), c.want) << v;
  }
}

}  // namespace
}  // namespace ztr
