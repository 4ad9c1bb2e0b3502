// Level-1 kernels in every CpuType variant against long-double reference loops, with
// negative and zero increments, and the special values of DNRM2 and IDAMAX.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "blas/level1/kernels/level1_kernels.h"
#include "blas/level1/level1.h"
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
          const bool touched = incx > 0 && static_cast<int>(i) % incx == 0 &&
                               static_cast<int>(i) / incx < n;
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

TEST(Level1, Dnrm2NeitherOverflowsNorUnderflows) {
  for (int v = 0; v < runnable_variants(); ++v) {
    const auto nrm2 = variant(v).nrm2;
    // Squares would overflow: the result is exact up to rounding.
    const double big[] = {3e307, 4e307, 3e307, 4e307};
    EXPECT_NEAR(nrm2(4, big, 1) / (std::sqrt(50.0) * 1e307), 1.0, 4 * kEps);
    const double huge2[] = {std::numeric_limits<double>::max(), 0.0};
    EXPECT_EQ(nrm2(2, huge2, 1), std::numeric_limits<double>::max());
    // Squares would underflow to zero, including subnormal entries.
    const double small[] = {3e-310, 4e-310};
    EXPECT_NEAR(nrm2(2, small, 1) / 5e-310, 1.0, 1e-5);  // subnormals carry few digits
    const double tiny[] = {3e-200, -4e-200, 0.0};
    EXPECT_NEAR(nrm2(3, tiny, 1) / 5e-200, 1.0, 4 * kEps);
    // Small entries next to mid-range ones, and mid-range next to big ones.
    const double mixed[] = {1e-300, 3.0, 1e-300, 4.0};
    EXPECT_NEAR(nrm2(4, mixed, 1), 5.0, 4 * kEps * 5);
    const double wide[] = {1e300, 1.0, 1e-300};
    EXPECT_EQ(nrm2(3, wide, 1), 1e300);
    // Increment 0 repeats the first entry; negative increments cover the same entries.
    const double rep[] = {2e-300, 7.0};
    EXPECT_NEAR(nrm2(4, rep, 0) / 4e-300, 1.0, 4 * kEps);
    const double neg[] = {3.0, 9.0, 4.0};
    EXPECT_NEAR(nrm2(2, neg, -2), 5.0, 4 * kEps * 5);
    // Special values.
    const double with_nan[] = {1.0, kNaN, 1e300};
    EXPECT_TRUE(std::isnan(nrm2(3, with_nan, 1)));
    const double with_nan_small[] = {1e-300, kNaN};
    EXPECT_TRUE(std::isnan(nrm2(2, with_nan_small, 1)));
    const double with_inf[] = {1.0, -kInf, 1e-300};
    EXPECT_EQ(nrm2(3, with_inf, 1), kInf);
    EXPECT_EQ(nrm2(0, with_inf, 1), 0.0);
  }
}

TEST(Level1, IdamaxTiesAndNaN) {
  for (int v = 0; v < runnable_variants(); ++v) {
    const auto iamax = variant(v).iamax;
    const double ties[] = {1.0, -3.0, 3.0, -3.0};
    EXPECT_EQ(iamax(4, ties, 1), 2);  // first of equal magnitudes
    const double strided[] = {1.0, 9.0, -2.0, 9.0, 2.0};
    EXPECT_EQ(iamax(3, strided, 2), 2);  // entries 1, -2, 2: the first 2 wins
    const double nan_first[] = {kNaN, 5.0, kInf};
    EXPECT_EQ(iamax(3, nan_first, 1), 1);
    const double nan_later[] = {1.0, kNaN, 2.0, kNaN};
    EXPECT_EQ(iamax(4, nan_later, 1), 3);
    const double inf[] = {1.0, -kInf, kInf};
    EXPECT_EQ(iamax(3, inf, 1), 2);
    EXPECT_EQ(iamax(0, inf, 1), 0);
    EXPECT_EQ(iamax(3, inf, -1), 0);
  }
  // The dispatched front end takes its arguments by address.
  const double x[] = {0.5, -4.0, 4.0};
  const int n = 3, inc = 1;
  EXPECT_EQ(blas_idamax(&n, x, &inc), 2);
}

TEST(Level1, FrontEndsReachTheKernels) {
  double x[] = {1, 2, 3}, y[] = {4, 5, 6};
  const int n = 3, inc = 1, minus = -1;
  const double two = 2.0, c = 0.0, s = 1.0;
  EXPECT_EQ(blas_ddot(&n, x, &inc, y, &minus), 1 * 6 + 2 * 5 + 3 * 4);
  EXPECT_EQ(blas_dnrm2(&n, x, &inc), std::sqrt(14.0));
  blas_daxpy(&n, &two, x, &inc, y, &inc);  // y = 6, 9, 12
  blas_dscal(&n, &two, x, &inc);           // x = 2, 4, 6
  blas_drot(&n, x, &inc, y, &inc, &c, &s);  // x = y, y = -x
  EXPECT_EQ(x[2], 12.0);
  EXPECT_EQ(y[0], -2.0);
  blas_dswap(&n, x, &inc, y, &inc);
  blas_dcopy(&n, x, &inc, y, &minus);
  EXPECT_EQ(y[0], -6.0);
}

}  // namespace
}  // namespace ztr
