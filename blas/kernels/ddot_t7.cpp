// Dot product, CpuType 7 (AVX2).  Unit stride as CpuType 6 (ddot_avx.inc).  Other non-zero
// increments are vectorized too: blocks of 16 elements, in BLAS order, are gathered four at a
// time with their strides into the same sixteen accumulators, the tail summed in order into
// one scalar s, and the result combined as for unit stride.  Multiplies and adds stay separate
// (the build never enables fused multiply-add), so results match the plain association.
#include "blas/kernels/ddot_kernels.h"

#include "blas/kernels/ddot_strided.inc"
#include "blas/kernels/ddot_avx.inc"

namespace ztr::kernels::t7 {
namespace {

// Four elements p[0], p[inc], p[2 inc], p[3 inc].  Scalar loads and inserts: the hardware
// gather is no faster for four doubles, and this form has no index-range limit.
inline __m256d gather4(const double* p, ptrdiff_t inc) {
  return _mm256_set_pd(ld(p + 3 * inc), ld(p + 2 * inc), ld(p + inc), ld(p));
}

double gathered_dot(int n, const double* x, int incx, const double* y, int incy) {
  const ptrdiff_t ix = incx, iy = incy;
  const double* px = blas_first(x, n, incx);
  const double* py = blas_first(y, n, incy);
  __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd(), a2 = _mm256_setzero_pd(),
          a3 = _mm256_setzero_pd();
  for (; n >= kAvxBlock; n -= kAvxBlock, px += kAvxBlock * ix, py += kAvxBlock * iy) {
    a0 = _mm256_add_pd(a0, _mm256_mul_pd(gather4(px, ix), gather4(py, iy)));
    a1 = _mm256_add_pd(a1, _mm256_mul_pd(gather4(px + 4 * ix, ix), gather4(py + 4 * iy, iy)));
    a2 = _mm256_add_pd(a2, _mm256_mul_pd(gather4(px + 8 * ix, ix), gather4(py + 8 * iy, iy)));
    a3 = _mm256_add_pd(a3, _mm256_mul_pd(gather4(px + 12 * ix, ix), gather4(py + 12 * iy, iy)));
  }
  double s = 0.0;
  for (int i = 0; i < n; ++i, px += ix, py += iy) s = s + ld(px) * ld(py);
  return avx_combine(a0, a1, a2, a3, s);
}

}  // namespace

double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  if (*n <= 0) return 0.0;
  if (*n < kAvxBlock || *incx == 0 || *incy == 0) return strided_dot(*n, x, *incx, y, *incy);
  if (*incx == 1 && *incy == 1) return avx_unit_dot(*n, x, y);
  return gathered_dot(*n, x, *incx, y, *incy);
}

}  // namespace ztr::kernels::t7
