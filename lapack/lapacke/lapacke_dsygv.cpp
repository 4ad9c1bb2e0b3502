#include <algorithm>

#include "include/ztr.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_sygv.h"
#include "lapack/sygv/sygv.h"

namespace ztr {
namespace {
// Positions of a, lda, b and ldb among the arguments of LAPACKE_dsygv and LAPACKE_dsygvd.
constexpr int kAPosition = 6, kLdaPosition = 7, kBPosition = 8, kLdbPosition = 9;
}  // namespace

int LAPACKE_dsygv_work(int layout, int itype, char jobz, char uplo, int n, double* a, int lda,
                       double* b, int ldb, double* w, double* work, int lwork) {
  const int ld_t = std::max(1, n);
  LapackeMatrix mats[2] = {
      {a, n, n, lda, kLdaPosition, ld_t, LapackeMatrix::Kind::General, 'N', true, true, true},
      {b, n, n, ldb, kLdbPosition, ld_t, LapackeMatrix::Kind::General, 'N', true, true, true}};
  return lapacke_work("LAPACKE_dsygv_work", layout, mats, 2, lwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dsygv(&itype, &jobz, &uplo, &n, arrays[0], &lds[0], arrays[1], &lds[1], w,
                              work, &lwork, &info);
                        return info;
                      });
}

int LAPACKE_dsygvd_work(int layout, int itype, char jobz, char uplo, int n, double* a, int lda,
                        double* b, int ldb, double* w, double* work, int lwork, int* iwork,
                        int liwork) {
  const int ld_t = std::max(1, n);
  LapackeMatrix mats[2] = {
      {a, n, n, lda, kLdaPosition, ld_t, LapackeMatrix::Kind::General, 'N', true, true, true},
      {b, n, n, ldb, kLdbPosition, ld_t, LapackeMatrix::Kind::General, 'N', true, true, true}};
  return lapacke_work("LAPACKE_dsygvd_work", layout, mats, 2, lwork == -1 || liwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dsygvd(&itype, &jobz, &uplo, &n, arrays[0], &lds[0], arrays[1], &lds[1], w,
                               work, &lwork, iwork, &liwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dsygv(int matrix_layout, int itype, char jobz, char uplo, int n,
                                     double* a, int lda, double* b, int ldb, double* w) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dsygv", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, a, lda)) return -ztr::kAPosition;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, b, ldb)) return -ztr::kBPosition;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dsygv", false, [&](double* work, int lwork, int*, int) {
        return ztr::LAPACKE_dsygv_work(matrix_layout, itype, jobz, uplo, n, a, lda, b, ldb, w, work,
                                       lwork);
      });
}

extern "C" ZTR_API int LAPACKE_dsygvd(int matrix_layout, int itype, char jobz, char uplo, int n,
                                      double* a, int lda, double* b, int ldb, double* w) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dsygvd", matrix_layout)) return -1;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, a, lda)) return -ztr::kAPosition;
  if (ztr::lapacke_ge_has_nan(matrix_layout, n, n, b, ldb)) return -ztr::kBPosition;
  return ztr::lapacke_with_workspace(
      "LAPACKE_dsygvd", true, [&](double* work, int lwork, int* iwork, int liwork) {
        return ztr::LAPACKE_dsygvd_work(matrix_layout, itype, jobz, uplo, n, a, lda, b, ldb, w,
                                        work, lwork, iwork, liwork);
      });
}
