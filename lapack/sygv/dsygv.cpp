// The generalized problem with DSYEV as the standard eigensolver.
#include <algorithm>

#include "lapack/ilaenv.h"
#include "lapack/sygv/sygv.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void dsygv(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
           const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
           int* info) {
  const bool query = *lwork == -1;
  *info = sygv_detail::check(itype, jobz, uplo, n, lda, ldb);
  double lwkopt = 1;  // 64-bit products: (nb + 2) * n may leave the int range
  if (*info == 0) {
    const long long lwkmin = std::max(1LL, 3LL * *n - 1);
    const char ul[2] = {*uplo, '\0'};
    const int nb = ilaenv(1, "DSYTRD", ul, *n, -1, -1, -1);
    lwkopt = static_cast<double>(std::max(lwkmin, static_cast<long long>(nb + 2) * *n));
    work[0] = lwkopt;
    if (*lwork < lwkmin && !query) *info = -11;
  }
  if (*info != 0) {
    const int bad = -*info;
    xerbla("DSYGV ", &bad, 6);
    return;
  }
  if (query || *n == 0) return;

  if (!sygv_detail::reduce_to_standard(*itype, *uplo, *n, a, *lda, b, *ldb, info)) return;
  dsyev(jobz, uplo, n, a, lda, w, work, lwork, info);
  if (same_letter(*jobz, 'V')) {
    // After a failure of the eigensolver the first info - 1 vectors are still valid.
    const int count = *info > 0 ? *info - 1 : *n;
    sygv_detail::back_transform(*itype, *uplo, *n, count, a, *lda, b, *ldb);
  }
  work[0] = lwkopt;
}

}  // namespace ztr
