#include <algorithm>
#include <cmath>
#include <cstddef>

#include "include/ztr.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/lapacke/lapacke_qr.h"
#include "lapack/pstrf/pstrf.h"

namespace ztr {

namespace {
constexpr int kLdaPosition = 5;  // lda is argument 5 of LAPACKE_dpstrf
}  // namespace

int LAPACKE_dpstrf_work(int layout, char uplo, int n, double* a, int lda, int* piv, int* rank,
                        double tol, double* work) {
  LapackeMatrix mat{
      a,    n,    n,    lda, kLdaPosition, std::max(1, n), LapackeMatrix::Kind::Triangle,
      uplo, true, true, true};
  return lapacke_work("LAPACKE_dpstrf_work", layout, &mat, 1, false,
                      [&](double* const* arrays, const int* lds) {
                        int info = 0;
                        dpstrf(&uplo, &n, arrays[0], &lds[0], piv, rank, &tol, work, &info);
                        return info;
                      });
}

}  // namespace ztr

// No size query: the work array is 2n doubles.
extern "C" ZTR_API int LAPACKE_dpstrf(int matrix_layout, char uplo, int n, double* a, int lda,
                                      int* piv, int* rank, double tol) {
  if (!ztr::lapacke_layout_ok("LAPACKE_dpstrf", matrix_layout)) return -1;
  if (ztr::lapacke_tr_has_nan(matrix_layout, uplo, 'N', n, a, lda)) return -4;
  if (std::isnan(tol)) return -8;
  // Counted in double: 2n wraps for n beyond 2^30 (and its bytes on 32-bit systems far sooner).
  double* work =
      static_cast<double*>(ztr::lapacke_detail::alloc_work(2.0 * std::max(n, 0), sizeof(double)));
  int info = ztr::kLapackeWorkMemoryError;
  if (work != nullptr) {
    info = ztr::LAPACKE_dpstrf_work(matrix_layout, uplo, n, a, lda, piv, rank, tol, work);
  }
  ztr::mm_free_direct(work);
  if (info == ztr::kLapackeWorkMemoryError) ztr::lapacke_report("LAPACKE_dpstrf", info);
  return info;
}
