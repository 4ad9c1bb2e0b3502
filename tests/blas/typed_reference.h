// Reference checks of the level-3 routines in the four scalar types: sums accumulated in long
// double with the magnitude of their terms, and dense copies of structured operands, so that
// one loop judges a multiply, a triangular product or solve and a rank-k update alike.
#pragma once

#include <algorithm>
#include <cstring>

#include "blas/templates/tblas.h"
#include "tests/support/test_support.h"

namespace ztr::test {

using tblas::kIsComplex;
using tblas::RealOf;

template <typename T>
using Acc = std::conditional_t<kIsComplex<T>, std::complex<long double>, long double>;

// Product in long double, written out (the library's complex product checks for infinities
// and is slow).
template <typename T>
Acc<T> prod(T x, T y) {
  if constexpr (kIsComplex<T>) {
    const long double a = x.real(), b = x.imag(), c = y.real(), d = y.imag();
    return {a * c - b * d, a * d + b * c};
  } else {
    return static_cast<long double>(x) * y;
  }
}
template <typename T>
long double mag(T x) {  // |re| + |im|: within a factor sqrt(2) of |x|, and cheap
  return std::fabs(static_cast<long double>(std::real(x))) +
         std::fabs(static_cast<long double>(std::imag(x)));
}
template <typename T>
T conj_if(bool c, T x) {
  if constexpr (kIsComplex<T>)
    return c ? std::conj(x) : x;
  else
    return x;
}
template <typename T>
T nan_value() {
  const RealOf<T> n = std::numeric_limits<RealOf<T>>::quiet_NaN();
  if constexpr (kIsComplex<T>)
    return T(n, n);
  else
    return n;
}
template <typename T>
bool is_nan(T x) {
  return std::isnan(std::real(x)) || std::isnan(std::imag(x));
}
// re + i*im, or re for a real type.
template <typename T>
T make(double re, double im) {
  if constexpr (kIsComplex<T>)
    return T(static_cast<RealOf<T>>(re), static_cast<RealOf<T>>(im));
  else
    return static_cast<T>(re);
}
template <typename T>
std::vector<T> random_matrix(std::size_t n, std::mt19937& gen) {
  std::uniform_real_distribution<RealOf<T>> d(-1, 1);
  std::vector<T> v(n);
  for (T& x : v) {
    if constexpr (kIsComplex<T>)
      x = T(d(gen), d(gen));
    else
      x = d(gen);
  }
  return v;
}
template <typename T>
constexpr long double eps() {
  return std::numeric_limits<RealOf<T>>::epsilon();
}
// |got - want| <= (terms + 2) * eps * magnitude (complex products count four times).
template <typename T>
bool near(T got, Acc<T> want, long double magnitude, long double terms) {
  if (is_nan(got)) return false;
  const long double f = kIsComplex<T> ? 4 : 1;
  return std::abs(Acc<T>(got) - want) <= f * (terms + 2) * eps<T>() * magnitude + 1e-30L;
}
// op(X)(i, j) of a stored matrix: 'N', 'T' or 'C' (either case).
template <typename T>
T op_at(const std::vector<T>& x, int ld, char t, int i, int j) {
  if (t == 'N' || t == 'n') return x[i + static_cast<std::size_t>(j) * ld];
  return conj_if(t == 'C' || t == 'c', x[j + static_cast<std::size_t>(i) * ld]);
}
inline constexpr auto upper = [](char uplo) { return uplo == 'U' || uplo == 'u'; };
inline constexpr auto unit = [](char diag) { return diag == 'U' || diag == 'u'; };

// A triangular matrix of order n with a dominant diagonal; NaN in the other triangle, the
// padding rows and, for a unit diagonal, on the diagonal (none of them may be read).
template <typename T>
std::vector<T> triangle(int n, int lda, char uplo, char diag, std::mt19937& gen) {
  auto a = random_matrix<T>(static_cast<std::size_t>(lda) * std::max(n, 1), gen);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < lda; ++i) {
      T& e = a[i + static_cast<std::size_t>(j) * lda];
      if (i >= n || (upper(uplo) ? i > j : i < j))
        e = nan_value<T>();
      else if (i == j)
        e = unit(diag) ? nan_value<T>() : e + T(RealOf<T>(std::real(e) < 0 ? -2 : 2));
      else
        e = e * T(RealOf<T>(1.0 / n));
    }
  return a;
}

// The dense n x n matrix a routine must see through the stored triangle of `a`: the triangle
// with its implied zeros and unit diagonal (kind 'N' or 'U'), or the symmetric matrix ('S').
template <typename T>
std::vector<T> dense(const std::vector<T>& a, int lda, int n, char uplo, char kind) {
  std::vector<T> d(static_cast<std::size_t>(std::max(n, 1)) * std::max(n, 1), T(0));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const bool in = upper(uplo) ? i <= j : i >= j;
      T& e = d[i + static_cast<std::size_t>(j) * n];
      if (kind == 'S')
        e = in ? a[i + j * lda] : a[j + i * lda];
      else
        e = i == j && unit(kind) ? T(1) : in ? a[i + j * lda] : T(0);
    }
  return d;
}

// Entries of `got` (ldc x n) that miss alpha * sum_{p<k} l(i, p) * r(p, j) + beta * c0(i, j)
// (the beta term only for beta != 0) for i < m where in(i, j); every other entry must keep its
// value in c0 (NaN stays NaN).
template <typename T, typename L, typename R, typename In>
int misses_of(const std::vector<T>& got, const std::vector<T>& c0, int ldc, int m, int n, int k,
              T alpha, T beta, L l, R r, long double terms, In in) {
  int bad = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < ldc; ++i) {
      const std::size_t e = i + static_cast<std::size_t>(j) * ldc;
      if (i >= m || !in(i, j)) {
        bad += is_nan(c0[e]) ? !is_nan(got[e]) : !(got[e] == c0[e]);
        continue;
      }
      Acc<T> s = 0;
      long double sm = 0;
      for (int p = 0; p < k; ++p) {
        const T x = l(i, p), y = r(p, j);
        s += prod(x, y);
        sm += mag(x) * mag(y);
      }
      Acc<T> want = Acc<T>(alpha) * s;
      long double wm = mag(alpha) * sm;
      if (beta != T(0)) want += Acc<T>(beta) * Acc<T>(c0[e]), wm += mag(beta) * mag(c0[e]);
      bad += !near(got[e], want, wm, terms);
    }
  return bad;
}
inline constexpr auto everywhere = [](int, int) { return true; };

// Misses of a triangular solve (solve) or product with the options of `opts` (side, uplo,
// trans, diag) that turned b0 (ldb x n, m rows used) into x: the residual op(A)*X - alpha*B0
// (or X*op(A) - alpha*B0), or the product alpha*op(A)*B0 (or alpha*B0*op(A)).
template <typename T>
int triangular_misses(bool solve, const char* opts, int m, int n, T alpha, const std::vector<T>& a,
                      int lda, const std::vector<T>& b0, const std::vector<T>& x, int ldb) {
  const bool left = opts[0] == 'L' || opts[0] == 'l';
  const int na = left ? m : n;
  const auto d = dense(a, lda, na, opts[1], opts[3]);
  const auto& y = solve ? x : b0;
  auto ta = [&](int i, int j) { return op_at(d, na, opts[2], i, j); };
  auto yb = [&](int i, int j) { return y[i + static_cast<std::size_t>(j) * ldb]; };
  const long double terms = solve ? 4 * na : na;
  std::vector<T> want = x;  // the solve is judged by alpha*B0 against op(A)*X
  if (solve)
    for (std::size_t e = 0; e < want.size(); ++e) want[e] = alpha * b0[e];
  int bad = 0;
  for (std::size_t e = 0; e < x.size(); ++e)  // rows past m untouched
    if (static_cast<int>(e % ldb) >= m) bad += is_nan(b0[e]) ? !is_nan(x[e]) : !(x[e] == b0[e]);
  if (alpha == T(0)) {  // B := 0 without reading A or B
    for (std::size_t e = 0; e < x.size(); ++e)
      bad += static_cast<int>(e % ldb) < m && !(x[e] == T(0));
    return bad;
  }
  const T scale = solve ? T(1) : alpha;
  if (left)
    return bad + misses_of(want, want, ldb, m, n, na, scale, T(0), ta, yb, terms, everywhere);
  return bad + misses_of(want, want, ldb, m, n, na, scale, T(0), yb, ta, terms, everywhere);
}

// Misses of a rank-k update of the uplo triangle of C (order n, padded; NaN outside the
// triangle, and everywhere when beta = 0) made by call(a, b, lda, c, ldc), op(A) and op(B) of
// n x k: alpha*A*op(A)' (conjugated for herm) or, with rank2, alpha*(A*op(B)' + B*op(A)'),
// plus beta*C.  A Hermitian update must leave a real diagonal and read only its real part.
template <typename T, typename Call>
int rank_k_misses(bool rank2, bool herm, char uplo, char trans, int n, int k, T alpha, T beta,
                  std::mt19937& gen, Call call) {
  const int rows = trans == 'N' ? n : k, cols = trans == 'N' ? k : n;
  const int lda = std::max(1, rows) + 2, ldc = std::max(1, n) + 1;
  const auto a = random_matrix<T>(static_cast<std::size_t>(lda) * std::max(1, cols), gen);
  const auto b = random_matrix<T>(a.size(), gen);
  auto c = random_matrix<T>(static_cast<std::size_t>(ldc) * std::max(1, n), gen);
  auto in = [&](int i, int j) { return upper(uplo) ? i <= j : i >= j; };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < ldc; ++i)
      if (i >= n || !in(i, j) || beta == T(0)) c[i + j * ldc] = nan_value<T>();
  auto c0 = c;
  call(a.data(), b.data(), lda, c.data(), ldc);
  if constexpr (kIsComplex<T>)
    for (int i = 0; herm && i < n; ++i) c0[i + i * ldc] = std::real(c0[i + i * ldc]);
  // [A B] times [B A]' with the inner dimension 2k, or A times A'.
  const int kk = std::max(k, 1);
  auto l = [&](int i, int p) { return op_at(p < k ? a : b, lda, trans, i, p % kk); };
  auto r = [&](int p, int j) {
    return conj_if(herm, op_at(p < k ? (rank2 ? b : a) : a, lda, trans, j, p % kk));
  };
  int bad = misses_of(c, c0, ldc, n, n, rank2 ? 2 * k : k, alpha, beta, l, r, 2 * k, in);
  for (int i = 0; herm && i < n; ++i) bad += std::imag(c[i + i * ldc]) != 0;
  return bad;
}

// The level-1 routines of one scalar type, as the kernels or the templates provide them;
// rot may be absent.
template <typename T>
struct Level1 {
  void (*swap)(int, T*, int, T*, int);
  void (*scal)(int, T, T*, int);
  void (*copy)(int, const T*, int, T*, int);
  void (*axpy)(int, T, const T*, int, T*, int);
  T (*dotu)(int, const T*, int, const T*, int);
  T (*dotc)(int, const T*, int, const T*, int);
  RealOf<T> (*nrm2)(int, const T*, int);
  int (*iamax)(int, const T*, int);
  void (*rot)(int, T*, int, T*, int, RealOf<T>, RealOf<T>) = nullptr;
};

// Misses of every routine of `k` against long-double loops, with negative increments: swap
// exchanges, copy copies, axpy with alpha = 0 leaves y alone, scal scales for positive
// increments only, iamax gives the first largest |re| + |im| (0 for n = 0 or a negative
// increment).
template <typename T>
int level1_misses(const Level1<T>& k, std::mt19937& gen) {
  int bad = 0;
  const int incs[] = {1, 2, -1, -3};
  const T alpha = make<T>(-1.5, 0.5);
  for (int n : {0, 1, 2, 7, 33})
    for (int incx : incs) {
      for (int incy : incs) {
        const auto x0 = random_matrix<T>(span(n, incx), gen);
        const auto y0 = random_matrix<T>(span(n, incy), gen);
        auto X = [&](const std::vector<T>& v, int i) { return v[at(i, n, incx)]; };
        auto Y = [&](const std::vector<T>& v, int i) { return v[at(i, n, incy)]; };
        Acc<T> du = 0, dc = 0;
        long double dm = 0;
        for (int i = 0; i < n; ++i) {
          du += prod(X(x0, i), Y(y0, i)), dc += prod(conj_if(true, X(x0, i)), Y(y0, i));
          dm += mag(X(x0, i)) * mag(Y(y0, i));
        }
        bad += !near(k.dotu(n, x0.data(), incx, y0.data(), incy), du, dm, n);
        bad += !near(k.dotc(n, x0.data(), incx, y0.data(), incy), dc, dm, n);
        auto x = x0, y = y0, y2 = y0, y3 = y0, y4 = y0, xr = x0, yr = y0;
        k.swap(n, x.data(), incx, y.data(), incy);
        k.copy(n, x0.data(), incx, y2.data(), incy);
        k.axpy(n, alpha, x0.data(), incx, y3.data(), incy);
        k.axpy(n, T(0), x0.data(), incx, y4.data(), incy);
        if (k.rot) k.rot(n, xr.data(), incx, yr.data(), incy, RealOf<T>(0.6), RealOf<T>(-0.8));
        bad += !(y4 == y0);
        for (int i = 0; i < n; ++i) {
          const Acc<T> u = Acc<T>(X(x0, i)), v = Acc<T>(Y(y0, i));
          bad += !(X(x, i) == Y(y0, i) && Y(y, i) == X(x0, i) && Y(y2, i) == X(x0, i));
          bad += !near(Y(y3, i), Acc<T>(alpha) * u + v, mag(alpha) + 1, 2);
          if (k.rot)
            bad += !near(X(xr, i), 0.6L * u - 0.8L * v, 2, 1) +
                   !near(Y(yr, i), 0.6L * v + 0.8L * u, 2, 1);
        }
      }
      auto x = random_matrix<T>(span(n, incx), gen);
      const auto x0 = x;
      k.scal(n, alpha, x.data(), incx);
      long double ss = 0;
      int best = 0;
      for (std::size_t i = 0; i < x.size(); ++i) {
        const int idx = static_cast<int>(i) / std::max(incx, 1);
        const bool touched = incx > 0 && static_cast<int>(i) % incx == 0 && idx < n;
        bad += touched ? !near(x[i], Acc<T>(alpha) * Acc<T>(x0[i]), mag(alpha) * mag(x0[i]), 1)
                       : !(x[i] == x0[i] || (is_nan(x[i]) && is_nan(x0[i])));
        if (touched && mag(x0[i]) > mag(x0[best * incx])) best = idx;
      }
      for (int i = 0; i < n; ++i) ss += std::norm(Acc<T>(x0[at(i, n, incx)]));
      bad += !near(T(k.nrm2(n, x0.data(), incx)), Acc<T>(std::sqrt(ss)), std::sqrt(ss), 2 * n);
      bad += k.iamax(n, x0.data(), incx) != (incx > 0 && n > 0 ? best + 1 : 0);
    }
  return bad;
}

// The n entries of a vector with increment inc, contiguous.
template <typename T>
std::vector<T> gather(const std::vector<T>& v, int n, int inc) {
  std::vector<T> g(n);
  for (int i = 0; i < n; ++i) g[i] = v[at(i, n, inc)];
  return g;
}

// Misses of y (increment incy) against alpha*op(M)*x + beta*y0 (the beta term only for
// beta != 0), M of rows x cols with leading dimension ld.
template <typename T>
int mv_misses(const std::vector<T>& mat, int ld, char trans, int rows, int cols, T alpha,
              const std::vector<T>& x, int incx, T beta, const std::vector<T>& y0,
              const std::vector<T>& y, int incy) {
  const int lx = trans == 'N' ? cols : rows, ly = trans == 'N' ? rows : cols;
  const auto xs = gather(x, lx, incx);
  auto l = [&](int i, int p) { return op_at(mat, ld, trans, i, p); };
  auto r = [&](int p, int) { return xs[p]; };
  return misses_of(gather(y, ly, incy), gather(y0, ly, incy), ly, ly, 1, lx, alpha, beta, l, r,
                   lx + 2, everywhere);
}

// Misses of y := alpha*op(A)*x + beta*y by `gemv` for every transpose, empty and padded
// shapes and increments of either sign: beta = 0 does not read y (NaN), an empty matrix
// leaves y alone.
template <typename T, typename Gemv>
int gemv_misses(Gemv gemv, std::mt19937& gen) {
  int bad = 0;
  for (char trans : {'N', 't', 'C'})
    for (int m : {0, 1, 5, 19})
      for (int n : {0, 1, 6, 13}) {
        const int lda = std::max(1, m) + 3, lx = trans == 'N' ? n : m, ly = trans == 'N' ? m : n;
        const auto a = random_matrix<T>(static_cast<std::size_t>(lda) * std::max(n, 1), gen);
        for (int incx : {1, 2, -1, -2}) {
          const int incy = -incx == 2 ? 1 : -incx;
          const auto x = random_matrix<T>(span(lx, incx), gen);
          for (T alpha : {T(0), make<T>(1.25, -0.5)})
            for (T beta : {T(0), T(1), make<T>(-0.5, 0.25)}) {
              auto y = random_matrix<T>(span(ly, incy), gen);
              if (beta == T(0))
                for (T& e : y) e = nan_value<T>();
              const auto y0 = y;
              gemv(trans, m, n, alpha, a.data(), lda, x.data(), incx, beta, y.data(), incy);
              bad += m == 0 || n == 0
                         ? std::memcmp(y.data(), y0.data(), y.size() * sizeof(T)) != 0
                         : mv_misses(a, lda, trans, m, n, alpha, x, incx, beta, y0, y, incy);
            }
        }
      }
  return bad;
}

// Misses of the triangular product x := op(A)*x (solve false) or solve op(A)*x = b by
// fn(uplo, trans, diag, n, a, lda, x, inc) for every option and increments of either sign;
// the other triangle, a unit diagonal and the padding rows are NaN and must not be read.
template <typename T, typename Fn>
int triangular_mv_misses(bool solve, Fn fn, std::mt19937& gen) {
  int bad = 0;
  for (char uplo : {'U', 'l'})
    for (int n : {0, 1, 4, 17})
      for (char trans : {'n', 'T', 'c'})
        for (char diag : {'N', 'u'}) {
          const int lda = std::max(1, n) + 2;
          const auto a = triangle<T>(n, lda, uplo, diag, gen);
          const auto d = dense(a, lda, n, uplo, diag);
          for (int inc : {1, 2, -1, -2}) {
            const auto x0 = random_matrix<T>(span(n, inc), gen);
            auto x = x0;
            fn(uplo, trans, diag, n, a.data(), lda, x.data(), inc);
            const auto in = gather(solve ? x : x0, n, inc), out = gather(solve ? x0 : x, n, inc);
            auto l = [&](int i, int p) { return op_at(d, n, trans, i, p); };
            auto r = [&](int p, int) { return in[p]; };  // op(A)*in against out
            bad += misses_of(out, out, n, n, 1, n, T(1), T(0), l, r, solve ? 4 * n : n, everywhere);
          }
        }
  return bad;
}

}  // namespace ztr::test
