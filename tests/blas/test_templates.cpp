// The BLAS templates in all four scalar types against long-double reference loops: every
// option letter, shapes that cross the multiply's cache blocks and the triangular blocks,
// beta = 0 over NaN, and the multiply's fallback when its buffer cannot be allocated.
#include <gtest/gtest.h>

#include <tuple>

#include "blas/templates/kernels/gemm_kernels.h"
#include "blas/templates/tblas.h"
#include "testalloc.h"
#include "tests/support/child.h"
#include "tests/blas/typed_reference.h"
#include "tests/support/test_support.h"

namespace ztr {
namespace {

using namespace ztr::test;

template <typename T>
class Templates : public ::testing::Test {};
using Types = ::testing::Types<float, double, std::complex<float>, std::complex<double>>;
TYPED_TEST_SUITE(Templates, Types);

template <typename T>
using GemmFn = void (*)(char, char, int, int, int, T, const T*, int, const T*, int, T, T*, int);
template <typename T>
const GemmFn<T>* gemm_variants() {
  static constexpr GemmFn<float> s[] = ZTR_VARIANTS(tgemm_s);
  static constexpr GemmFn<double> d[] = ZTR_VARIANTS(tgemm_d);
  static constexpr GemmFn<std::complex<float>> c[] = ZTR_VARIANTS(tgemm_c);
  static constexpr GemmFn<std::complex<double>> z[] = ZTR_VARIANTS(tgemm_z);
  return std::get<const GemmFn<T>*>(std::tuple{+s, +d, +c, +z});
}

// Every instruction-set variant of the multiply, every transpose, shapes around its blocks.
TYPED_TEST(Templates, GemmEveryTransposeAndBlockBoundaries) {
  using T = TypeParam;
  std::mt19937 gen(31);
  struct Shape {
    int m, n, k;
  };
  const Shape small[] = {{0, 3, 2}, {3, 0, 2}, {1, 1, 1}, {5, 7, 0}, {9, 6, 11}};
  const Shape large[] = {{150, 37, 300}, {33, 2100, 5}};  // cross MC and KC, and NC
  const T alpha = kIsComplex<T> ? make<T>(0.5, -1) : make<T>(1.5, 0);
  for (char ta : {'N', 'T', 'C'})
    for (char tb : {'N', 't', 'c'}) {
      std::vector<Shape> shapes(std::begin(small), std::end(small));
      if ((ta == 'N' && tb == 'N') || (ta == 'C' && tb == 't'))
        shapes.insert(shapes.end(), std::begin(large), std::end(large));
      for (const Shape& s : shapes)
        for (int beta_case = 0; beta_case < 2; ++beta_case) {
          const int rows_a = ta == 'N' ? s.m : s.k, cols_a = ta == 'N' ? s.k : s.m;
          const int rows_b = tb == 'N' ? s.k : s.n, cols_b = tb == 'N' ? s.n : s.k;
          const int lda = std::max(1, rows_a) + 1, ldb = std::max(1, rows_b) + 2,
                    ldc = std::max(1, s.m) + 1;
          const auto a = random_matrix<T>(static_cast<size_t>(lda) * std::max(1, cols_a), gen);
          const auto b = random_matrix<T>(static_cast<size_t>(ldb) * std::max(1, cols_b), gen);
          auto c = random_matrix<T>(static_cast<size_t>(ldc) * std::max(1, s.n), gen);
          const T beta = beta_case == 0 ? T(0) : T(RealOf<T>(-0.5));
          if (beta_case == 0)
            for (T& x : c) x = nan_value<T>();  // beta = 0: not read
          const auto c0 = c;
          auto l = [&](int i, int p) { return op_at(a, lda, ta, i, p); };
          auto r = [&](int p, int j) { return op_at(b, ldb, tb, p, j); };
          for (int v = 0; v < test::runnable_variants(); ++v) {
            c = c0;
            gemm_variants<T>()[v](ta, tb, s.m, s.n, s.k, alpha, a.data(), lda, b.data(), ldb, beta,
                                  c.data(), ldc);
            ASSERT_EQ(misses_of(c, c0, ldc, s.m, s.n, s.k, alpha, beta, l, r, s.k, everywhere), 0)
                << ta << tb << " " << s.m << "x" << s.n << "x" << s.k << " variant " << v + 2;
          }
        }
    }
}

// 1 when an entry differs by more than rounding between the packed product and the product
// computed without a work buffer (a count could wrap in an exit code).
template <typename T>
int fallback_mismatches() {
  std::mt19937 gen(32);
  const int m = 23, n = 19, k = 29;
  const auto a = random_matrix<T>(m * k, gen), b = random_matrix<T>(k * n, gen);
  std::vector<T> c1(m * n, T(0)), c2(m * n, T(0));
  tblas::gemm<T>('N', 'N', m, n, k, T(1), a.data(), m, b.data(), k, T(0), c1.data(), m);
  ztr_testalloc_fail_above(1);
  tblas::gemm<T>('N', 'N', m, n, k, T(1), a.data(), m, b.data(), k, T(0), c2.data(), m);
  ztr_testalloc_reset();
  int bad = 0;
  for (int i = 0; i < m * n; ++i) bad += std::abs(Acc<T>(c1[i]) - Acc<T>(c2[i])) > 8 * k * eps<T>();
  return bad != 0;
}

// The pool would hand out a buffer it already holds, so the pool is off in this child and
// every buffer request reaches the (failing) allocator.
ZTR_CHILD(gemm_without_buffer) {
  return fallback_mismatches<float>() + fallback_mismatches<double>() +
         fallback_mismatches<std::complex<float>>() + fallback_mismatches<std::complex<double>>();
}

TEST(TemplatesGemm, WithoutWorkBufferReportsAndGivesTheSameProduct) {
  const auto r = test::run_child("gemm_without_buffer", {"ZTR_DISABLE_FAST_MM=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {"SGEMM", "DGEMM", "CGEMM", "ZGEMM"})
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
}

TYPED_TEST(Templates, TrsmEveryOptionSolves) {
  using T = TypeParam;
  std::mt19937 gen(33);
  const T alpha = kIsComplex<T> ? make<T>(2, 1) : make<T>(-2, 0);
  for (int o = 0; o < 24; ++o)
    for (int size : {1, 70}) {  // 70: crosses the 64-order block
      const char opts[] = {"Lr"[o % 2], "Ul"[o / 2 % 2], "NTC"[o / 4 % 3], "NU"[o / 12], 0};
      const bool left = opts[0] == 'L';
      const int m = left ? size : 5, n = left ? 6 : size, lda = size + 1, ldb = m + 2;
      const auto a = triangle<T>(size, lda, opts[1], opts[3], gen);
      const auto b0 = random_matrix<T>(static_cast<size_t>(ldb) * n, gen);
      auto x = b0;
      tblas::trsm<T>(opts[0], opts[1], opts[2], opts[3], m, n, alpha, a.data(), lda, x.data(), ldb);
      ASSERT_EQ(triangular_misses(true, opts, m, n, alpha, a, lda, b0, x, ldb), 0) << opts << size;
    }
  // alpha = 0 clears B without reading A.
  std::vector<T> a(4, nan_value<T>()), b(4, nan_value<T>());
  tblas::trsm<T>('L', 'U', 'N', 'N', 2, 2, T(0), a.data(), 2, b.data(), 2);
  for (T v : b) EXPECT_EQ(v, T(0));
}

TYPED_TEST(Templates, SyrkAndHerkWriteOnlyTheirTriangle) {
  using T = TypeParam;
  std::mt19937 gen(34);
  for (bool herm : {false, true})
    for (char uplo : {'U', 'L'})
      for (char trans : {'N', 'T', 'C'}) {
        if (herm ? trans == 'T' : trans == 'C') continue;
        for (int n : {0, 3, 70})
          for (RealOf<T> beta : {RealOf<T>(0), RealOf<T>(-1.5)}) {
            const RealOf<T> alpha = RealOf<T>(0.75);
            auto call = [&](const T* a, const T*, int lda, T* c, int ldc) {
              if (herm)
                tblas::herk<T>(uplo, trans, n, 13, alpha, a, lda, beta, c, ldc);
              else
                tblas::syrk<T>(uplo, trans, n, 13, T(alpha), a, lda, T(beta), c, ldc);
            };
            ASSERT_EQ(
                rank_k_misses<T>(false, herm, uplo, trans, n, 13, T(alpha), T(beta), gen, call), 0)
                << herm << uplo << trans << n;
          }
      }
}

TYPED_TEST(Templates, GemvTrsvAndLevel1) {
  using T = TypeParam;
  std::mt19937 gen(35);
  EXPECT_EQ(gemv_misses<T>(tblas::gemv<T>, gen), 0);
  EXPECT_EQ(triangular_mv_misses<T>(true, tblas::trsv<T>, gen), 0);
  // Level 1.
  const Level1<T> l1{tblas::swap<T>, tblas::scal<T>, tblas::copy<T>, tblas::axpy<T>,
                     tblas::dotu<T>, tblas::dotc<T>, tblas::nrm2<T>, tblas::iamax<T>};
  EXPECT_EQ(level1_misses(l1, gen), 0);
  // Norm without overflow or underflow; iamax by |re| + |im|, ties to the first.
  const RealOf<T> big = std::numeric_limits<RealOf<T>>::max() / 4,
                  tiny = std::numeric_limits<RealOf<T>>::min();
  const T v[] = {T(big), T(big), T(tiny)};
  EXPECT_NEAR(tblas::nrm2<T>(3, v, 1) / (big * std::sqrt(RealOf<T>(2))), 1, 8 * eps<T>());
  const T w[] = {T(tiny * 3), T(tiny * 4)};
  EXPECT_NEAR(tblas::nrm2<T>(2, w, 1) / (tiny * 5), 1, 8 * eps<T>());
  const T n3[] = {T(1), nan_value<T>()};
  EXPECT_TRUE(std::isnan(tblas::nrm2<T>(2, n3, 1)));
  const T ties[] = {T(1), T(-3), T(3), T(2)};
  EXPECT_EQ(tblas::iamax<T>(4, ties, 1), 2);
  EXPECT_EQ(tblas::iamax<T>(0, ties, 1), 0);
  if constexpr (kIsComplex<T>) {
    const T cx[] = {make<T>(2, 0), make<T>(1.5, 1.5), make<T>(-2.5, 0.5)};  // |re| + |im|: 2, 3, 3
    EXPECT_EQ(tblas::iamax<T>(3, cx, 1), 2);
  }
}

}  // namespace
}  // namespace ztr
