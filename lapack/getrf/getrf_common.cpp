#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/dlaswp.h"
#include "lapack/getrf/getrf.h"
#include "service/error.h"

namespace ztr::getrf_detail {

namespace {
constexpr char kStage[] = "DGETRF";
constexpr int kStageLength = 6;
}  // namespace

bool report_progress(int thread, int step) {
  return progress_call(&thread, &step, kStage, kStageLength) != 0;
}

void swap_rows(double* a, int lda, int c0, int cols, int k1, int k2, const int* ipiv) {
  if (cols <= 0 || k1 > k2) return;
  const int inc1 = 1;
  ztr_lapack_dlaswp(&cols, a + static_cast<std::ptrdiff_t>(c0) * lda, &lda, &k1, &k2, ipiv, &inc1);
}

void apply_panel(int m, double* a, int lda, const int* ipiv, int r, int jb, int c0, int cols) {
  if (cols <= 0) return;
  const double one = 1.0, minus_one = -1.0;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * lda; };
  const int r0 = r - 1;  // zero-based first row and column of the panel
  swap_rows(a, lda, c0, cols, r, r + jb - 1, ipiv);
  ztr_blas_dtrsm("L", "L", "N", "U", &jb, &cols, &one, at(r0, r0), &lda, at(r0, c0), &lda);
  const int below = m - r0 - jb;
  if (below > 0) {
    ztr_blas_dgemm("N", "N", &below, &cols, &jb, &minus_one, at(r0 + jb, r0), &lda, at(r0, c0),
                   &lda, &one, at(r0 + jb, c0), &lda);
  }
}

}  // namespace ztr::getrf_detail
