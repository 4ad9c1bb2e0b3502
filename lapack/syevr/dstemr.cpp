#include <algorithm>
#include <cmath>
#include <cstddef>

#include "lapack/auxiliary/dlaev2.h"
#include "lapack/auxiliary/dlanst.h"
#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/tridiagonal.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {
namespace {

// Relative gap below which eigenvalues are treated as a cluster by the representation tree.
constexpr double kMinRelGap = 1e-3;
// Workspace per order: with vectors 18n doubles and 10n integers, without 12n and 8n.
constexpr int kWorkWithVectors = 18, kIworkWithVectors = 10;
constexpr int kWorkValuesOnly = 12, kIworkValuesOnly = 8;

}  // namespace

void dstemr(const char* jobz, const char* range, const int* n, double* d, double* e,
            const double* vl, const double* vu, const int* il, const int* iu, int* m, double* w,
            double* z, const int* ldz, const int* nzc, int* isuppz, int* tryrac, double* work,
            const int* lwork, int* iwork, const int* liwork, int* info) {
  const bool wantz = same_letter(*jobz, 'V');
  const bool alleig = same_letter(*range, 'A');
  const bool valeig = same_letter(*range, 'V');
  const bool indeig = same_letter(*range, 'I');
  const bool lquery = *lwork == -1 || *liwork == -1;
  const bool zquery = *nzc == -1;
  const int nn = *n;
  const int lwmin = wantz ? kWorkWithVectors * nn : std::max(1, kWorkValuesOnly * nn);
  const int liwmin = wantz ? kIworkWithVectors * nn : std::max(1, kIworkValuesOnly * nn);
  double wl = 0, wu = 0;
  if (valeig) {
    wl = *vl;
    wu = *vu;
  }
  *info = 0;
  if (!wantz && !same_letter(*jobz, 'N')) {
    *info = -1;
  } else if (!alleig && !valeig && !indeig) {
    *info = -2;
  } else if (nn < 0) {
    *info = -3;
  } else if (valeig && nn > 0 && wu <= wl) {
    *info = -7;
  } else if (indeig && (*il < 1 || *il > nn)) {
    *info = -8;
  } else if (indeig && (*iu < *il || *iu > nn)) {
    *info = -9;
  } else if (*ldz < 1 || (wantz && *ldz < nn)) {
    *info = -13;
  } else if (*lwork < lwmin && !lquery) {
    *info = -17;
  } else if (*liwork < liwmin && !lquery) {
    *info = -19;
  }
  const double safmin = dlamch("S"), eps = dlamch("P");
  if (*info == 0) {
    work[0] = lwmin;
    iwork[0] = liwmin;
    int nzcmin = 0;
    if (wantz && alleig) {
      nzcmin = nn;
    } else if (wantz && valeig) {
      int lcnt = 0, rcnt = 0, iinfo = 0;
      dlarrc("T", n, &wl, &wu, d, e, &safmin, &nzcmin, &lcnt, &rcnt, &iinfo);
    } else if (wantz && indeig) {
      nzcmin = *iu - *il + 1;
    }
    if (zquery) {
      z[0] = nzcmin;
    } else if (*nzc < nzcmin) {
      *info = -14;
    }
  }
  if (*info != 0) {
    const int pos = -*info;
    xerbla_dispatch("DSTEMR", &pos, 6);
    return;
  }
  *m = 0;
  if (lquery || zquery || nn == 0) return;
  auto col = [&](int j) { return z + static_cast<std::ptrdiff_t>(j) * *ldz; };

  if (nn == 1) {
    if (alleig || indeig || (wl < d[0] && d[0] <= wu)) {
      *m = 1;
      w[0] = d[0];
      if (wantz) {
        z[0] = 1.0;
        isuppz[0] = isuppz[1] = 1;
      }
    }
    return;
  }
  if (nn == 2) {
    // dlaev2 gives the larger-magnitude root with its vector (cs, sn); the other root's
    // vector is (-sn, cs).  r1 <= r2 below, with (c1, s1) and (c2, s2) their vectors.
    double rt1, rt2, cs, sn;
    dlaev2(d[0], e[0], d[1], &rt1, &rt2, &cs, &sn);
    const bool first_is_big = rt1 > rt2;
    const double r1 = first_is_big ? rt2 : rt1, r2 = first_is_big ? rt1 : rt2;
    const double c1 = first_is_big ? -sn : cs, s1 = first_is_big ? cs : sn;
    const double c2 = first_is_big ? cs : -sn, s2 = first_is_big ? sn : cs;
    const bool take1 = alleig || (valeig && r1 > wl && r1 <= wu) || (indeig && *il == 1);
    const bool take2 = alleig || (valeig && r2 > wl && r2 <= wu) || (indeig && *iu == 2);
    if (take1) {
      w[*m] = r1;
      if (wantz) {
        col(*m)[0] = c1;
        col(*m)[1] = s1;
        isuppz[2 * *m] = c1 != 0 ? 1 : 2;
        isuppz[2 * *m + 1] = s1 != 0 ? 2 : 1;
      }
      ++*m;
    }
    if (take2) {
      w[*m] = r2;
      if (wantz) {
        col(*m)[0] = c2;
        col(*m)[1] = s2;
        isuppz[2 * *m] = c2 != 0 ? 1 : 2;
        isuppz[2 * *m + 1] = s2 != 0 ? 2 : 1;
      }
      ++*m;
    }
    return;
  }

  // Workspace: w-sized arrays first, then the scratch of dlarre and dlarrv.
  double* wgap = work;
  double* werr = work + nn;
  double* gers = work + 2 * nn;  // 2n
  double* e2 = work + 4 * nn;
  double* dcopy = work + 5 * nn;  // T's diagonal, for the final refinement (no vectors)
  double* scratch = work + (wantz ? 5 : 6) * nn;  // 13n with vectors, 6n without
  int* iblock = iwork;
  int* isplit = iwork + nn;
  int* indexw = iwork + 2 * nn;
  int* iscratch = iwork + 3 * nn;  // 7n with vectors, 5n without

  // Scale into the range where the algorithm's squares neither overflow nor underflow.
  const double smlnum = safmin / eps, bignum = 1 / smlnum;
  const double rmin = std::sqrt(smlnum);
  const double rmax = std::min(std::sqrt(bignum), 1 / std::sqrt(std::sqrt(safmin)));
  double tnrm = dlanst("M", n, d, e);
  double scale = 1.0;
  if (tnrm > 0 && tnrm < rmin) {
    scale = rmin / tnrm;
  } else if (tnrm > rmax) {
    scale = rmax / tnrm;
  }
  if (scale != 1.0) {
    for (int i = 0; i < nn; ++i) d[i] *= scale;
    for (int i = 0; i + 1 < nn; ++i) e[i] *= scale;
    tnrm *= scale;
    if (valeig) {
      wl *= scale;
      wu *= scale;
    }
  }
  if (*tryrac) {
    int iinfo = 0;
    dlarrr(n, d, e, &iinfo);
    *tryrac = iinfo == 0;
  }
  if (*tryrac && !wantz) std::copy(d, d + nn, dcopy);
  for (int i = 0; i + 1 < nn; ++i) e2[i] = e[i] * e[i];
  e2[nn - 1] = 0.0;
  double rtol1, rtol2;
  if (wantz) {
    rtol1 = std::sqrt(eps);
    rtol2 = std::max(0.005 * std::sqrt(eps), 4 * eps);
  } else {
    rtol1 = rtol2 = 4 * eps;
  }
  const double spltol = *tryrac ? eps : -eps;
  int nsplit = 0, iinfo = 0;
  double pivmin = 0;
  dlarre(range, n, &wl, &wu, il, iu, d, e, e2, &rtol1, &rtol2, &spltol, &nsplit, isplit, m, w, werr,
         wgap, iblock, indexw, gers, &pivmin, scratch, iscratch, &iinfo);
  if (iinfo != 0) {
    *info = 10 + std::abs(iinfo);
    return;
  }
  if (wantz) {
    const int one = 1;
    dlarrv(n, &wl, &wu, d, e, &pivmin, isplit, m, &one, m, &kMinRelGap, &rtol1, &rtol2, w, werr,
           wgap, iblock, indexw, gers, z, ldz, isuppz, scratch, iscratch, &iinfo);
    if (iinfo != 0) {
      *info = 20 + std::abs(iinfo);
      return;
    }
  } else {
    // Add the root shifts back; with relative accuracy wanted, finish by bisection on T.
    for (int j = 0; j < *m; ++j) w[j] += e[isplit[iblock[j] - 1] - 1];
    if (*tryrac) {
      int wbegin = 0;
      for (int blk = 1; blk <= nsplit && wbegin < *m; ++blk) {
        const int first = blk == 1 ? 0 : isplit[blk - 2];
        const int in = isplit[blk - 1] - first;
        int wend = wbegin;
        while (wend < *m && iblock[wend] == blk) ++wend;
        if (wend > wbegin && in > 1) {
          const int ifirst = indexw[wbegin], ilast = indexw[wend - 1];
          const int offset = indexw[wbegin] - wbegin - 1;
          const double spd = 0;
          dlarrj(&in, dcopy + first, e2 + first, &ifirst, &ilast, &rtol2, &offset, w, werr, scratch,
                 iscratch, &pivmin, &spd, &iinfo);
        }
        wbegin = wend;
      }
    }
  }
  if (scale != 1.0) {
    for (int j = 0; j < *m; ++j) w[j] /= scale;
  }
  // Blocks come one after another; sort ascending, vectors and supports along.
  if (nsplit > 1 || !alleig) {
    for (int j = 0; j + 1 < *m; ++j) {
      int k = j;
      for (int i = j + 1; i < *m; ++i)
        if (w[i] < w[k]) k = i;
      if (k == j) continue;
      std::swap(w[j], w[k]);
      if (wantz) {
        std::swap_ranges(col(j), col(j) + nn, col(k));
        std::swap(isuppz[2 * j], isuppz[2 * k]);
        std::swap(isuppz[2 * j + 1], isuppz[2 * k + 1]);
      }
    }
  }
  work[0] = lwmin;
  iwork[0] = liwmin;
}

}  // namespace ztr
