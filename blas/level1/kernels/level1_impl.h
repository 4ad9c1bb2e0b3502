// Level-1 kernels, compiled once per CpuType: the unit-stride loops are written so that the
// compiler vectorises them with the variant's instruction set; other strides take the plain
// loop.
#include <cmath>
#include <cstddef>

#include "blas/level1/kernels/level1_kernels.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

using Index = std::ptrdiff_t;

// Offset of the first element processed for a Fortran increment.
inline Index start_of(int n, int inc) { return inc < 0 ? static_cast<Index>(n - 1) * -inc : 0; }

}  // namespace

void dswap(int n, double* x, int incx, double* y, int incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    for (int i = 0; i < n; ++i) {
      const double t = x[i];
      x[i] = y[i];
      y[i] = t;
    }
    return;
  }
  Index ix = start_of(n, incx), iy = start_of(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) {
    const double t = x[ix];
    x[ix] = y[iy];
    y[iy] = t;
  }
}

void dscal(int n, double alpha, double* x, int incx) {
  if (n <= 0 || incx <= 0) return;
  if (incx == 1) {
    for (int i = 0; i < n; ++i) x[i] *= alpha;
    return;
  }
  for (Index i = 0, ix = 0; i < n; ++i, ix += incx) x[ix] *= alpha;
}

void dcopy(int n, const double* x, int incx, double* y, int incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    for (int i = 0; i < n; ++i) y[i] = x[i];
    return;
  }
  Index ix = start_of(n, incx), iy = start_of(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] = x[ix];
}

void daxpy(int n, double alpha, const double* x, int incx, double* y, int incy) {
  if (n <= 0 || alpha == 0.0) return;
  if (incx == 1 && incy == 1) {
    for (int i = 0; i < n; ++i) y[i] += alpha * x[i];
    return;
  }
  Index ix = start_of(n, incx), iy = start_of(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] += alpha * x[ix];
}

double ddot(int n, const double* x, int incx, const double* y, int incy) {
  if (n <= 0) return 0.0;
  if (incx == 1 && incy == 1) {
    // Eight independent partial sums: the compiler keeps them in vector registers.
    double s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int i = 0;
    for (; i + 8 <= n; i += 8)
      for (int k = 0; k < 8; ++k) s[k] += x[i + k] * y[i + k];
    double r = ((s[0] + s[4]) + (s[1] + s[5])) + ((s[2] + s[6]) + (s[3] + s[7]));
    for (; i < n; ++i) r += x[i] * y[i];
    return r;
  }
  double r = 0.0;
  Index ix = start_of(n, incx), iy = start_of(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) r += x[ix] * y[iy];
  return r;
}

// Blue's three-accumulator norm: entries whose squares would underflow are summed scaled up,
// entries whose squares could overflow scaled down, the rest unscaled; the accumulators are
// combined at the end so that the mid-range sum is never lost to the scaled ones.  The
// thresholds are powers of two, so every scaling is exact.
double dnrm2(int n, const double* x, int incx) {
  if (n <= 0) return 0.0;
  constexpr double kTsml = 0x1p-511;  // below: square may underflow
  constexpr double kTbig = 0x1p+486;  // above: sum of squares may overflow
  constexpr double kSsml = 0x1p+537;  // scale for small entries
  constexpr double kSbig = 0x1p-538;  // scale for big entries
  double asml = 0.0, amed = 0.0, abig = 0.0;
  bool notbig = true;
  const Index step = incx < 0 ? -static_cast<Index>(incx) : incx;
  for (Index i = 0, ix = 0; i < n; ++i, ix += step) {
    const double ax = std::fabs(x[ix]);
    if (ax > kTbig) {
      abig += (ax * kSbig) * (ax * kSbig);
      notbig = false;
    } else if (ax < kTsml) {
      if (notbig) asml += (ax * kSsml) * (ax * kSsml);
    } else if (ax <= kTbig) {
      amed += ax * ax;
    } else {
      amed += ax;  // NaN: carried into the result
    }
  }
  double scl = 1.0, sumsq;
  if (abig > 0.0) {
    // Mid-range values matter only if they are not negligible next to the big ones.
    if (amed > 0.0 || std::isnan(amed)) abig += (amed * kSbig) * kSbig;
    scl = 1.0 / kSbig;
    sumsq = abig;
  } else if (asml > 0.0) {
    if (amed > 0.0 || std::isnan(amed)) {
      const double a1 = std::sqrt(amed);
      const double a2 = std::sqrt(asml) / kSsml;
      const double ymin = a1 < a2 ? a1 : a2, ymax = a1 < a2 ? a2 : a1;
      scl = 1.0;
      const double r = ymin / ymax;
      sumsq = ymax * ymax * (1.0 + r * r);
      if (std::isnan(amed)) sumsq = amed;
    } else {
      scl = 1.0 / kSsml;
      sumsq = asml;
    }
  } else {
    sumsq = amed;
  }
  return scl * std::sqrt(sumsq);
}

int idamax(int n, const double* x, int incx) {
  if (n < 1 || incx <= 0) return 0;
  int best = 0;
  double vmax = std::fabs(x[0]);
  for (Index i = 1, ix = incx; i < n; ++i, ix += incx) {
    const double v = std::fabs(x[ix]);
    if (v > vmax) {
      vmax = v;
      best = static_cast<int>(i);
    }
  }
  return best + 1;
}

void drot(int n, double* x, int incx, double* y, int incy, double c, double s) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    for (int i = 0; i < n; ++i) {
      const double t = c * x[i] + s * y[i];
      y[i] = c * y[i] - s * x[i];
      x[i] = t;
    }
    return;
  }
  Index ix = start_of(n, incx), iy = start_of(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) {
    const double t = c * x[ix] + s * y[iy];
    y[iy] = c * y[iy] - s * x[ix];
    x[ix] = t;
  }
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
