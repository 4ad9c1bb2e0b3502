// Dot product, CpuType 3 (SSE3).
#include "blas/kernels/ddot_kernels.h"

#include <pmmintrin.h>

#include "blas/kernels/ddot_strided.inc"
#include "blas/kernels/ddot_sse_pairs.inc"

namespace ztr::kernels::t3 {

// Final combination (((s0 + s2) + s4) + s6) + (((s1 + s3) + s5) + s7): the accumulator pairs
// are folded one after the other and the two lanes joined by one horizontal add.
double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  if (*n <= 0) return 0.0;
  Pairs acc;
  if (!unit_pair(*incx, *incy) || !pairs_accumulate(*n, x, y, &acc))
    return strided_dot(*n, x, *incx, y, *incy);
  const __m128d v = _mm_add_pd(_mm_add_pd(_mm_add_pd(acc.a[0], acc.a[1]), acc.a[2]), acc.a[3]);
  return _mm_cvtsd_f64(_mm_hadd_pd(v, v));
}

}  // namespace ztr::kernels::t3
