#include "lapack/dlaswp.h"

#include <omp.h>

#include <cstddef>

#include "service/dispatch.h"
#include "service/kernel_variant.h"
#include "service/threads.h"

ZTR_DECLARE_VARIANTS(void, dlaswp, (int, double*, int, int, int, const int*, int))

namespace ztr {
namespace {
DispatchSlot<void(int, double*, int, int, int, const int*, int)> g_dlaswp(ZTR_VARIANTS(dlaswp));
// Below this many columns a parallel region costs more than the interchanges.
constexpr int kParallelMinColumns = 128;
}  // namespace

void ztr_lapack_dlaswp(const int* n, double* a, const int* lda, const int* k1, const int* k2,
                       const int* ipiv, const int* incx) {
  const int cols = *n, ld = *lda, lo = *k1, hi = *k2, inc = *incx;
  if (cols <= 0 || inc == 0) return;
  const int threads = (cols > kParallelMinColumns && inc == 1) ? domain_max_threads(kDomainAll) : 1;
  if (threads <= 1) {
    g_dlaswp(cols, a, ld, lo, hi, ipiv, inc);
    return;
  }
#pragma omp parallel num_threads(threads)
  {
    // Split by the team actually obtained; the shares differ by at most one column.
    const int t = omp_get_thread_num(), nt = omp_get_num_threads();
    const int base = cols / nt, extra = cols % nt;
    const int start = t * base + (t < extra ? t : extra);
    const int width = base + (t < extra ? 1 : 0);
    g_dlaswp(width, a + static_cast<std::ptrdiff_t>(start) * ld, ld, lo, hi, ipiv, inc);
  }
}

}  // namespace ztr
