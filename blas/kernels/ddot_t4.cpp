// Dot product, CpuType 4 (SSSE3).  The summation order is that of ddot_sse_wide.inc.
#include "blas/kernels/ddot_kernels.h"

#include "blas/kernels/ddot_strided.inc"
#include "blas/kernels/ddot_sse_wide.inc"

namespace ztr::kernels::t4 {

double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  return wide_dot(*n, x, *incx, y, *incy);
}

}  // namespace ztr::kernels::t4
