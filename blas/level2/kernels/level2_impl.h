// Level-2 kernels, compiled once per CpuType.  Each algorithm is written once over a vector
// view whose stride is either the constant 1 (so the compiler vectorises the inner loops)
// or the caller's increment.
#include <cstddef>

#include "blas/level2/kernels/level2_kernels.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

using Index = std::ptrdiff_t;

inline bool is(char c, char upper) { return c == upper || c == upper + ('a' - 'A'); }

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

template <bool kUnit>
void symv(bool upper, int n, double alpha, const double* a, Index lda,
          Vec<kUnit, const double> x, Vec<kUnit, double> y) {
  for (Index j = 0; j < n; ++j) {
    const double* aj = a + j * lda;
    const double t1 = alpha * x[j];
    double t2 = 0.0;
    // The column's off-diagonal part is used twice: as column j (axpy into y) and, by
    // symmetry, as row j (dot with x).
    const Index lo = upper ? 0 : j + 1, hi = upper ? j : n;
    for (Index i = lo; i < hi; ++i) y[i] += t1 * aj[i];
    if constexpr (kUnit) {
      t2 = dot_unit(hi - lo, aj + lo, x.p + lo);
    } else {
      for (Index i = lo; i < hi; ++i) t2 += aj[i] * x[i];
    }
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
void syr2(bool upper, int n, double alpha, Vec<kUnit, const double> x,
          Vec<kUnit, const double> y, double* a, Index lda) {
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
    if (t) gemv_t<true>(m, n, alpha, a, lda, vec<true>(x, lenx, 1), vec<true>(y, leny, 1));
    else gemv_n<true>(m, n, alpha, a, lda, vec<true>(x, lenx, 1), vec<true>(y, leny, 1));
  } else {
    scale_y<false>(leny, beta, vec<false>(y, leny, incy));
    if (alpha == 0.0) return;
    if (t) gemv_t<false>(m, n, alpha, a, lda, vec<false>(x, lenx, incx), vec<false>(y, leny, incy));
    else gemv_n<false>(m, n, alpha, a, lda, vec<false>(x, lenx, incx), vec<false>(y, leny, incy));
  }
}

void dsymv(char uplo, int n, double alpha, const double* a, int lda, const double* x, int incx,
           double beta, double* y, int incy) {
  if (n <= 0 || (alpha == 0.0 && beta == 1.0)) return;
  const bool upper = is(uplo, 'U');
  if (incx == 1 && incy == 1) {
    scale_y<true>(n, beta, vec<true>(y, n, 1));
    if (alpha != 0.0) symv<true>(upper, n, alpha, a, lda, vec<true>(x, n, 1), vec<true>(y, n, 1));
  } else {
    scale_y<false>(n, beta, vec<false>(y, n, incy));
    if (alpha != 0.0)
      symv<false>(upper, n, alpha, a, lda, vec<false>(x, n, incx), vec<false>(y, n, incy));
  }
}

void dtrmv(char uplo, char trans, char diag, int n, const double* a, int lda, double* x, int incx) {
  if (n <= 0) return;
  const bool upper = is(uplo, 'U'), t = !is(trans, 'N'), unit = is(diag, 'U');
  if (incx == 1) trmv<true>(upper, t, unit, n, a, lda, vec<true>(x, n, 1));
  else trmv<false>(upper, t, unit, n, a, lda, vec<false>(x, n, incx));
}

void dtrsv(char uplo, char trans, char diag, int n, const double* a, int lda, double* x, int incx) {
  if (n <= 0) return;
  const bool upper = is(uplo, 'U'), t = !is(trans, 'N'), unit = is(diag, 'U');
  if (incx == 1) trsv<true>(upper, t, unit, n, a, lda, vec<true>(x, n, 1));
  else trsv<false>(upper, t, unit, n, a, lda, vec<false>(x, n, incx));
}

void dger(int m, int n, double alpha, const double* x, int incx, const double* y, int incy,
          double* a, int lda) {
  if (m <= 0 || n <= 0 || alpha == 0.0) return;
  if (incx == 1 && incy == 1) ger<true>(m, n, alpha, vec<true>(x, m, 1), vec<true>(y, n, 1), a, lda);
  else ger<false>(m, n, alpha, vec<false>(x, m, incx), vec<false>(y, n, incy), a, lda);
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
