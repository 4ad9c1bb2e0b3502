#include <algorithm>

#include "include/ztr.h"
#include "lapack/householder/householder.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_qr.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 6;  // lda is argument 6 of LAPACKE_dorgqr
}  // namespace

int LAPACKE_dorgqr_work(int layout, int m, int n, int k, double* a, int lda, const double* tau,
                        double* work, int lwork) {
  LapackeMatrix mat{
      a,   m,    n,    lda, kLdaPosition, std::max(1, m), LapackeMatrix::Kind::General,
      'N', true, true, true};
  return lapacke_work("LAPACKE_dorgqr_work", layout, &mat, 1, lwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dorgqr(&m, &n, &k, arrays[0], &lds[0], tau, work, &lwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dorgqr(int matrix_layout, int m, int n, int k, double* a, int lda,
                                      const double* tau) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dorgqr", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, m, n, a, lda)) return -5;
  if (ztr::lapacke_vec_has_nan(k, tau, 1)) return -7;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dorgqr", false, [&](double* work, int lwork, int*, int) {
        return ztr::LAPACKE_dorgqr_work(matrix_layout, m, n, k, a, lda, tau, work, lwork);
      });
}
