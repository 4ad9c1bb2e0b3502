#include <algorithm>

#include "include/ztr.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_syevr.h"
#include "lapack/syevr/syevr.h"
#include "service/letters.h"

namespace ztr {

namespace {
// Positions of the checked arguments in LAPACKE_dsyevr.
constexpr int kAPosition = 6, kLdaPosition = 7, kVlPosition = 8, kVuPosition = 9;
constexpr int kAbstolPosition = 12, kLdzPosition = 16;

// Columns of z the caller provides: n for ranges 'A' and 'V', iu - il + 1 for 'I'.
int z_columns(char range, int n, int il, int iu) {
  if (same_letter(range, 'A') || same_letter(range, 'V')) return n;
  if (same_letter(range, 'I')) return iu - il + 1;
  return 1;
}
}  // namespace

int LAPACKE_dsyevr_work(int layout, char jobz, char range, char uplo, int n, double* a, int lda,
                        double vl, double vu, int il, int iu, double abstol, int* m, double* w,
                        double* z, int ldz, int* isuppz, double* work, int lwork, int* iwork,
                        int liwork) {
  const int ncols = z_columns(range, n, il, iu);
  const bool wantz = same_letter(jobz, 'V');
  LapackeMatrix mats[2] = {
      {a, n, n, lda, kLdaPosition, std::max(1, n), LapackeMatrix::Kind::Triangle, uplo, true, true,
       true},
      {z, n, ncols, ldz, kLdzPosition, std::max(1, n), LapackeMatrix::Kind::General, 'N', true,
       true, wantz}};  // z travels both ways so that columns beyond m keep their contents
  return lapacke_work("LAPACKE_dsyevr_work", layout, mats, 2, lwork == -1 || liwork == -1,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dsyevr(&jobz, &range, &uplo, &n, arrays[0], &lds[0], &vl, &vu, &il, &iu,
                               &abstol, m, w, arrays[1], &lds[1], isuppz, work, &lwork, iwork,
                               &liwork, &info);
                        return info;
                      });
}

}  // namespace ztr

extern "C" ZTR_API int LAPACKE_dsyevr(int matrix_layout, char jobz, char range, char uplo, int n,
                                      double* a, int lda, double vl, double vu, int il, int iu,
                                      double abstol, int* m, double* w, double* z, int ldz,
                                      int* isuppz) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dsyevr", matrix_layout)) return -1;
  if (ztr::lapacke_tr_has_nan(matrix_layout, uplo, 'N', n, a, lda)) return -ztr::kAPosition;
  if (ztr::lapacke_vec_has_nan(1, &abstol, 1)) return -ztr::kAbstolPosition;
  if (ztr::same_letter(range, 'V')) {
    if (ztr::lapacke_vec_has_nan(1, &vl, 1)) return -ztr::kVlPosition;
    if (ztr::lapacke_vec_has_nan(1, &vu, 1)) return -ztr::kVuPosition;
  }
  return ztr::lapacke_with_workspace(
      "LAPACKE_dsyevr", true, [&](double* work, int lwork, int* iwork, int liwork) {
        return ztr::LAPACKE_dsyevr_work(matrix_layout, jobz, range, uplo, n, a, lda, vl, vu, il, iu,
                                        abstol, m, w, z, ldz, isuppz, work, lwork, iwork, liwork);
      });
}
