// Level-2 kernels, compiled once per CpuType.  Each algorithm is written once over a vector
// view whose stride is either the constant 1 (so the compiler vectorises the inner loops)
// or the caller's increment.  The unit-stride symmetric product is written with the
// compiler's vector types, so each variant gets vectors of its instruction-set level (two
// doubles up to SSE4.2, four from AVX on) from the same source.
#include <cstddef>
#include <cstring>

#include "blas/level2/kernels/level2_kernels.h"
#include "service/kernel_vector.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

inline bool is(char c, char upper) {
  return c == upper || c == upper + ('a' - 'A');
}

// Element i of a Fortran vector; p already points at element 0 (the far end for a negative
// increment).
template <bool kUnit, typename T>
struct Vec {
  T* p;
  Index inc;
  T& operator[](Index i) const { return kUnit ? p[i] : p[i * inc]; }
};
template <bool kUnit, typename T>
Vec<kUnit, T> vec(T* x, int n, int inc) {
  return {inc < 0 ? x + static_cast<Index>(n - 1) * -inc : x, inc};
}

// Four partial sums, so that the unit-stride dot products vectorise.
inline double dot_unit(Index n, const double* a, const double* x) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  Index i = 0;
  for (; i + 4 <= n; i += 4) {
    s0 += a[i] * x[i];
    s1 += a[i + 1] * x[i + 1];
    s2 += a[i + 2] * x[i + 2];
    s3 += a[i + 3] * x[i + 3];
  }
  double s = (s0 + s2) + (s1 + s3);
  for (; i < n; ++i) s += a[i] * x[i];
  return s;
}

template <bool kUnit>
void gemv_n(int m, int n, double alpha, const double* a, Index lda, Vec<kUnit, const double> x,
            Vec<kUnit, double> y) {
  int j = 0;
  if constexpr (kUnit) {
    // Four columns per pass halve the traffic on y.
    for (; j + 4 <= n; j += 4) {
      const double t0 = alpha * x[j], t1 = alpha * x[j + 1], t2 = alpha * x[j + 2],
                   t3 = alpha * x[j + 3];
      const double* a0 = a + j * lda;
      const double *a1 = a0 + lda, *a2 = a1 + lda, *a3 = a2 + lda;
      double* yp = y.p;
      for (Index i = 0; i < m; ++i) yp[i] += (t0 * a0[i] + t1 * a1[i]) + (t2 * a2[i] + t3 * a3[i]);
    }
  }
  for (; j < n; ++j) {
    const double t = alpha * x[j];
    const double* aj = a + j * lda;
    for (Index i = 0; i < m; ++i) y[i] += t * aj[i];
  }
}

template <bool kUnit>
void gemv_t(int m, int n, double alpha, const double* a, Index lda, Vec<kUnit, const double> x,
            Vec<kUnit, double> y) {
  for (Index j = 0; j < n; ++j) {
    const double* aj = a + j * lda;
    double t;
    if constexpr (kUnit) {
      t = dot_unit(m, aj, x.p);
    } else {
      t = 0.0;
      for (Index i = 0; i < m; ++i) t += aj[i] * x[i];
    }
    y[j] += alpha * t;
  }
}

// y := beta*y, with beta = 0 writing zeros.
template <bool kUnit>
void scale_y(int n, double beta, Vec<kUnit, double> y) {
  if (beta == 1.0) return;
  if (beta == 0.0) {
    for (Index i = 0; i < n; ++i) y[i] = 0.0;
  } else {
    for (Index i = 0; i < n; ++i) y[i] *= beta;
  }
}

// Columns of the stored triangle taken together by the symmetric product: each row of the
// block below (lower) or above (upper) their diagonal block is loaded once, with x and y,
// and used for all of them.
constexpr int kSymvCols = 4;

// Rows [r0, r1) of the G columns col[0..G-1], each entry read once:
// y(r) += sum_k t[k]*col[k](r) (the columns' axpy) and dot[k] += sum_r col[k](r)*x(r) (the
// same entries as rows of the mirrored triangle).
template <int G>
void symv_rectangle(Index r0, Index r1, const double* const* col, const double* t, const double* x,
                    double* y, double* dot) {
  Pack tv[G], s[G];
  for (int k = 0; k < G; ++k) {
    tv[k] = splat(t[k]);
    s[k] = Pack{};
  }
  Index r = r0;
  for (; r + kLanes <= r1; r += kLanes) {
    const Pack xv = load(x + r);
    Pack c[G];
    for (int k = 0; k < G; ++k) c[k] = load(col[k] + r);
    Pack acc = c[0] * tv[0];
    for (int k = 1; k < G; ++k) acc += c[k] * tv[k];
    store(y + r, load(y + r) + acc);
    for (int k = 0; k < G; ++k) s[k] += c[k] * xv;
  }
  for (int k = 0; k < G; ++k) dot[k] += lane_sum(s[k]);
  for (; r < r1; ++r) {
    double acc = col[0][r] * t[0];
    for (int k = 1; k < G; ++k) acc += col[k][r] * t[k];
    y[r] += acc;
    for (int k = 0; k < G; ++k) dot[k] += col[k][r] * x[r];
  }
}

// y := y + alpha*(the contribution of stored columns [c0, c1) of the order-n symmetric A),
// unit strides: column j gives y(i) += alpha*a(i,j)*x(j) for its stored off-diagonal rows
// i, and y(j) += alpha*(a(j,j)*x(j) + sum_i a(i,j)*x(i)).  Summed over all columns this is
// y + alpha*A*x; a column range is one thread's share of that product.
void symv_columns_unit(bool upper, Index n, Index c0, Index c1, double alpha, const double* a,
                       Index lda, const double* x, double* y) {
  for (Index j = c0; j < c1; j += kSymvCols) {
    const int g = static_cast<int>(c1 - j < kSymvCols ? c1 - j : kSymvCols);
    const double* col[kSymvCols];
    double t[kSymvCols], dot[kSymvCols];
    for (int k = 0; k < g; ++k) {
      col[k] = a + (j + k) * lda;
      t[k] = alpha * x[j + k];
      dot[k] = 0.0;
    }
    // The g x g diagonal block, one entry at a time.
    for (int k = 0; k < g; ++k) {
      const Index jj = j + k;
      const Index lo = upper ? j : jj + 1, hi = upper ? jj : j + g;
      for (Index i = lo; i < hi; ++i) {
        y[i] += t[k] * col[k][i];
        dot[k] += col[k][i] * x[i];
      }
      y[jj] += t[k] * col[k][jj];
    }
    const Index r0 = upper ? 0 : j + g, r1 = upper ? j : n;
    switch (g) {
      case 4:
        symv_rectangle<4>(r0, r1, col, t, x, y, dot);
        break;
      case 3:
        symv_rectangle<3>(r0, r1, col, t, x, y, dot);
        break;
      case 2:
        symv_rectangle<2>(r0, r1, col, t, x, y, dot);
        break;
      default:
        symv_rectangle<1>(r0, r1, col, t, x, y, dot);
        break;
    }
    for (int k = 0; k < g; ++k) y[j + k] += alpha * dot[k];
  }
}

// The strided product, one column at a time.
void symv_strided(bool upper, int n, double alpha, const double* a, Index lda,
                  Vec<false, const double> x, Vec<false, double> y) {
  for (Index j = 0; j < n; ++j) {
    const double* aj = a + j * lda;
    const double t1 = alpha * x[j];
    double t2 = 0.0;
    // The column's off-diagonal part is used twice: as column j (axpy into y) and, by
    // symmetry, as row j (dot with x).
    const Index lo = upper ? 0 : j + 1, hi = upper ? j : n;
    for (Index i = lo; i < hi; ++i) y[i] += t1 * aj[i];
    for (Index i = lo; i < hi; ++i) t2 += aj[i] * x[i];
    y[j] += t1 * aj[j] + alpha * t2;
  }
}

template <bool kUnit>
void trmv(bool upper, bool trans, bool unit, int n, const double* a, Index lda,
          Vec<kUnit, double> x) {
  auto A = [&](Index i, Index j) { return a[i + j * lda]; };
  if (!trans) {
    if (upper) {
      for (Index j = 0; j < n; ++j) {
        const double t = x[j];
        if (t == 0.0) continue;  // as the reference: a zero entry contributes nothing
        for (Index i = 0; i < j; ++i) x[i] += t * A(i, j);
        if (!unit) x[j] = t * A(j, j);
      }
    } else {
      for (Index j = n - 1; j >= 0; --j) {
        const double t = x[j];
        if (t == 0.0) continue;
        for (Index i = n - 1; i > j; --i) x[i] += t * A(i, j);
        if (!unit) x[j] = t * A(j, j);
      }
    }
  } else {
    if (upper) {
      for (Index j = n - 1; j >= 0; --j) {
        double t = unit ? x[j] : x[j] * A(j, j);
        for (Index i = j - 1; i >= 0; --i) t += A(i, j) * x[i];
        x[j] = t;
      }
    } else {
      for (Index j = 0; j < n; ++j) {
        double t = unit ? x[j] : x[j] * A(j, j);
        for (Index i = j + 1; i < n; ++i) t += A(i, j) * x[i];
        x[j] = t;
      }
    }
  }
}

template <bool kUnit>
void trsv(bool upper, bool trans, bool unit, int n, const double* a, Index lda,
          Vec<kUnit, double> x) {
  auto A = [&](Index i, Index j) { return a[i + j * lda]; };
  if (!trans) {
    if (upper) {
      for (Index j = n - 1; j >= 0; --j) {
        if (x[j] == 0.0) continue;
        if (!unit) x[j] /= A(j, j);
        const double t = x[j];
        for (Index i = 0; i < j; ++i) x[i] -= t * A(i, j);
      }
    } else {
      for (Index j = 0; j < n; ++j) {
        if (x[j] == 0.0) continue;
        if (!unit) x[j] /= A(j, j);
        const double t = x[j];
        for (Index i = j + 1; i < n; ++i) x[i] -= t * A(i, j);
      }
    }
  } else {
    if (upper) {
      for (Index j = 0; j < n; ++j) {
        double t = x[j];
        for (Index i = 0; i < j; ++i) t -= A(i, j) * x[i];
        if (!unit) t /= A(j, j);
        x[j] = t;
      }
    } else {
      for (Index j = n - 1; j >= 0; --j) {
        double t = x[j];
        for (Index i = n - 1; i > j; --i) t -= A(i, j) * x[i];
        if (!unit) t /= A(j, j);
        x[j] = t;
      }
    }
  }
}

template <bool kUnit>
void ger(int m, int n, double alpha, Vec<kUnit, const double> x, Vec<kUnit, const double> y,
         double* a, Index lda) {
  for (Index j = 0; j < n; ++j) {
    if (y[j] == 0.0) continue;
    const double t = alpha * y[j];
    double* aj = a + j * lda;
    for (Index i = 0; i < m; ++i) aj[i] += x[i] * t;
  }
}

template <bool kUnit>
void syr2(bool upper, int n, double alpha, Vec<kUnit, const double> x, Vec<kUnit, const double> y,
          double* a, Index lda) {
  for (Index j = 0; j < n; ++j) {
    if (x[j] == 0.0 && y[j] == 0.0) continue;
    const double t1 = alpha * y[j], t2 = alpha * x[j];
    double* aj = a + j * lda;
    const Index lo = upper ? 0 : j, hi = upper ? j + 1 : n;
    for (Index i = lo; i < hi; ++i) aj[i] += x[i] * t1 + y[i] * t2;
  }
}

}  // namespace

void dgemv(char trans, int m, int n, double alpha, const double* a, int lda, const double* x,
           int incx, double beta, double* y, int incy) {
  if (m <= 0 || n <= 0 || (alpha == 0.0 && beta == 1.0)) return;
  const bool t = !is(trans, 'N');
  const int lenx = t ? m : n, leny = t ? n : m;
  if (incx == 1 && incy == 1) {
    scale_y<true>(leny, beta, vec<true>(y, leny, 1));
    if (alpha == 0.0) return;
    if (t)
      gemv_t<true>(m, n, alpha, a, lda, vec<true>(x, lenx, 1), vec<true>(y, leny, 1));
    else
      gemv_n<true>(m, n, alpha, a, lda, vec<true>(x, lenx, 1), vec<true>(y, leny, 1));
  } else {
    scale_y<false>(leny, beta, vec<false>(y, leny, incy));
    if (alpha == 0.0) return;
    if (t)
      gemv_t<false>(m, n, alpha, a, lda, vec<false>(x, lenx, incx), vec<false>(y, leny, incy));
    else
      gemv_n<false>(m, n, alpha, a, lda, vec<false>(x, lenx, incx), vec<false>(y, leny, incy));
  }
}

void dsymv(char uplo, int n, double alpha, const double* a, int lda, const double* x, int incx,
           double beta, double* y, int incy) {
  if (n <= 0 || (alpha == 0.0 && beta == 1.0)) return;
  const bool upper = is(uplo, 'U');
  if (incx == 1 && incy == 1) {
    scale_y<true>(n, beta, vec<true>(y, n, 1));
    if (alpha != 0.0) symv_columns_unit(upper, n, 0, n, alpha, a, lda, x, y);
  } else {
    scale_y<false>(n, beta, vec<false>(y, n, incy));
    if (alpha != 0.0)
      symv_strided(upper, n, alpha, a, lda, vec<false>(x, n, incx), vec<false>(y, n, incy));
  }
}

void dsymv_columns(char uplo, int n, int c0, int c1, double alpha, const double* a, int lda,
                   const double* x, double* y) {
  if (n <= 0 || c0 >= c1 || alpha == 0.0) return;
  symv_columns_unit(is(uplo, 'U'), n, c0, c1, alpha, a, lda, x, y);
}

void dtrmv(char uplo, char trans, char diag, int n, const double* a, int lda, double* x, int incx) {
  if (n <= 0) return;
  const bool upper = is(uplo, 'U'), t = !is(trans, 'N'), unit = is(diag, 'U');
  if (incx == 1)
    trmv<true>(upper, t, unit, n, a, lda, vec<true>(x, n, 1));
  else
    trmv<false>(upper, t, unit, n, a, lda, vec<false>(x, n, incx));
}

void dtrsv(char uplo, char trans, char diag, int n, const double* a, int lda, double* x, int incx) {
  if (n <= 0) return;
  const bool upper = is(uplo, 'U'), t = !is(trans, 'N'), unit = is(diag, 'U');
  if (incx == 1)
    trsv<true>(upper, t, unit, n, a, lda, vec<true>(x, n, 1));
  else
    trsv<false>(upper, t, unit, n, a, lda, vec<false>(x, n, incx));
}

void dger(int m, int n, double alpha, const double* x, int incx, const double* y, int incy,
          double* a, int lda) {
  if (m <= 0 || n <= 0 || alpha == 0.0) return;
  if (incx == 1 && incy == 1)
    ger<true>(m, n, alpha, vec<true>(x, m, 1), vec<true>(y, n, 1), a, lda);
  else
    ger<false>(m, n, alpha, vec<false>(x, m, incx), vec<false>(y, n, incy), a, lda);
}

void dsyr2(char uplo, int n, double alpha, const double* x, int incx, const double* y, int incy,
           double* a, int lda) {
  if (n <= 0 || alpha == 0.0) return;
  const bool upper = is(uplo, 'U');
  if (incx == 1 && incy == 1)
    syr2<true>(upper, n, alpha, vec<true>(x, n, 1), vec<true>(y, n, 1), a, lda);
  else
    syr2<false>(upper, n, alpha, vec<false>(x, n, incx), vec<false>(y, n, incy), a, lda);
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
