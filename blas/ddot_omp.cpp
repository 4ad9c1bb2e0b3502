// The threaded dot product.
#include <omp.h>

#include <cstddef>

#include "blas/ddot.h"
#include "service/error.h"
#include "service/memory.h"

namespace ztr {
namespace {

// Start of a piece [start, start + len) of a vector of n elements in memory: for a negative
// increment element 0 is at the far end, so a later piece lies nearer the base.
const double* piece_base(const double* v, int n, int inc, int start, int len) {
  if (inc >= 0) return v + static_cast<std::ptrdiff_t>(start) * inc;
  return v + static_cast<std::ptrdiff_t>(n - start - len) * -static_cast<std::ptrdiff_t>(inc);
}

}  // namespace

double ztr_blas_ddot_omp(int nthreads, const int* n, const double* x, const int* incx,
                         const double* y, const int* incy) {
  const int total = *n;
  double stack_partial[kDdotStackPartials];
  double* partial = stack_partial;
  void* heap = nullptr;
  if (nthreads > kDdotStackPartials) {
    heap = mm_malloc(sizeof(double) * static_cast<std::size_t>(nthreads), 0);
    if (alloc_check(heap, "dot")) return ddot_kernel(n, x, incx, y, incy);
    partial = static_cast<double*>(heap);
  }

  double whole = 0.0;
  int pieces = 1;
#pragma omp parallel num_threads(nthreads)
  {
    const int p = omp_get_num_threads();
    const int t = omp_get_thread_num();
    if (p == 1) {
      whole = ddot_kernel(n, x, incx, y, incy);
    } else {
      if (t == 0) pieces = p;
      // Multiples of 8 keep every piece but the last in the kernels' unrolled loops.
      const int chunk = (total / p) & ~7;
      const int start = t * chunk;
      const int len = t < p - 1 ? chunk : total - start;
      partial[t] = ddot_kernel(&len, piece_base(x, total, *incx, start, len), incx,
                               piece_base(y, total, *incy, start, len), incy);
    }
  }

  if (pieces > 1) {
    // Thread order, so that a given thread count always gives the same bits.
    whole = 0.0;
    for (int t = 0; t < pieces; ++t) whole = whole + partial[t];
  }
  if (heap != nullptr) mm_free(heap);
  return whole;
}

}  // namespace ztr
