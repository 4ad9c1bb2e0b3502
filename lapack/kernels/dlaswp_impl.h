// Row interchanges over a range of columns, compiled once per CpuType.
#include <cstddef>

#include "service/kernel_variant.h"

namespace ztr::kernels::ZTR_VARIANT_NS {

// Columns are taken 32 at a time and every interchange is applied to that block before the
// next, so the rows touched stay in cache however long the pivot list is.
void dlaswp(int n, double* a, int lda, int k1, int k2, const int* ipiv, int incx) {
  constexpr int kBlock = 32;
  if (n <= 0 || incx == 0) return;
  using Index = std::ptrdiff_t;
  const int first = incx > 0 ? k1 : k2, step = incx > 0 ? 1 : -1;
  const int count = k2 - k1 + 1;
  // ipiv is indexed by row number: the pivot of row k1 is ipiv[k1 - 1].
  const Index ix0 = (k1 - 1) + (incx > 0 ? 0 : static_cast<Index>(count - 1) * -incx);
  for (int j0 = 0; j0 < n; j0 += kBlock) {
    const int j1 = j0 + kBlock < n ? j0 + kBlock : n;
    Index ix = ix0;
    for (int c = 0, k = first; c < count; ++c, k += step, ix += incx) {
      const int p = ipiv[ix];
      if (p == k) continue;
      double* r1 = a + (k - 1);
      double* r2 = a + (p - 1);
      for (Index j = j0; j < j1; ++j) {
        const double t = r1[j * lda];
        r1[j * lda] = r2[j * lda];
        r2[j * lda] = t;
      }
    }
  }
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
