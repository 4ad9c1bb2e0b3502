#include <algorithm>
#include <cmath>
#include <cstdint>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/sturm.h"
#include "lapack/syevr/tridiagonal.h"
#include "service/letters.h"

namespace ztr {
namespace {

// Shifts for the root representation are tried this many times, doubling the step.
constexpr int kMaxShiftTries = 6;
// Accepted element growth of an indefinite root representation, times the spread.
constexpr double kMaxGrowth = 8.0;
// Entries of the root representation are perturbed by this many ulps at random, which
// separates eigenvalues that agree to working precision (glued matrices).
constexpr double kPerturbUlps = 4.0;
// Error bound of a dqds eigenvalue, in ulps of its magnitude.
constexpr double kDqdsUlps = 4.0;
// Margins in units of ulp * spread and of the pivot guard around the computed extremes.
constexpr double kFudge = 2.0;
constexpr double kHundredUlps = 100.0;

double next_uniform(std::uint64_t* state) {
  *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(*state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// L D L^T = T - sigma*I for rows 0..k-1; returns false when a pivot is not finite, has
// the wrong sign (definite: sign != 0) or grows beyond `growth`.
bool root_factor(int k, const double* d, const double* e, double sigma, int sign, double growth,
                 double* dd, double* ll) {
  double piv = d[0] - sigma;
  for (int i = 0; i < k; ++i) {
    if (!std::isfinite(piv) || piv == 0.0) return false;
    if (sign != 0 && piv * sign < 0) return false;
    if (sign == 0 && std::fabs(piv) > growth) return false;
    dd[i] = piv;
    if (i + 1 < k) {
      ll[i] = e[i] / piv;
      piv = d[i + 1] - sigma - ll[i] * e[i];
    }
  }
  return true;
}

}  // namespace

void dlarre(const char* range, const int* n, double* vl, double* vu, const int* il, const int* iu,
            double* d, double* e, double* e2, const double* rtol1, const double* rtol2,
            const double* spltol, int* nsplit, int* isplit, int* m, double* w, double* werr,
            double* wgap, int* iblock, int* indexw, double* gers, double* pivmin, double* work,
            int* iwork, int* info) {
  *info = 0;
  *m = 0;
  const int nn = *n;
  if (nn <= 0) return;
  const bool all = same_letter(*range, 'A');
  const double safmin = dlamch("S"), eps = dlamch("P");
  if (nn == 1) {
    if (all || same_letter(*range, 'I') || (*vl < d[0] && d[0] <= *vu)) {
      *m = 1;
      w[0] = d[0];
      werr[0] = wgap[0] = 0.0;
      iblock[0] = indexw[0] = 1;
    }
    gers[0] = gers[1] = d[0];
    e[0] = 0.0;
    *nsplit = 1;
    isplit[0] = 1;
    *pivmin = safmin;
    return;
  }
  // Gershgorin intervals, the spread of the spectrum and the pivot guard.
  double gl = d[0], gu = d[0], emax2 = 0;
  for (int i = 0; i < nn; ++i) {
    const double r = (i > 0 ? std::fabs(e[i - 1]) : 0.0) + (i + 1 < nn ? std::fabs(e[i]) : 0.0);
    gers[2 * i] = d[i] - r;
    gers[2 * i + 1] = d[i] + r;
    gl = std::min(gl, gers[2 * i]);
    gu = std::max(gu, gers[2 * i + 1]);
    if (i + 1 < nn) {
      e2[i] = e[i] * e[i];
      emax2 = std::max(emax2, e2[i]);
    }
  }
  e[nn - 1] = e2[nn - 1] = 0.0;
  *pivmin = safmin * std::max(1.0, emax2);
  const double spdiam = gu - gl;
  dlarra(n, d, e, e2, spltol, &spdiam, nsplit, isplit, info);

  // A part of the spectrum: the local index range of each block.  Value range: counts at
  // vl and vu.  Index range: the points wl, wu with il-1 and iu eigenvalues at or below them
  // (by bisection over all of T); eigenvalues tied across blocks beyond il..iu are dropped
  // from the ends.
  int* blk_lo = iwork;       // first wanted local index of each block
  int* blk_hi = iwork + nn;  // last one (blk_hi < blk_lo: none)
  if (!all) {
    double wl = *vl, wu = *vu;
    int nwl = 0, nwu = 0;
    if (same_letter(*range, 'I')) {
      const double margin = kFudge * spdiam * eps * nn + kFudge * 2 * *pivmin;
      auto point = [&](int target, bool upper) {
        double lo = gl - margin, hi = gu + margin;
        for (int it = 0; it < 4 * 1100; ++it) {
          const double mid = 0.5 * (lo + hi);
          if (mid <= lo || mid >= hi) break;
          const int c = sturm_count(0, nn - 1, d, e2, *pivmin, mid);
          if (c == target) return mid;
          if (c < target) {
            lo = mid;
          } else {
            hi = mid;
          }
        }
        return upper ? hi : lo;
      };
      wl = point(*il - 1, false);
      wu = point(*iu, true);
    }
    for (int blk = 0; blk < *nsplit; ++blk) {
      const int first = blk == 0 ? 0 : isplit[blk - 1], last = isplit[blk] - 1;
      const int a = sturm_count(first, last, d, e2, *pivmin, wl);
      const int b = sturm_count(first, last, d, e2, *pivmin, wu);
      blk_lo[blk] = a + 1;
      blk_hi[blk] = b;
      nwl += a;
      nwu += b;
    }
    if (same_letter(*range, 'I')) {
      int excess_low = *il - 1 - nwl, excess_high = nwu - *iu;
      for (int blk = 0; blk < *nsplit && excess_low > 0; ++blk) {
        while (excess_low > 0 && blk_lo[blk] <= blk_hi[blk]) {
          ++blk_lo[blk];
          --excess_low;
        }
      }
      for (int blk = *nsplit - 1; blk >= 0 && excess_high > 0; --blk) {
        while (excess_high > 0 && blk_lo[blk] <= blk_hi[blk]) {
          --blk_hi[blk];
          --excess_high;
        }
      }
      *vl = wl;
      *vu = wu;
    }
  }

  std::uint64_t seed = 0x9E3779B97F4A7C15ULL;
  int wbegin = 0;
  for (int blk = 0; blk < *nsplit; ++blk) {
    const int first = blk == 0 ? 0 : isplit[blk - 1], last = isplit[blk] - 1;
    const int in = last - first + 1;
    double* db = d + first;
    double* eb = e + first;
    const double* e2b = e2 + first;
    const int mb = all ? in : std::max(0, blk_hi[blk] - blk_lo[blk] + 1);
    const int wend = wbegin + mb;
    if (mb == 0) {
      eb[in - 1] = 0.0;
      continue;
    }
    if (in == 1) {
      w[wbegin] = db[0];
      werr[wbegin] = wgap[wbegin] = 0.0;
      iblock[wbegin] = blk + 1;
      indexw[wbegin] = 1;
      eb[0] = 0.0;
      *m += 1;
      wbegin = wend;
      continue;
    }
    double bgl = gers[2 * first], bgu = gers[2 * first + 1];
    for (int i = first; i <= last; ++i) {
      bgl = std::min(bgl, gers[2 * i]);
      bgu = std::max(bgu, gers[2 * i + 1]);
    }
    const double bspdiam = bgu - bgl;
    // Local index of the first wanted eigenvalue, and the ends of the wanted part.
    int indl = 1;
    double isleft, isrght;
    if (all) {
      const double rtl = std::sqrt(eps);
      double w1, err1, w2, err2;
      int iinfo = 0;
      const int one = 1;
      dlarrk(&in, &one, &bgl, &bgu, db, e2b, pivmin, &rtl, &w1, &err1, &iinfo);
      dlarrk(&in, &in, &bgl, &bgu, db, e2b, pivmin, &rtl, &w2, &err2, &iinfo);
      isleft = std::max(bgl, w1 - err1 - kHundredUlps * eps * std::fabs(w1 - err1));
      isrght = std::min(bgu, w2 + err2 + kHundredUlps * eps * std::fabs(w2 + err2));
    } else {
      indl = blk_lo[blk];
      const int indu0 = blk_hi[blk];
      const double rtl = std::sqrt(eps);
      int iinfo = 0;
      dlarrd(&in, &bgl, &bgu, db, e2b, pivmin, &rtl, &indl, &indu0, w + wbegin, werr + wbegin, work,
             iwork + 2 * nn, &iinfo);
      for (int j = wbegin; j < wend; ++j) {
        iblock[j] = blk + 1;
        indexw[j] = indl + (j - wbegin);
      }
      isleft = std::max(
          bgl, w[wbegin] - werr[wbegin] - kHundredUlps * eps * std::fabs(w[wbegin] - werr[wbegin]));
      isrght = std::min(bgu, w[wend - 1] + werr[wend - 1] +
                                 kHundredUlps * eps * std::fabs(w[wend - 1] + werr[wend - 1]));
    }
    const int indu = indl + mb - 1;
    // The root shift goes to the end of the wanted part where more eigenvalues crowd; with
    // all eigenvalues the representation must be definite (dqds needs it).
    const double quarter = 0.25 * (isrght - isleft);
    const int cnt1 = sturm_count(0, in - 1, db, e2b, *pivmin, isleft + quarter);
    const int cnt2 = sturm_count(0, in - 1, db, e2b, *pivmin, isrght - quarter);
    int sgndef = (mb == 1 || cnt1 - indl + 1 >= indu - cnt2) ? 1 : -1;
    double sigma = sgndef > 0 ? isleft : isrght;
    double tau = std::max(bspdiam * eps * in + 2 * *pivmin, 2 * eps * std::fabs(sigma));
    double* dd = work;
    double* ll = work + nn;
    bool ok = false;
    for (int attempt = 0; attempt < kMaxShiftTries && !ok; ++attempt) {
      ok = root_factor(in, db, eb, sigma, all ? sgndef : 0, kMaxGrowth * bspdiam, dd, ll);
      if (ok) break;
      if (attempt == kMaxShiftTries - 2) {
        // Last try: just outside the whole block on the other side... or this one.
        sigma = sgndef > 0 ? bgl - kFudge * bspdiam * eps * in - kFudge * 2 * *pivmin
                           : bgu + kFudge * bspdiam * eps * in + kFudge * 2 * *pivmin;
      } else {
        sigma -= sgndef * tau;
        tau *= 2;
      }
    }
    if (!ok) {
      *info = 2;
      return;
    }
    for (int i = 0; i < in; ++i) {
      db[i] = dd[i] * (1.0 + kPerturbUlps * eps * next_uniform(&seed));
      if (i + 1 < in) eb[i] = ll[i] * (1.0 + kPerturbUlps * eps * next_uniform(&seed));
    }
    eb[in - 1] = sigma;

    if (all) {
      // dqds on |L D L^T|, whose eigenvalues are sign * those of the representation.
      double* qd = work;
      for (int i = 0; i < in; ++i) {
        qd[2 * i] = std::fabs(db[i]);
        qd[2 * i + 1] = i + 1 < in ? eb[i] * eb[i] * std::fabs(db[i]) : 0.0;
      }
      int iinfo = 0;
      dlasq2(&in, qd, &iinfo);
      if (iinfo != 0) {
        *info = 3;
        return;
      }
      for (int k = 0; k < in; ++k) {
        const double v = sgndef > 0 ? qd[in - 1 - k] : -qd[k];
        w[wbegin + k] = v;
        werr[wbegin + k] = kDqdsUlps * eps * std::fabs(v);
        iblock[wbegin + k] = blk + 1;
        indexw[wbegin + k] = k + 1;
      }
    } else {
      // Bisection on the representation, starting from T's approximations.
      for (int j = wbegin; j < wend; ++j) w[j] -= sigma;
      double* lld = work;
      for (int i = 0; i + 1 < in; ++i) lld[i] = eb[i] * eb[i] * db[i];
      for (int j = wbegin; j + 1 < wend; ++j)
        wgap[j] = std::max(0.0, (w[j + 1] - werr[j + 1]) - (w[j] + werr[j]));
      wgap[wend - 1] = bspdiam;
      const int offset = indl - wbegin - 1;
      int iinfo = 0;
      dlarrb(&in, db, lld, &indl, &indu, rtol1, rtol2, &offset, w, wgap, werr, work + nn, iwork,
             pivmin, &bspdiam, &in, &iinfo);
      if (iinfo != 0) {
        *info = 4;
        return;
      }
    }
    for (int j = wbegin; j + 1 < wend; ++j)
      wgap[j] = std::max(0.0, (w[j + 1] - werr[j + 1]) - (w[j] + werr[j]));
    // The gap after the last wanted eigenvalue of the block is settled by dlarrv.
    wgap[wend - 1] = bspdiam;
    *m += mb;
    wbegin = wend;
  }
}

}  // namespace ztr
