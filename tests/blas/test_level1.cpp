// Level-1 kernels in every CpuType variant against long-double reference loops, with
// negative and zero increments, and the special values of DNRM2 and IDAMAX.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "blas/level1/kernels/level1_kernels.h"
#include "service/cpu.h"
#include "tests/blas/reference.h"

namespace ztr {
namespace {

using namespace ztr::test;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Kernels {
  void (*swap)(int, double*, int, double*, int);
  void (*scal)(int, double, double*, int);
  void (*copy)(int, const double*, int, double*, int);
  void (*axpy)(int, double, const double*, int, double*, int);
  double (*dot)(int, const double*, int, const double*, int);
  double (*nrm2)(int, const double*, int);
  int (*iamax)(int, const double*, int);
  void (*rot)(int, double*, int, double*, int, double, double);
};

Kernels variant(int v) {
  constexpr decltype(Kernels::swap) sw[] = ZTR_VARIANTS(dswap);
  constexpr decltype(Kernels::scal) sc[] = ZTR_VARIANTS(dscal);
  constexpr decltype(Kernels::copy) cp[] = ZTR_VARIANTS(dcopy);
  constexpr decltype(Kernels::axpy) ax[] = ZTR_VARIANTS(daxpy);
  constexpr decltype(Kernels::dot) dt[] = ZTR_VARIANTS(ddot);
  constexpr decltype(Kernels::nrm2) nr[] = ZTR_VARIANTS(dnrm2);
  constexpr decltype(Kernels::iamax) ia[] = ZTR_VARIANTS(idamax);
  constexpr decltype(Kernels::rot) ro[] = ZTR_VARIANTS(drot);
  return {sw[v], sc[v], cp[v], ax[v], dt[v], nr[v], ia[v], ro[v]};
}

TEST(Level1, EveryVariantAgainstReferenceLoops) {
  std::mt19937 gen(11);
  const int incs[] = {1, 2, -1, -3};
  for (int v = 0; v < runnable_variants(); ++v) {
    const Kernels k = variant(v);
    for (int n : {0, 1, 2, 7, 33}) {
      for (int incx : incs) {
        for (int incy : incs) {
          const auto x0 = random_vector(span(n, incx), gen);
          const auto y0 = random_vector(span(n, incy), gen);
          auto x = x0, y = y0;
          // dot
          LD want = 0, mag = 0;
          for (int i = 0; i < n; ++i) {
            want += static_cast<LD>(x0[at(i, n, incx)]) * y0[at(i, n, incy)];
            mag += std::fabs(x0[at(i, n, incx)] * y0[at(i, n, incy)]);
          }
          ASSERT_TRUE(close(k.dot(n, x.data(), incx, y.data(), incy), want, mag, n))
              << v << " " << n << " " << incx << " " << incy;
          // swap
          k.swap(n, x.data(), incx, y.data(), incy);
          for (int i = 0; i < n; ++i) {
            ASSERT_EQ(x[at(i, n, incx)], y0[at(i, n, incy)]);
            ASSERT_EQ(y[at(i, n, incy)], x0[at(i, n, incx)]);
          }
          // copy
          x = x0, y = y0;
          k.copy(n, x.data(), incx, y.data(), incy);
          for (int i = 0; i < n; ++i) ASSERT_EQ(y[at(i, n, incy)], x0[at(i, n, incx)]);
          // axpy, including alpha = 0 leaving y untouched
          for (double alpha : {0.0, -1.5}) {
            y = y0;
            k.axpy(n, alpha, x.data(), incx, y.data(), incy);
            for (int i = 0; i < n; ++i) {
              const LD w = static_cast<LD>(alpha) * x0[at(i, n, incx)] + y0[at(i, n, incy)];
              ASSERT_TRUE(close(y[at(i, n, incy)], w, std::fabs(alpha) + 1, 1));
            }
          }
          // rot
          x = x0, y = y0;
          const double c = 0.6, s = -0.8;
          k.rot(n, x.data(), incx, y.data(), incy, c, s);
          for (int i = 0; i < n; ++i) {
            const LD xi = x0[at(i, n, incx)], yi = y0[at(i, n, incy)];
            ASSERT_TRUE(close(x[at(i, n, incx)], c * xi + s * yi, 2, 1));
            ASSERT_TRUE(close(y[at(i, n, incy)], c * yi - s * xi, 2, 1));
          }
        }
        // scal: positive increments scale, the others do nothing
        auto x = random_vector(span(n, incx), gen);
        const auto x0 = x;
        k.scal(n, 3.0, x.data(), incx);
        for (std::size_t i = 0; i < x.size(); ++i) {
          const bool touched =
              incx > 0 && static_cast<int>(i) % incx == 0 && static_cast<int>(i) / incx < n;
          ASSERT_EQ(x[i], touched ? 3.0 * x0[i] : x0[i]);
        }
        // nrm2 and iamax against plain loops
        LD ss = 0;
        for (int i = 0; i < n; ++i) ss += static_cast<LD>(x0[at(i, n, incx)]) * x0[at(i, n, incx)];
        ASSERT_TRUE(close(k.nrm2(n, x0.data(), incx), std::sqrt(ss), std::sqrt(ss), 2 * n));
        if (incx > 0 && n > 0) {
          int best = 0;
          for (int i = 1; i < n; ++i)
            if (std::fabs(x0[i * incx]) > std::fabs(x0[best * incx])) best = i;
          ASSERT_EQ(k.iamax(n, x0.data(), incx), best + 1);
        } else {
          ASSERT_EQ(k.iamax(n, x0.data(), incx), 0);
        }
      }
    }
  }
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
    const Kernels k = variant(v);
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
