#include "lapack/syevd/syevd.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/auxiliary/dlansy.h"
#include "lapack/auxiliary/dlascl.h"
#include "lapack/auxiliary/safe_range.h"
#include "lapack/dlamch.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/tridiagonal/dstedc.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

namespace {

// Minimum workspace of the table above.
// In 64 bits: 2n^2 wraps an int from n = 32768 on.
void minimum_sizes(bool wantz, int n, long long* lwmin, long long* liwmin) {
  if (n <= 1) {
    *lwmin = 1;
    *liwmin = 1;
  } else if (wantz) {
    *lwmin = 1 + 6LL * n + 2LL * n * n;
    *liwmin = 3 + 5LL * n;
  } else {
    *lwmin = 2LL * n + 1;
    *liwmin = 1;
  }
}

}  // namespace

void dsyevd(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info) {
  const bool wantz = same_letter(*jobz, 'V');
  const bool lquery = *lwork == -1 || *liwork == -1;
  int bad = 0;
  long long lwmin = 1, liwmin = 1;
  if (!wantz && !same_letter(*jobz, 'N')) {
    bad = 1;
  } else if (!same_letter(*uplo, 'L') && !same_letter(*uplo, 'U')) {
    bad = 2;
  } else if (*n < 0) {
    bad = 3;
  } else if (*lda < std::max(1, *n)) {
    bad = 5;
  } else {
    minimum_sizes(wantz, *n, &lwmin, &liwmin);
    if (*lwork < lwmin && !lquery) {
      bad = 8;
    } else if (*liwork < liwmin && !lquery) {
      bad = 10;
    }
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DSYEVD", &bad, 6);
    return;
  }
  dsyevd_driver(jobz, uplo, n, a, lda, w, work, lwork, iwork, liwork, info);
}

void dsyevd_driver(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                   double* w, double* work, const int* lwork, int* iwork, const int* liwork,
                   int* info) {
  const bool wantz = same_letter(*jobz, 'V');
  const bool lquery = *lwork == -1 || *liwork == -1;
  const int nn = *n;
  *info = 0;
  long long lopt = 1, liopt = 1;
  if (nn > 1) {
    if (wantz) {
      minimum_sizes(true, nn, &lopt, &liopt);
    } else {
      // The reduction's own optimum, asked for the upper triangle as the sizes are reported
      // before the triangle matters.
      const int minus_one = -1;
      double query = 0;
      int qinfo = 0;
      ztr_lapack_dsytrd("U", n, a, lda, w, work, work, &query, &minus_one, &qinfo);
      if (qinfo != 0) {
        const int bad = -qinfo;
        xerbla_dispatch("DSYEVD", &bad, 6);
        *info = qinfo;
        return;
      }
      lopt = 2LL * nn + std::max(1LL, static_cast<long long>(query));
      liopt = 1;
    }
  }
  work[0] = static_cast<double>(lopt);
  iwork[0] = static_cast<int>(std::min<long long>(liopt, INT_MAX));
  if (lquery || nn == 0) return;
  if (nn == 1) {
    w[0] = a[0];
    if (wantz) a[0] = 1.0;
    return;
  }

  const double safmin = dlamch("Safe minimum");
  const double eps = dlamch("Precision");
  const double smlnum = safmin / eps;
  const double bignum = 1.0 / smlnum;
  const double rmin = std::sqrt(smlnum), rmax = std::sqrt(bignum);
  const double anrm = dlansy("M", uplo, n, a, lda, work);
  const double sigma = safe_range_factor(anrm, rmin, rmax);
  const bool scaled = sigma != 1.0;
  if (scaled) {
    const int zero = 0;
    const double one = 1.0;
    int sinfo = 0;
    dlascl(uplo, &zero, &zero, &one, &sigma, n, n, a, lda, &sinfo);
  }

  // work: e (n), tau (n), then the tridiagonal vectors (n^2) or the reduction's workspace,
  // then the rest for the tridiagonal solver and the back-transformation.
  double* e = work;
  double* tau = work + nn;
  double* wrk = work + 2 * static_cast<std::ptrdiff_t>(nn);
  const std::ptrdiff_t nsq = static_cast<std::ptrdiff_t>(nn) * nn;
  double* wrk2 = wrk + nsq;
  const int llwork = *lwork - 2 * nn;
  const int llwrk2 = static_cast<int>(*lwork - 2 * nn - nsq);
  int iinfo = 0;
  ztr_lapack_dsytrd(uplo, n, a, lda, w, e, tau, wrk, &llwork, &iinfo);
  if (!wantz) {
    dsterf(n, w, e, info);
  } else {
    dstedc("I", n, w, e, wrk, n, wrk2, &llwrk2, iwork, liwork, info);
    dormtr("L", uplo, "N", n, n, a, lda, tau, wrk, n, wrk2, &llwrk2, &iinfo);
    dlacpy("A", n, n, wrk, n, a, lda);
  }
  if (scaled) {
    const double inv = 1.0 / sigma;
    const int inc1 = 1;
    blas_dscal(n, &inv, w, &inc1);
  }
  work[0] = static_cast<double>(lopt);
  iwork[0] = static_cast<int>(liopt);  // a run that got here had liwork >= liopt
}

}  // namespace ztr
