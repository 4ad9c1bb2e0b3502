#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"

namespace ztr {

void ztr_lapack_dgeqr2(int m, int n, double* a, int lda, double* tau, double* work) {
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  const int k = std::min(m, n);
  for (int i = 0; i < k; ++i) {
    ztr_lapack_dlarfg(m - i, at(i, i), at(std::min(i + 1, m - 1), i), 1, &tau[i]);
    if (i + 1 < n) {
      const double aii = *at(i, i);
      *at(i, i) = 1.0;
      ztr_lapack_dlarf("L", m - i, n - i - 1, at(i, i), 1, tau[i], at(i, i + 1), lda, work);
      *at(i, i) = aii;
    }
  }
}

}  // namespace ztr
