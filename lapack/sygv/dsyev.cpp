// The standard symmetric eigenproblem by tridiagonal reduction and the QL/QR iteration.
//
// Without eigenvectors large matrices may take the two-stage reduction (to a band, then to
// tridiagonal form), whose first stage runs in matrix-matrix products; the crossover and the
// band half-width come from the tuning tables, and the two-stage path is taken only when the
// caller's workspace holds its band.  Eigenvectors always take the one-stage reduction,
// whose Q is formed in place and handed to the iteration.
#include <algorithm>
#include <cmath>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlascl.h"
#include "lapack/auxiliary/dlansy.h"
#include "lapack/auxiliary/safe_range.h"
#include "lapack/dlamch.h"
#include "lapack/ilaenv.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/sygv/sygv.h"
#include "lapack/sygv/syrdb.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/tridiagonal/dsteqr.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/error.h"
#include "service/letters.h"
#include "service/threads.h"

namespace ztr {
namespace {

// Below this order the tuning tables are not consulted: the one-stage reduction always.
constexpr int kTwoStageMinOrder = 16;

struct Plan {
  int lwopt;
  bool two_stage;
  int kd;
};

int reduction_workspace(const char* uplo, int n, double* a, int lda) {
  double optimum = 0.0, scratch = 0.0;
  const int query = -1;
  int info = 0;
  ztr_lapack_dsytrd(uplo, &n, a, &lda, &scratch, &scratch, &scratch, &optimum, &query, &info);
  return static_cast<int>(optimum);
}

Plan plan(const char* jobz, const char* uplo, int n, double* a, int lda, int lwork) {
  if (n < kTwoStageMinOrder) return {std::max(1, 3 * n - 1), false, 0};
  const int threads = domain_max_threads(kDomainAll);
  const char job[2] = {*jobz, '\0'};
  const int nx = ilaenv(3, "DSYEV", job, n, threads, -1, -1);
  if (n < nx) return {std::max(1, reduction_workspace(uplo, n, a, lda) + 2 * n), false, 0};
  const int kd = std::min(ilaenv(1, "DSYRDB", " ", n, threads, -1, -1), n - 1);
  const int lwopt = std::max(1, (3 * kd + 5) * n);
  // The two-stage path does not form Q; with vectors the one-stage path is taken whatever
  // the crossover says.
  return {lwopt, lwork >= lwopt && !same_letter(*jobz, 'V'), kd};
}

}  // namespace

void dsyev(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
           double* work, const int* lwork, int* info) {
  const bool wantz = same_letter(*jobz, 'V');
  const bool query = *lwork == -1;
  int bad = 0;
  if (!wantz && !same_letter(*jobz, 'N')) {
    bad = 1;
  } else if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 2;
  } else if (*n < 0) {
    bad = 3;
  } else if (*lda < std::max(1, *n)) {
    bad = 5;
  }
  Plan p{1, false, 0};
  if (bad == 0) {
    p = plan(jobz, uplo, *n, a, *lda, *lwork);
    work[0] = p.lwopt;
    if (*lwork < std::max(1, 3 * *n - 1) && !query) bad = 8;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla("DSYEV ", &bad, 6);
    return;
  }
  const int nn = *n;
  if (query || nn == 0) return;
  if (nn == 1) {
    w[0] = a[0];
    work[0] = 2;
    if (wantz) a[0] = 1.0;
    return;
  }

  // Scale the matrix into the range where the iteration neither overflows nor underflows.
  const double safmin = dlamch("Safe minimum"), eps = dlamch("Precision");
  const double rmin = std::sqrt(safmin / eps), rmax = std::sqrt(eps / safmin);
  const double anrm = dlansy("M", uplo, n, a, lda, work);
  const double sigma = safe_range_factor(anrm, rmin, rmax);
  if (sigma != 1.0) {
    const int zero = 0;
    const double one = 1.0;
    int iinfo = 0;
    const char type[2] = {same_letter(*uplo, 'U') ? 'U' : 'L', '\0'};
    dlascl(type, &zero, &zero, &one, &sigma, n, n, a, lda, &iinfo);
  }

  // work: e (n), tau (n), then the reduction's workspace.
  double* e = work;
  double* tau = work + nn;
  double* rest = work + 2 * nn;
  const int lrest = *lwork - 2 * nn;
  int iinfo = 0;
  if (p.two_stage) {
    ztr_lapack_dsyrdb("N", uplo, nn, p.kd, a, *lda, w, e, tau, a, *lda, rest, lrest, &iinfo);
  } else {
    ztr_lapack_dsytrd(uplo, n, a, lda, w, e, tau, rest, &lrest, &iinfo);
  }
  if (!wantz) {
    dsterf(n, w, e, info);
  } else {
    dorgtr(uplo, n, a, lda, tau, rest, &lrest, &iinfo);
    dsteqr(jobz, n, w, e, a, lda, tau, info);
  }

  if (sigma != 1.0) {
    const int imax = *info == 0 ? nn : *info - 1;
    const double inv = 1.0 / sigma;
    const int one = 1;
    blas_dscal(&imax, &inv, w, &one);
  }
  work[0] = p.lwopt;
}

}  // namespace ztr
