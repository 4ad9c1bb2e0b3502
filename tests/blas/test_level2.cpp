// Level-2 kernels in every CpuType variant against long-double reference loops: every
// option letter (both cases), shapes with padding in the leading dimension, increments 1, 2
// and negative, and beta = 0 over NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "blas/level2/kernels/level2_kernels.h"
#include "blas/level2/level2.h"
#include "service/cpu.h"
#include "tests/blas/reference.h"

namespace ztr {
namespace {

using namespace ztr::test;

using GemvFn = void (*)(char, int, int, double, const double*, int, const double*, int, double,
                        double*, int);
using SymvFn = void (*)(char, int, double, const double*, int, const double*, int, double,
                        double*, int);
using TrFn = void (*)(char, char, char, int, const double*, int, double*, int);
using GerFn = void (*)(int, int, double, const double*, int, const double*, int, double*, int);
using Syr2Fn = void (*)(char, int, double, const double*, int, const double*, int, double*, int);
constexpr GemvFn kGemv[] = ZTR_VARIANTS(dgemv);
constexpr SymvFn kSymv[] = ZTR_VARIANTS(dsymv);
constexpr TrFn kTrmv[] = ZTR_VARIANTS(dtrmv);
constexpr TrFn kTrsv[] = ZTR_VARIANTS(dtrsv);
constexpr GerFn kGer[] = ZTR_VARIANTS(dger);
constexpr Syr2Fn kSyr2[] = ZTR_VARIANTS(dsyr2);

const int kIncs[] = {1, 2, -1, -2};

bool upper_of(char c) { return c == 'U' || c == 'u'; }

TEST(Level2, GemvEveryOptionAndSpecialScalars) {
  std::mt19937 gen(21);
  for (int v = 0; v < runnable_variants(); ++v) {
    for (char trans : {'N', 't', 'C'}) {
      const bool t = trans != 'N';
      for (int m : {0, 1, 5, 19}) {
        for (int n : {0, 1, 6, 13}) {
          const int lda = std::max(1, m) + 3;
          const auto a = random_vector(static_cast<size_t>(lda) * std::max(n, 1), gen);
          const int lx = t ? m : n, ly = t ? n : m;
          for (int incx : kIncs) {
            const int incy = -incx == 2 ? 1 : -incx;
            const auto x = random_vector(span(lx, incx), gen);
            for (double alpha : {0.0, 1.25}) {
              for (double beta : {0.0, 1.0, -0.5}) {
                auto y = random_vector(span(ly, incy), gen);
                if (beta == 0.0) y.assign(y.size(), kNaN);  // not read when beta = 0
                const auto y0 = y;
                kGemv[v](trans, m, n, alpha, a.data(), lda, x.data(), incx, beta, y.data(), incy);
                if (m == 0 || n == 0) {
                  for (size_t i = 0; i < y.size(); ++i) ASSERT_FALSE(changed(y[i], y0[i]));
                  continue;
                }
                for (int i = 0; i < ly; ++i) {
                  LD s = 0, mag = 0;
                  for (int k = 0; k < lx; ++k) {
                    const double aik = t ? a[k + i * lda] : a[i + k * lda];
                    s += static_cast<LD>(aik) * x[at(k, lx, incx)];
                    mag += std::fabs(aik * x[at(k, lx, incx)]);
                  }
                  const double yi = y0[at(i, ly, incy)];
                  ASSERT_FALSE(misses(y[at(i, ly, incy)], s, mag, alpha, beta, yi, lx + 2))
                      << v << trans << m << "x" << n << " " << incx << " " << alpha << " " << beta;
                }
              }
            }
          }
        }
      }
    }
  }
}

TEST(Level2, SymvReadsOnlyItsTriangle) {
  std::mt19937 gen(22);
  for (int v = 0; v < runnable_variants(); ++v) {
    for (char uplo : {'U', 'l'}) {
      for (int n : {0, 1, 4, 17}) {
        const int lda = std::max(1, n) + 1;
        auto a = random_vector(static_cast<size_t>(lda) * std::max(n, 1), gen);
        // The other triangle holds NaN: any read of it shows in the result.
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i)
            if (upper_of(uplo) ? i > j : i < j) a[i + j * lda] = kNaN;
        auto sym = [&](int i, int j) {
          return (upper_of(uplo) ? i <= j : i >= j) ? a[i + j * lda] : a[j + i * lda];
        };
        for (int incx : kIncs) {
          const int incy = incx == 1 ? -2 : 1;
          const auto x = random_vector(span(n, incx), gen);
          for (double beta : {0.0, 2.0}) {
            auto y = random_vector(span(n, incy), gen);
            if (beta == 0.0) y.assign(y.size(), kNaN);
            const auto y0 = y;
            kSymv[v](uplo, n, -0.75, a.data(), lda, x.data(), incx, beta, y.data(), incy);
            for (int i = 0; i < n; ++i) {
              LD s = 0, mag = 0;
              for (int k = 0; k < n; ++k) {
                s += static_cast<LD>(sym(i, k)) * x[at(k, n, incx)];
                mag += std::fabs(sym(i, k) * x[at(k, n, incx)]);
              }
              const double yi = y0[at(i, n, incy)];
              ASSERT_FALSE(misses(y[at(i, n, incy)], s, mag, -0.75, beta, yi, n + 2))
                  << v << uplo << n << incx;
            }
          }
        }
      }
    }
  }
}

TEST(Level2, TrmvAndTrsvEveryOption) {
  std::mt19937 gen(23);
  for (int v = 0; v < runnable_variants(); ++v) {
    for (char uplo : {'U', 'l'}) {
      for (char trans : {'n', 'T', 'c'}) {
        for (char diag : {'N', 'u'}) {
          const bool up = upper_of(uplo), t = trans != 'n', unit = diag == 'u';
          for (int n : {0, 1, 3, 16}) {
            const int lda = std::max(1, n) + 2;
            auto a = random_vector(static_cast<size_t>(lda) * std::max(n, 1), gen);
            // Diagonal away from zero keeps the solve well conditioned; the unused triangle
            // (and, with a unit diagonal, the diagonal) holds NaN.
            for (int j = 0; j < n; ++j)
              for (int i = 0; i < n; ++i) {
                double& e = a[i + j * lda];
                if (i == j) e = unit ? kNaN : (e < 0 ? e - 2 : e + 2);
                else if (up ? i > j : i < j) e = kNaN;
                else e *= 0.5;
              }
            auto op = [&](int i, int j) -> LD {  // op(A)(i, j)
              const int r = t ? j : i, c = t ? i : j;
              if (r == c) return unit ? 1.0L : a[r + c * lda];
              return (up ? r < c : r > c) ? a[r + c * lda] : 0.0L;
            };
            for (int inc : kIncs) {
              const auto x0 = random_vector(span(n, inc), gen);
              auto x = x0;
              kTrmv[v](uplo, trans, diag, n, a.data(), lda, x.data(), inc);
              for (int i = 0; i < n; ++i) {
                LD s = 0, mag = 0;
                for (int k = 0; k < n; ++k) {
                  s += op(i, k) * x0[at(k, n, inc)];
                  mag += std::fabs(static_cast<double>(op(i, k) * x0[at(k, n, inc)]));
                }
                ASSERT_TRUE(close(x[at(i, n, inc)], s, mag, n)) << v << uplo << trans << diag << n;
              }
              // Solve and check the residual op(A)*x - b.
              x = x0;
              kTrsv[v](uplo, trans, diag, n, a.data(), lda, x.data(), inc);
              for (int i = 0; i < n; ++i) {
                LD s = 0, mag = 0;
                for (int k = 0; k < n; ++k) {
                  s += op(i, k) * x[at(k, n, inc)];
                  mag += std::fabs(static_cast<double>(op(i, k) * x[at(k, n, inc)]));
                }
                ASSERT_TRUE(close(x0[at(i, n, inc)], s, mag, 4 * n)) << v << uplo << trans << diag;
              }
            }
          }
        }
      }
    }
  }
}

TEST(Level2, GerAndSyr2) {
  std::mt19937 gen(24);
  for (int v = 0; v < runnable_variants(); ++v) {
    for (int m : {0, 1, 7}) {
      for (int n : {0, 2, 9}) {
        for (int incx : kIncs) {
          const int incy = incx == 2 ? -1 : 2;
          const int lda = std::max(1, m) + 1;
          const auto a0 = random_vector(static_cast<size_t>(lda) * std::max(n, 1), gen);
          const auto x = random_vector(span(m, incx), gen), y = random_vector(span(n, incy), gen);
          auto a = a0;
          kGer[v](m, n, 1.5, x.data(), incx, y.data(), incy, a.data(), lda);
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < lda; ++i) {
              if (i >= m) {
                ASSERT_EQ(a[i + j * lda], a0[i + j * lda]);
                continue;
              }
              const LD p = 1.5L * x[at(i, m, incx)] * y[at(j, n, incy)];
              ASSERT_TRUE(close(a[i + j * lda], a0[i + j * lda] + p, std::fabs(static_cast<double>(p)) + 1, 2));
            }
        }
      }
    }
    for (char uplo : {'u', 'L'}) {
      const int n = 11, lda = 12;
      for (int incx : kIncs) {
        const int incy = -incx;
        const auto a0 = random_vector(static_cast<size_t>(lda) * n, gen);
        const auto x = random_vector(span(n, incx), gen), y = random_vector(span(n, incy), gen);
        auto a = a0;
        kSyr2[v](uplo, n, -2.0, x.data(), incx, y.data(), incy, a.data(), lda);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < lda; ++i) {
            const bool in = i < n && (upper_of(uplo) ? i <= j : i >= j);
            if (!in) {
              ASSERT_EQ(a[i + j * lda], a0[i + j * lda]);
              continue;
            }
            const LD xi = x[at(i, n, incx)], yi = y[at(i, n, incy)];
            const LD xj = x[at(j, n, incx)], yj = y[at(j, n, incy)];
            const LD want = a0[i + j * lda] - 2.0L * (xi * yj + yi * xj);
            ASSERT_TRUE(close(a[i + j * lda], want, 5, 3)) << v << uplo << incx;
          }
      }
    }
  }
}

TEST(Level2, FrontEndsTakeArgumentsByAddress) {
  // A = [1 2; 3 4] column-major.
  const double a[] = {1, 3, 2, 4};
  double x[] = {1, 1}, y[] = {kNaN, kNaN};
  const int n = 2, one = 1;
  const double alpha = 1.0, beta = 0.0;
  blas_dgemv("T", &n, &n, &alpha, a, &n, x, &one, &beta, y, &one);
  EXPECT_EQ(y[0], 4.0);
  EXPECT_EQ(y[1], 6.0);
  blas_dsymv("L", &n, &alpha, a, &n, x, &one, &beta, y, &one);  // [1 3; 3 4]
  EXPECT_EQ(y[1], 7.0);
  blas_dtrmv("U", "N", "N", &n, a, &n, x, &one);  // [1 2; 0 4] * [1 1]
  EXPECT_EQ(x[0], 3.0);
  blas_dtrsv("U", "N", "N", &n, a, &n, x, &one);
  EXPECT_EQ(x[0], 1.0);
  double m[] = {0, 0, 0, 0};
  blas_dger(&n, &n, &alpha, x, &one, y, &one, m, &n);
  blas_dsyr2("U", &n, &alpha, x, &one, y, &one, m, &n);
  EXPECT_EQ(m[2], 7.0 + (1 * 7 + 4 * 1));  // ger gives x0*y1, syr2 adds x0*y1 + y0*x1
}

}  // namespace
}  // namespace ztr
