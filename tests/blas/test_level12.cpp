// Level-1 and level-2 kernels in every CpuType variant against long-double reference loops,
// with negative and zero increments, and the special values of DNRM2 and IDAMAX.
#include <gtest/gtest.h>

#include "blas/level1/kernels/level1_kernels.h"
#include "service/cpu.h"
#include "tests/blas/typed_reference.h"
#include "blas/level2/kernels/level2_kernels.h"

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
// number, and 0 for a negative increment.
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
               {{1.0, kNaN, 1e300}, 3, 1, kNaN, 0},
               {{1e-300, kNaN}, 2, 1, kNaN, 0},
               {{1.0, -kInf, 1e-300}, 3, 1, kInf, 0}};
  const struct {
    std::vector<double> x;
    int n, inc, want;
  } maxima[] = {{{1.0, -3.0, 3.0, -3.0}, 4, 1, 2}, {{1.0, 9.0, -2.0, 9.0, 2.0}, 3, 2, 2},
                {{kNaN, 5.0, kInf}, 3, 1, 1},      {{1.0, kNaN, 2.0, kNaN}, 4, 1, 3},
                {{1.0, -kInf, kInf}, 3, 1, 2},     {{1.0, 2.0, 3.0}, 3, -1, 0}};
  for (int v = 0; v < runnable_variants(); ++v) {
    const Level1<double> k = variant(v);
    for (const auto& c : norms) {
      const double got = k.nrm2(c.n, c.x.data(), c.inc);
      EXPECT_TRUE(std::isnan(c.want) ? std::isnan(got)
                                     : got == c.want || std::fabs(got / c.want - 1) <= c.tol)
          << v << " " << c.x[0];
    }
    for (const auto& c : maxima) EXPECT_EQ(k.iamax(c.n, c.x.data(), c.inc), c.want) << v;
  }
}

// Level-2 kernels in every CpuType variant against long-double reference loops: every
// option letter (both cases), shapes with padding in the leading dimension, increments 1, 2
// and negative, beta = 0 over NaN, and the symmetric product taken as column shares.
using GemvFn = void (*)(char, int, int, double, const double*, int, const double*, int, double,
                        double*, int);
using SymvFn = void (*)(char, int, double, const double*, int, const double*, int, double, double*,
                        int);
using TrFn = void (*)(char, char, char, int, const double*, int, double*, int);
using GerFn = void (*)(int, int, double, const double*, int, const double*, int, double*, int);
using Syr2Fn = void (*)(char, int, double, const double*, int, const double*, int, double*, int);
constexpr GemvFn kGemv[] = ZTR_VARIANTS(dgemv);
constexpr SymvFn kSymv[] = ZTR_VARIANTS(dsymv);
constexpr TrFn kTrmv[] = ZTR_VARIANTS(dtrmv);
constexpr TrFn kTrsv[] = ZTR_VARIANTS(dtrsv);
constexpr GerFn kGer[] = ZTR_VARIANTS(dger);
constexpr Syr2Fn kSyr2[] = ZTR_VARIANTS(dsyr2);
using ColumnsFn = void (*)(char, int, int, int, double, const double*, int, const double*, double*);
constexpr ColumnsFn kColumns[] = ZTR_VARIANTS(dsymv_columns);

const int kIncs[] = {1, 2, -1, -2};

TEST(Level2, GemvTrmvTrsvEveryOption) {
  std::mt19937 gen(21);
  for (int v = 0; v < runnable_variants(); ++v) {
    EXPECT_EQ(gemv_misses<double>(kGemv[v], gen), 0) << v;
    EXPECT_EQ(triangular_mv_misses<double>(false, kTrmv[v], gen), 0) << v;
    EXPECT_EQ(triangular_mv_misses<double>(true, kTrsv[v], gen), 0) << v;
  }
}

// SYMV reads only its triangle.
TEST(Level2, SymvReadsOnlyItsTriangle) {
  std::mt19937 gen(22);
  for (int v = 0; v < runnable_variants(); ++v)
    for (char uplo : {'U', 'l'})
      for (int n : {0, 1, 3, 4, 5, 9, 13, 18, 35}) {  // around the groups of four and the lanes
        const int lda = std::max(1, n) + 1;
        const auto a = triangle<double>(n, lda, uplo, 'N', gen), sym = dense(a, lda, n, uplo, 'S');
        for (int incx : kIncs) {
          const int incy = incx == 2 ? -2 : 1;  // (1, 1): the unit-stride kernel
          const auto x = random_vector(span(n, incx), gen);
          for (double beta : {0.0, 2.0}) {
            auto y = random_vector(span(n, incy), gen);
            if (beta == 0.0) y.assign(y.size(), kNaN);
            const auto y0 = y;
            kSymv[v](uplo, n, -0.75, a.data(), lda, x.data(), incx, beta, y.data(), incy);
            ASSERT_EQ(mv_misses(sym, n, 'N', n, n, -0.75, x, incx, beta, y0, y, incy), 0)
                << v << uplo << n << incx;
          }
          if (incx != 1 || n == 0) continue;
          // The product as three column shares with cuts off the group boundaries adds up to
          // y0 + 1.5*A*x; the middle share alone leaves the rows its columns do not reach.
          const auto y0 = random_vector(n, gen);
          auto y = y0;
          const int c1 = n / 3, c2 = std::min(n, 2 * n / 3 + 1);
          for (auto [lo, hi] : {std::pair{0, c1}, {c1, c2}, {c2, n}})
            kColumns[v](uplo, n, lo, hi, 1.5, a.data(), lda, x.data(), y.data());
          ASSERT_EQ(mv_misses(sym, n, 'N', n, n, 1.5, x, 1, 1.0, y0, y, 1), 0) << n;
          const int r0 = upper(uplo) ? 0 : c1, r1 = c1 >= c2 ? r0 : (upper(uplo) ? c2 : n);
          std::vector<double> part(n, kNaN);
          std::fill(part.begin() + r0, part.begin() + r1, 0.0);
          kColumns[v](uplo, n, c1, c2, 1.0, a.data(), lda, x.data(), part.data());
          for (int i = 0; i < n; ++i) ASSERT_EQ(std::isnan(part[i]), i < r0 || i >= r1) << i;
        }
      }
}

// A := A + 1.5*x*y' (ger), or + 1.5*(x*y' + y*x') on the uplo triangle (syr2, order 11);
// padding rows and the other triangle untouched.
TEST(Level2, GerAndSyr2) {
  std::mt19937 gen(24);
  for (int v = 0; v < runnable_variants(); ++v)
    for (char op : {'G', 'u', 'L'})
      for (int m : {0, 1, 7, 11})
        for (int n : {0, 2, 9, 11}) {
          if ((op != 'G') != (m == 11 && n == 11)) continue;
          for (int incx : kIncs) {
            const int incy = op == 'G' ? (incx == 2 ? -1 : 2) : -incx;
            const int lda = std::max(1, m) + 1;
            const auto a0 = random_vector(static_cast<size_t>(lda) * std::max(n, 1), gen);
            const auto x = random_vector(span(m, incx), gen), y = random_vector(span(n, incy), gen);
            auto a = a0;
            if (op == 'G')
              kGer[v](m, n, 1.5, x.data(), incx, y.data(), incy, a.data(), lda);
            else
              kSyr2[v](op, n, 1.5, x.data(), incx, y.data(), incy, a.data(), lda);
            // [x y] times [y x]' (rank 2), or x times y'.
            auto l = [&](int i, int p) { return p == 0 ? x[at(i, m, incx)] : y[at(i, n, incy)]; };
            auto r = [&](int p, int j) { return p == 0 ? y[at(j, n, incy)] : x[at(j, n, incx)]; };
            auto in = [&](int i, int j) { return op == 'G' || (upper(op) ? i <= j : i >= j); };
            ASSERT_EQ(misses_of(a, a0, lda, m, n, op == 'G' ? 1 : 2, 1.5, 1.0, l, r, 2, in), 0)
                << v << op << m << n << incx;
          }
        }
}

}  // namespace
}  // namespace ztr
