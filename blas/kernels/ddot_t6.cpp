// Dot product, CpuType 6 (AVX).  The summation order is that of ddot_avx.inc.
#include "blas/kernels/ddot_kernels.h"

#include "blas/kernels/ddot_strided.inc"
#include "blas/kernels/ddot_avx.inc"

namespace ztr::kernels::t6 {

double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  if (*n <= 0) return 0.0;
  if (*incx == 1 && *incy == 1 && *n >= kAvxBlock) return avx_unit_dot(*n, x, y);
  return strided_dot(*n, x, *incx, y, *incy);
}

}  // namespace ztr::kernels::t6
