#include <algorithm>

#include "include/ztr.h"
#include "lapack/householder/householder.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_qr.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 5;  // lda is argument 5 of LAPACKE_dgeqrf
}  // namespace

int LAPACKE_dgeqrf_work(int layout, int m, int n, double* a, int lda, double* tau, double* work,
                        int lwork) {
  LapackeMatrix mat{
      a,   m,    n,    lda, kLdaPosition, std::max(1, m), LapackeMatrix::Kind::General,
      'N', true, true, true};
  return lapacke_work("LAPACKE_dgeqrf_work", layout, &mat, 1, lwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dgeqrf(&m, &n, arrays[0], &lds[0], tau, work, &lwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dgeqrf(int matrix_layout, int m, int n, double* a, int lda,
                                      double* tau) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dgeqrf", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, m, n, a, lda)) return -4;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dgeqrf", false, [&](double* work, int lwork, int*, int) {
        return ztr::LAPACKE_dgeqrf_work(matrix_layout, m, n, a, lda, tau, work, lwork);
      });
}
