#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlansy.h"
#include "lapack/auxiliary/safe_range.h"
#include "lapack/dlamch.h"
#include "lapack/ilaenv.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/syevr/syevr.h"
#include "lapack/syevr/tridiagonal.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {
namespace {

constexpr int kWorkPerOrder = 26;   // minimum lwork per row
constexpr int kIworkPerOrder = 10;  // minimum liwork per row
constexpr int kWorkOrderOne = 7;    // work(1) reported after a call with n = 1

}  // namespace

void dsyevr(const char* jobz, const char* range, const char* uplo, const int* n, double* a,
            const int* lda, const double* vl, const double* vu, const int* il, const int* iu,
            const double* abstol, int* m, double* w, double* z, const int* ldz, int* isuppz,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info) {
  const int nn = *n;
  const int ieeeok = ilaenv(10, "DSYEVR", "N", 1, 2, 3, 4);
  const bool lower = same_letter(*uplo, 'L');
  const bool wantz = same_letter(*jobz, 'V');
  const bool alleig = same_letter(*range, 'A');
  const bool valeig = same_letter(*range, 'V');
  const bool indeig = same_letter(*range, 'I');
  const bool lquery = *lwork == -1 || *liwork == -1;
  // In 64 bits: the products leave the int range for orders a 64-bit process may ask for.
  const long long lwmin = std::max(1LL, static_cast<long long>(kWorkPerOrder) * nn);
  const long long liwmin = std::max(1LL, static_cast<long long>(kIworkPerOrder) * nn);
  *info = 0;
  if (!wantz && !same_letter(*jobz, 'N')) {
    *info = -1;
  } else if (!alleig && !valeig && !indeig) {
    *info = -2;
  } else if (!lower && !same_letter(*uplo, 'U')) {
    *info = -3;
  } else if (nn < 0) {
    *info = -4;
  } else if (*lda < std::max(1, nn)) {
    *info = -6;
  } else if (valeig && nn > 0 && *vu <= *vl) {
    *info = -8;
  } else if (indeig && (*il < 1 || *il > std::max(1, nn))) {
    *info = -9;
  } else if (indeig && (*iu < std::min(nn, *il) || *iu > nn)) {
    *info = -10;
  } else if (*ldz < 1 || (wantz && *ldz < nn)) {
    *info = -15;
  } else if (*lwork < lwmin && !lquery) {
    *info = -18;
  } else if (*liwork < liwmin && !lquery) {
    *info = -20;
  }
  if (*info != 0) {
    const int pos = -*info;
    xerbla_dispatch("DSYEVR", &pos, 6);
    return;
  }
  const char ul[2] = {lower ? 'L' : 'U', '\0'};
  const int nb =
      std::max(ilaenv(1, "DSYTRD", ul, nn, -1, -1, -1), ilaenv(1, "DORMTR", ul, nn, -1, -1, -1));
  const double lwkopt = static_cast<double>(std::max(static_cast<long long>(nb + 1) * nn, lwmin));
  work[0] = lwkopt;
  iwork[0] = static_cast<int>(std::min<long long>(liwmin, INT_MAX));
  if (lquery) return;

  *m = 0;
  if (nn == 0) {
    work[0] = 1;
    return;
  }
  const std::ptrdiff_t ld = *lda;
  if (nn == 1) {
    work[0] = kWorkOrderOne;
    if (alleig || indeig || (*vl < a[0] && a[0] <= *vu)) {
      *m = 1;
      w[0] = a[0];
    }
    if (wantz) {
      z[0] = 1.0;
      if (alleig || (indeig && *il == 1 && *iu == 1)) isuppz[0] = isuppz[1] = 1;
    }
    return;
  }

  // Scale a matrix whose norm is near under- or overflow into the safe range.
  const double safmin = dlamch("Safe minimum"), eps = dlamch("Precision");
  const double smlnum = safmin / eps, bignum = 1 / smlnum;
  const double rmin = std::sqrt(smlnum);
  const double rmax = std::min(std::sqrt(bignum), 1 / std::sqrt(std::sqrt(safmin)));
  double vll = valeig ? *vl : 0.0, vuu = valeig ? *vu : 0.0;
  double abstll = *abstol;
  const double anrm = dlansy("M", ul, n, a, lda, work);
  const double sigma = safe_range_factor(anrm, rmin, rmax);
  const bool scaled = sigma != 1.0;
  if (scaled) {
    const int one = 1;
    for (int j = 0; j < nn; ++j) {
      const int len = lower ? nn - j : j + 1;
      double* colj = a + j * ld + (lower ? j : 0);
      blas_dscal(&len, &sigma, colj, &one);
    }
    if (abstll > 0) abstll *= sigma;
    if (valeig) {
      vll *= sigma;
      vuu *= sigma;
    }
  }

  double* tau = work;
  double* d = work + nn;
  double* e = work + 2 * nn;
  double* dcopy = work + 3 * nn;
  double* ecopy = work + 4 * nn;
  double* rest = work + 5 * nn;
  const int lrest = *lwork - 5 * nn;
  const int lback = *lwork - 2 * nn;
  int iinfo = 0;
  ztr_lapack_dsytrd(ul, n, a, lda, d, e, tau, rest, &lrest, &iinfo);

  bool done = false;
  const bool whole = alleig || (indeig && *il == 1 && *iu == nn);
  if (whole && ieeeok == 1) {
    if (!wantz) {
      std::copy(d, d + nn, w);
      std::copy(e, e + nn - 1, ecopy);
      dsterf(n, w, ecopy, info);
      if (*info == 0) *m = nn;
    } else {
      std::copy(e, e + nn - 1, ecopy);
      std::copy(d, d + nn, dcopy);
      int tryrac = *abstol <= 2 * nn * eps ? 1 : 0;
      const char vec = 'V', all = 'A';
      dstemr(&vec, &all, n, dcopy, ecopy, vl, vu, il, iu, m, w, z, ldz, n, isuppz, &tryrac, rest,
             &lrest, iwork, liwork, info);
      if (*info == 0) {
        dormtr("L", ul, "N", n, m, a, lda, tau, z, ldz, e, &lback, &iinfo);
        *m = nn;
      }
    }
    if (*info == 0) {
      done = true;
    } else {
      *info = 0;  // the general path below recomputes the result
    }
  }
  if (!done) {
    const char order = wantz ? 'B' : 'E';
    int nsplit = 0;
    int* iblock = iwork;
    int* isplit = iwork + nn;
    dstebz(range, &order, n, &vll, &vuu, il, iu, &abstll, d, e, m, &nsplit, w, iblock, isplit, rest,
           iwork + 2 * nn, info);
    if (wantz) {
      dstein(n, d, e, m, w, iblock, isplit, z, ldz, rest, iwork + 2 * nn, iwork + 3 * nn, info);
      dormtr("L", ul, "N", n, m, a, lda, tau, z, ldz, e, &lback, &iinfo);
    }
  }

  if (scaled) {
    // The values found, or those before the failure; never more than were found (a failure
    // code can exceed their count, and w holds n values).
    const int k = std::max(0, std::min(*info == 0 ? *m : *info - 1, *m));
    const double inv = 1 / sigma;
    const int one = 1;
    blas_dscal(&k, &inv, w, &one);
  }
  if (wantz) {
    // The general path returns the eigenvalues block by block: sort them, columns along.
    const int one = 1;
    for (int j = 0; j + 1 < *m; ++j) {
      int k = j;
      for (int i = j + 1; i < *m; ++i)
        if (w[i] < w[k]) k = i;
      if (k != j) {
        std::swap(w[j], w[k]);
        blas_dswap(n, z + j * static_cast<std::ptrdiff_t>(*ldz), &one,
                   z + k * static_cast<std::ptrdiff_t>(*ldz), &one);
      }
    }
    // The supports of the eigenvectors of A (the back-transformation spreads those of the
    // tridiagonal vectors).
    for (int j = 0; j < *m; ++j) {
      const double* zj = z + j * static_cast<std::ptrdiff_t>(*ldz);
      int first = 0, last = nn - 1;
      while (first < last && zj[first] == 0.0) ++first;
      while (last > first && zj[last] == 0.0) --last;
      isuppz[2 * j] = first + 1;
      isuppz[2 * j + 1] = last + 1;
    }
  }
  work[0] = lwkopt;
  iwork[0] = static_cast<int>(liwmin);  // a run that got here had liwork >= liwmin
}

}  // namespace ztr
