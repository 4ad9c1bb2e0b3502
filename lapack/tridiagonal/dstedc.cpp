#include "lapack/tridiagonal/dstedc.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/auxiliary/dlanst.h"
#include "lapack/auxiliary/dlascl.h"
#include "lapack/auxiliary/dlaset.h"
#include "lapack/dlamch.h"
#include "lapack/ilaenv.h"
#include "lapack/tridiagonal/compz.h"
#include "lapack/tridiagonal/dlaed0.h"
#include "lapack/tridiagonal/dsteqr.h"
#include "lapack/tridiagonal/dsterf.h"
#include "service/error.h"

namespace ztr {

namespace {

int ceil_log2(int x) {
  int l = 0;
  while ((1 << l) < x) ++l;
  return l;
}

}  // namespace

void dstedc(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info) {
  const int nn = *n;
  const bool lquery = *lwork == -1 || *liwork == -1;
  int icompz = 0;
  int bad = check_compz(compz, nn, *ldz, &icompz);
  const int smlsiz = ilaenv(9, "DSTEDC", " ", 0, 0, 0, 0);
  int lwmin = 1, liwmin = 1;
  if (bad == 0) {
    if (nn <= 1 || icompz == 0) {
      lwmin = 1;
      liwmin = 1;
    } else if (nn <= smlsiz) {
      lwmin = 2 * (nn - 1);
      liwmin = 1;
    } else if (icompz == 1) {
      const int lgn = ceil_log2(nn);
      lwmin = 1 + 3 * nn + 2 * nn * lgn + 4 * nn * nn;
      liwmin = 6 + 6 * nn + 5 * nn * lgn;
    } else {
      lwmin = 1 + 4 * nn + nn * nn;
      liwmin = 3 + 5 * nn;
    }
    work[0] = lwmin;
    iwork[0] = liwmin;
    if (*lwork < lwmin && !lquery) {
      bad = 8;
    } else if (*liwork < liwmin && !lquery) {
      bad = 10;
    }
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DSTEDC", &bad, 6);
    return;
  }
  if (lquery || nn == 0) return;
  if (nn == 1) {
    if (icompz != 0) z[0] = 1.0;
    return;
  }
  const std::ptrdiff_t ld = *ldz;
  auto zat = [&](int i, int j) { return z + i + static_cast<std::ptrdiff_t>(j) * ld; };
  const double one = 1.0, zero = 0.0;
  const int izero = 0, ione = 1;

  if (icompz == 0) {
    dsterf(n, d, e, info);
  } else if (nn <= smlsiz) {
    dsteqr(compz, n, d, e, z, ldz, work, info);
  } else {
    if (icompz == 2) dlaset("Full", n, n, &zero, &one, z, ldz);
    double orgnrm = dlanst("M", n, d, e);
    if (orgnrm == 0.0) {
      work[0] = lwmin;
      iwork[0] = liwmin;
      return;
    }
    const double eps = dlamch("Epsilon");
    int start = 0;
    while (start < nn) {
      // The block start..finish ends at the first negligible off-diagonal entry.
      int finish = start;
      while (finish < nn - 1) {
        const double tiny =
            eps * std::sqrt(std::fabs(d[finish])) * std::sqrt(std::fabs(d[finish + 1]));
        if (std::fabs(e[finish]) <= tiny) break;
        ++finish;
      }
      const int m = finish - start + 1;
      if (m == 1) {
        start = finish + 1;
        continue;
      }
      if (m > smlsiz) {
        orgnrm = dlanst("M", &m, d + start, e + start);
        int sinfo = 0;
        const int m1 = m - 1;
        dlascl("G", &izero, &izero, &orgnrm, &one, &m, &ione, d + start, &m, &sinfo);
        dlascl("G", &izero, &izero, &orgnrm, &one, &m1, &ione, e + start, &m1, &sinfo);
        if (icompz == 2) {
          ztr_lapack_dlaed0(&icompz, n, &m, d + start, e + start, zat(start, start), ldz, nullptr,
                            ldz, work, iwork, info);
        } else {
          // The given matrix's columns of this block are updated in place; work holds the
          // updated copy (n^2) and then the divide and conquer's workspace.
          ztr_lapack_dlaed0(&icompz, n, &m, d + start, e + start, zat(0, start), ldz, work, n,
                            work + static_cast<std::ptrdiff_t>(nn) * nn, iwork, info);
        }
        if (*info != 0) {
          *info = (*info / (m + 1) + start) * (nn + 1) + *info % (m + 1) + start;
          return;
        }
        dlascl("G", &izero, &izero, &one, &orgnrm, &m, &ione, d + start, &m, &sinfo);
      } else {
        if (icompz == 1) {
          // work: the block's vectors (m^2), the rotations (2m) and a copy of z's columns.
          double* zcopy = work + static_cast<std::ptrdiff_t>(m) * m + 2 * m;
          dsteqr("I", &m, d + start, e + start, work, &m, work + static_cast<std::ptrdiff_t>(m) * m,
                 info);
          dlacpy("A", n, &m, zat(0, start), ldz, zcopy, n);
          ztr_blas_dgemm("N", "N", n, &m, &m, &one, zcopy, n, work, &m, &zero, zat(0, start), ldz);
        } else {
          dsteqr("I", &m, d + start, e + start, zat(start, start), ldz, work, info);
        }
        if (*info != 0) {
          *info = (start + 1) * (nn + 1) + finish + 1;
          return;
        }
      }
      start = finish + 1;
    }
    // Selection sort: each eigenvector moves at most once.
    for (int i = 0; i < nn - 1; ++i) {
      int k = i;
      double p = d[i];
      for (int j = i + 1; j < nn; ++j) {
        if (d[j] < p) {
          k = j;
          p = d[j];
        }
      }
      if (k != i) {
        d[k] = d[i];
        d[i] = p;
        blas_dswap(n, zat(0, i), &ione, zat(0, k), &ione);
      }
    }
  }
  work[0] = lwmin;
  iwork[0] = liwmin;
}

}  // namespace ztr
