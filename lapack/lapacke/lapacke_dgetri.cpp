#include <algorithm>

#include "include/ztr.h"
#include "lapack/getri/getri.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_lu.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 4;  // lda is argument 4 of LAPACKE_dgetri
}  // namespace

int LAPACKE_dgetri_work(int layout, int n, double* a, int lda, const int* ipiv, double* work,
                        int lwork) {
  LapackeMatrix mat{
      a,   n,    n,    lda, kLdaPosition, std::max(1, n), LapackeMatrix::Kind::General,
      'N', true, true, true};
  return lapacke_work("LAPACKE_dgetri_work", layout, &mat, 1, lwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dgetri(&n, arrays[0], &lds[0], ipiv, work, &lwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dgetri(int matrix_layout, int n, double* a, int lda,
                                      const int* ipiv) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dgetri", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, a, lda)) return -3;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dgetri", false, [&](double* work, int lwork, int*, int) {
        return ztr::LAPACKE_dgetri_work(matrix_layout, n, a, lda, ipiv, work, lwork);
      });
}
