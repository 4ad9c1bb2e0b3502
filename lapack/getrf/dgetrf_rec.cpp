#include <algorithm>
#include <cstddef>

#include "lapack/getrf/getrf.h"
#include "lapack/ilaenv.h"

namespace ztr {

using namespace getrf_detail;

// Blocked at the serial tuning width (a power of two close to n/2), each panel factored by a
// recursive call at its own width, so that nearly all the arithmetic lands in large
// multiplies and the leaf only ever sees panels of at most 8 columns (or few rows).
bool ztr_lapack_dgetrf_rec(int m, int n, double* a, int lda, int* ipiv, int* info, int thread,
                           int step_offset) {
  *info = 0;
  if (m <= 0 || n <= 0) return false;
  const int mn = std::min(m, n);
  const int nb = ilaenv(1, "DGETRF", "S", m, n, -1, -1);
  if (nb <= 1 || nb >= mn) {
    ztr_lapack_dgetf2(m, n, a, lda, ipiv, info);
    return report_progress(thread, n + step_offset);
  }
  auto col = [&](int j) { return a + static_cast<std::ptrdiff_t>(j) * lda; };
  for (int j = 1; j <= mn; j += nb) {
    const int jb = std::min(mn - j + 1, nb);
    int iinfo = 0;
    const bool stop = ztr_lapack_dgetrf_rec(m - j + 1, jb, col(j - 1) + (j - 1), lda,
                                            ipiv + (j - 1), &iinfo, thread, step_offset + j - 1);
    if (*info == 0 && iinfo > 0) *info = iinfo + j - 1;
    for (int i = j; i <= std::min(m, j + jb - 1); ++i) ipiv[i - 1] += j - 1;
    if (stop) return true;
    if (j + jb <= n) apply_panel(m, a, lda, ipiv, j, jb, j + jb - 1, n - j - jb + 1);
  }
  // Each panel's interchanges reach the columns to its left only now, in one pass per panel.
  for (int j = 1 + nb; j <= mn; j += nb) {
    swap_rows(a, lda, 0, j - 1, j, std::min(mn, j + nb - 1), ipiv);
  }
  return false;
}

}  // namespace ztr
