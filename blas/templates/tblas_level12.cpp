// Level-1 and level-2 templates and their instantiations for the four scalar types.
#include <cmath>
#include <complex>
#include <cstddef>

#include "blas/templates/tblas.h"

namespace ztr::tblas {
namespace {

using Index = std::ptrdiff_t;

inline Index first(int n, int inc) { return inc < 0 ? static_cast<Index>(n - 1) * -inc : 0; }

}  // namespace

template <typename T>
void swap(int n, T* x, int incx, T* y, int incy) {
  Index ix = first(n, incx), iy = first(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) {
    const T t = x[ix];
    x[ix] = y[iy];
    y[iy] = t;
  }
}

template <typename T>
void scal(int n, T alpha, T* x, int incx) {
  if (incx <= 0) return;
  for (Index i = 0, ix = 0; i < n; ++i, ix += incx) x[ix] = mul(alpha, x[ix]);
}

template <typename T>
void copy(int n, const T* x, int incx, T* y, int incy) {
  Index ix = first(n, incx), iy = first(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] = x[ix];
}

template <typename T>
void axpy(int n, T alpha, const T* x, int incx, T* y, int incy) {
  if (alpha == T(0)) return;
  Index ix = first(n, incx), iy = first(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] += mul(alpha, x[ix]);
}

template <typename T>
static T dot_impl(bool conj, int n, const T* x, int incx, const T* y, int incy) {
  T s = T(0);
  Index ix = first(n, incx), iy = first(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) s += mul(conj_if(conj, x[ix]), y[iy]);
  return s;
}
template <typename T>
T dotu(int n, const T* x, int incx, const T* y, int incy) {
  return dot_impl(false, n, x, incx, y, incy);
}
template <typename T>
T dotc(int n, const T* x, int incx, const T* y, int incy) {
  return dot_impl(true, n, x, incx, y, incy);
}

// The scaled sum of squares: norm = scale*sqrt(ssq) with scale the largest magnitude seen,
// so that no square overflows and no small entry is lost to underflow before it matters.
template <typename T>
RealOf<T> nrm2(int n, const T* x, int incx) {
  using R = RealOf<T>;
  if (n < 1) return R(0);
  R scale = 0, ssq = 1;
  auto add = [&](R v) {
    if (v != R(0) || std::isnan(v)) {
      const R a = std::fabs(v);
      if (std::isnan(a)) {
        scale = a;  // NaN wins
      } else if (scale < a) {
        ssq = R(1) + ssq * (scale / a) * (scale / a);
        scale = a;
      } else if (!std::isnan(scale)) {
        ssq += (a / scale) * (a / scale);
      }
    }
  };
  const Index step = incx < 0 ? -static_cast<Index>(incx) : incx;
  for (Index i = 0, ix = 0; i < n; ++i, ix += step) {
    if constexpr (kIsComplex<T>) {
      add(x[ix].real());
      add(x[ix].imag());
    } else {
      add(x[ix]);
    }
  }
  if (std::isnan(scale) || std::isinf(scale)) return scale;
  return scale * std::sqrt(ssq);
}

template <typename T>
int iamax(int n, const T* x, int incx) {
  if (n < 1 || incx <= 0) return 0;
  int best = 0;
  RealOf<T> vmax = abs1(x[0]);
  for (Index i = 1, ix = incx; i < n; ++i, ix += incx) {
    const RealOf<T> v = abs1(x[ix]);
    if (v > vmax) {
      vmax = v;
      best = static_cast<int>(i);
    }
  }
  return best + 1;
}

template <typename T>
void gemv(char trans, int m, int n, T alpha, const T* a, int lda, const T* x, int incx, T beta,
          T* y, int incy) {
  if (m <= 0 || n <= 0 || (alpha == T(0) && beta == T(1))) return;
  const Op op = op_of<T>(trans);
  const int lenx = op.trans ? m : n, leny = op.trans ? n : m;
  const Index kx = first(lenx, incx), ky = first(leny, incy);
  if (beta != T(1)) {
    for (Index i = 0, iy = ky; i < leny; ++i, iy += incy)
      y[iy] = beta == T(0) ? T(0) : mul(beta, y[iy]);
  }
  if (alpha == T(0)) return;
  if (!op.trans) {
    for (Index j = 0, jx = kx; j < n; ++j, jx += incx) {
      const T t = mul(alpha, x[jx]);
      const T* aj = a + j * lda;
      if (incy == 1) {
        for (Index i = 0; i < m; ++i) y[i] += mul(t, aj[i]);
      } else {
        for (Index i = 0, iy = ky; i < m; ++i, iy += incy) y[iy] += mul(t, aj[i]);
      }
    }
  } else {
    for (Index j = 0, jy = ky; j < n; ++j, jy += incy) {
      const T* aj = a + j * lda;
      T t = T(0);
      for (Index i = 0, ix = kx; i < m; ++i, ix += incx) t += mul(conj_if(op.conj, aj[i]), x[ix]);
      y[jy] += mul(alpha, t);
    }
  }
}

template <typename T>
void trsv(char uplo, char trans, char diag, int n, const T* a, int lda, T* x, int incx) {
  if (n <= 0) return;
  const Op op = op_of<T>(trans);
  const bool upper = is_letter(uplo, 'U'), unit = is_letter(diag, 'U');
  const Index kx = first(n, incx);
  auto X = [&](Index i) -> T& { return x[kx + i * incx]; };
  auto A = [&](Index i, Index j) { return conj_if(op.conj, a[i + j * lda]); };
  if (!op.trans) {
    // Column form: each solved entry updates the rest.
    if (upper) {
      for (Index j = n - 1; j >= 0; --j) {
        if (X(j) == T(0)) continue;
        if (!unit) X(j) /= A(j, j);
        const T t = X(j);
        for (Index i = 0; i < j; ++i) X(i) -= mul(t, A(i, j));
      }
    } else {
      for (Index j = 0; j < n; ++j) {
        if (X(j) == T(0)) continue;
        if (!unit) X(j) /= A(j, j);
        const T t = X(j);
        for (Index i = j + 1; i < n; ++i) X(i) -= mul(t, A(i, j));
      }
    }
  } else {
    // Dot form: column j of A is row j of op(A).
    if (upper) {
      for (Index j = 0; j < n; ++j) {
        T t = X(j);
        for (Index i = 0; i < j; ++i) t -= mul(A(i, j), X(i));
        X(j) = unit ? t : t / A(j, j);
      }
    } else {
      for (Index j = n - 1; j >= 0; --j) {
        T t = X(j);
        for (Index i = n - 1; i > j; --i) t -= mul(A(i, j), X(i));
        X(j) = unit ? t : t / A(j, j);
      }
    }
  }
}

#define ZTR_TBLAS_LEVEL12(T)                                                                 \
  template void swap<T>(int, T*, int, T*, int);                                              \
  template void scal<T>(int, T, T*, int);                                                    \
  template void copy<T>(int, const T*, int, T*, int);                                        \
  template void axpy<T>(int, T, const T*, int, T*, int);                                     \
  template T dotu<T>(int, const T*, int, const T*, int);                                     \
  template T dotc<T>(int, const T*, int, const T*, int);                                     \
  template RealOf<T> nrm2<T>(int, const T*, int);                                            \
  template int iamax<T>(int, const T*, int);                                                 \
  template void gemv<T>(char, int, int, T, const T*, int, const T*, int, T, T*, int);        \
  template void trsv<T>(char, char, char, int, const T*, int, T*, int);
ZTR_TBLAS_LEVEL12(float)
ZTR_TBLAS_LEVEL12(double)
ZTR_TBLAS_LEVEL12(std::complex<float>)
ZTR_TBLAS_LEVEL12(std::complex<double>)
#undef ZTR_TBLAS_LEVEL12

}  // namespace ztr::tblas
