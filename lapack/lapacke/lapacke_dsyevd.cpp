#include <algorithm>

#include "include/ztr.h"
#include "lapack/lapacke/lapacke_eigen.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/syevd/syevd.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 6;  // lda is argument 6 of LAPACKE_dsyevd
}  // namespace

int LAPACKE_dsyevd_work(int layout, char jobz, char uplo, int n, double* a, int lda, double* w,
                        double* work, int lwork, int* iwork, int liwork) {
  // The whole matrix travels: on exit with jobz 'V' all of it holds the eigenvectors.
  LapackeMatrix mat{
      a,   n,    n,    lda, kLdaPosition, std::max(1, n), LapackeMatrix::Kind::General,
      'N', true, true, true};
  return lapacke_work("LAPACKE_dsyevd_work", layout, &mat, 1, lwork == -1 || liwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dsyevd(&jobz, &uplo, &n, arrays[0], &lds[0], w, work, &lwork, iwork,
                               &liwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dsyevd(int matrix_layout, char jobz, char uplo, int n, double* a,
                                      int lda, double* w) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dsyevd", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, a, lda)) return -5;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dsyevd", true, [&](double* work, int lwork, int* iwork, int liwork) {
        return ztr::LAPACKE_dsyevd_work(matrix_layout, jobz, uplo, n, a, lda, w, work, lwork, iwork,
                                        liwork);
      });
}
