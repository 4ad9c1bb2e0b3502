#include <algorithm>

#include "include/ztr.h"
#include "lapack/getrf/getrf.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_lu.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 5;  // lda is argument 5 of LAPACKE_dgetrf
}  // namespace

int LAPACKE_dgetrf_work(int layout, int m, int n, double* a, int lda, int* ipiv) {
  LapackeMatrix mat{
      a,   m,    n,    lda, kLdaPosition, std::max(1, m), LapackeMatrix::Kind::General,
      'N', true, true, true};
  return lapacke_work("LAPACKE_dgetrf_work", layout, &mat, 1, false,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dgetrf(&m, &n, arrays[0], &lds[0], ipiv, &info);
                        return info;
                      });
}

}  // namespace ztr

// No workspace: the top level is the layout check and the NaN scan.
extern "C" ZTR_API int LAPACKE_dgetrf(int matrix_layout, int m, int n, double* a, int lda,
                                      int* ipiv) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dgetrf", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, m, n, a, lda)) return -4;
  return ztr::LAPACKE_dgetrf_work(matrix_layout, m, n, a, lda, ipiv);
}
