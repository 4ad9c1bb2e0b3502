// The generalized problem with the divide-and-conquer DSYEVD as the standard eigensolver.
#include <algorithm>
#include <climits>

#include "lapack/syevd/syevd.h"
#include "lapack/sygv/sygv.h"
#include "lapack/sytrd/sytrd.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {
namespace {

// The workspace DSYEVD will ask for without eigenvectors: its reduction's optimum plus the
// diagonal and off-diagonal.
long long values_only_workspace(int n, double* a, int lda) {
  double optimum = 0.0, scratch = 0.0;
  const int query = -1;
  int info = 0;
  ztr_lapack_dsytrd("U", &n, a, &lda, &scratch, &scratch, &scratch, &optimum, &query, &info);
  return std::max(1LL, static_cast<long long>(optimum)) + 2LL * n;
}

}  // namespace

void dsygvd(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
            int* iwork, const int* liwork, int* info) {
  const bool wantz = same_letter(*jobz, 'V');
  const bool query = *lwork == -1 || *liwork == -1;
  *info = sygv_detail::check(itype, jobz, uplo, n, lda, ldb);
  // In 64 bits: 2n^2 wraps an int from n = 32768 on.
  long long lwmin = 1, liwmin = 1, reported = 1;
  if (*info == 0) {
    const int nn = *n;
    if (nn > 1 && wantz) {
      lwmin = 1 + 6LL * nn + 2LL * nn * nn;
      liwmin = 5LL * nn + 3;
      reported = lwmin;
    } else if (nn > 1) {
      lwmin = 2LL * nn + 1;
      reported = values_only_workspace(nn, a, *lda);
    }
    work[0] = static_cast<double>(reported);
    iwork[0] = static_cast<int>(std::min<long long>(liwmin, INT_MAX));
    if (*lwork < lwmin && !query) {
      *info = -11;
    } else if (*liwork < liwmin && !query) {
      *info = -13;
    }
  }
  if (*info != 0) {
    const int bad = -*info;
    xerbla("DSYGVD", &bad, 6);
    return;
  }
  if (query || *n == 0) return;

  if (!sygv_detail::reduce_to_standard(*itype, *uplo, *n, a, *lda, b, *ldb, info)) return;
  dsyevd_driver(jobz, uplo, n, a, lda, w, work, lwork, iwork, liwork, info);
  const double lopt = std::max(static_cast<double>(reported), work[0]);
  const int liopt = static_cast<int>(std::max<long long>(liwmin, iwork[0]));
  if (wantz && *info == 0) sygv_detail::back_transform(*itype, *uplo, *n, *n, a, *lda, b, *ldb);
  work[0] = static_cast<double>(static_cast<long long>(lopt));
  iwork[0] = liopt;
}

}  // namespace ztr
