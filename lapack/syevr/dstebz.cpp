#include <algorithm>
#include <cmath>

#include "lapack/dlamch.h"
#include "lapack/syevr/sturm.h"
#include "lapack/syevr/tridiagonal.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {
namespace {

// Widening of a Gershgorin interval, in units of ulp * norm * order and of pivmin, so that
// rounding in the bounds cannot leave an eigenvalue outside.
constexpr double kGershgorinFudge = 2.1;
// Relative tolerance of the bisection, in ulps.
constexpr double kRelativeTolerance = 2.0;

struct Bounds {
  double lo, hi;
};

Bounds gershgorin(int first, int last, const double* d, const double* e) {
  Bounds g{d[first], d[first]};
  for (int j = first; j <= last; ++j) {
    const double r = (j > first ? std::fabs(e[j - 1]) : 0.0) + (j < last ? std::fabs(e[j]) : 0.0);
    g.lo = std::min(g.lo, d[j] - r);
    g.hi = std::max(g.hi, d[j] + r);
  }
  return g;
}

// Bisects [lo, hi] (count(lo) <= target <= count(hi)) for a point with exactly `target`
// eigenvalues at or below it; stops early when the interval is narrower than the tolerance.
// Returns the final interval.
Bounds bisect_count(int first, int last, const double* d, const double* e2, double pivmin,
                    double atol, double rtol, int target, double lo, double hi, int itmax) {
  for (int it = 0; it < itmax; ++it) {
    if (hi - lo < std::max({atol, pivmin, rtol * std::max(std::fabs(lo), std::fabs(hi))})) break;
    const double mid = 0.5 * (lo + hi);
    const int c = sturm_count(first, last, d, e2, pivmin, mid);
    if (c == target) return {mid, mid};
    if (c < target) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return {lo, hi};
}

}  // namespace

void dstebz(const char* range, const char* order, const int* n, const double* vl, const double* vu,
            const int* il, const int* iu, const double* abstol, const double* d, const double* e,
            int* m, int* nsplit, double* w, int* iblock, int* isplit, double* work, int* iwork,
            int* info) {
  const int nn = *n;
  int irange = 0;
  if (same_letter(*range, 'A')) irange = 1;
  if (same_letter(*range, 'V')) irange = 2;
  if (same_letter(*range, 'I')) irange = 3;
  const bool by_block = same_letter(*order, 'B');
  *info = 0;
  if (irange == 0) {
    *info = -1;
  } else if (!by_block && !same_letter(*order, 'E')) {
    *info = -2;
  } else if (nn < 0) {
    *info = -3;
  } else if (irange == 2 && *vl >= *vu) {
    *info = -5;
  } else if (irange == 3 && (*il < 1 || *il > std::max(1, nn))) {
    *info = -6;
  } else if (irange == 3 && (*iu < std::min(nn, *il) || *iu > nn)) {
    *info = -7;
  }
  if (*info != 0) {
    const int pos = -*info;
    xerbla_dispatch("DSTEBZ", &pos, 6);
    return;
  }
  *m = 0;
  *nsplit = 0;
  if (nn == 0) return;
  if (irange == 3 && *il == 1 && *iu == nn) irange = 1;

  const double safemn = dlamch("S");
  const double ulp = dlamch("P");
  const double rtoli = ulp * kRelativeTolerance;

  // Squared off-diagonals, zero where T splits; pivmin guards the Sturm recurrence.
  double* e2 = work;
  double emax2 = 0;
  int nb = 0;
  for (int j = 0; j + 1 < nn; ++j) {
    const double t = e[j] * e[j];
    if (std::fabs(d[j] * d[j + 1]) * ulp * ulp + safemn > t) {
      isplit[nb++] = j + 1;
      e2[j] = 0.0;
    } else {
      e2[j] = t;
      emax2 = std::max(emax2, t);
    }
  }
  isplit[nb++] = nn;
  *nsplit = nb;
  const double pivmin = safemn * std::max(1.0, emax2);

  double wl = 0, wu = 0;
  int nwl = 0, nwu = 0;
  double atoli = *abstol;
  if (irange == 2) {
    wl = *vl;
    wu = *vu;
  } else if (irange == 3) {
    Bounds g = gershgorin(0, nn - 1, d, e);
    const double tnorm = std::max(std::fabs(g.lo), std::fabs(g.hi));
    g.lo -= kGershgorinFudge * tnorm * ulp * nn + kGershgorinFudge * 2 * pivmin;
    g.hi += kGershgorinFudge * tnorm * ulp * nn + kGershgorinFudge * pivmin;
    if (atoli <= 0) atoli = ulp * tnorm;
    const int itmax = bisection_steps(tnorm, pivmin);
    const Bounds lower =
        bisect_count(0, nn - 1, d, e2, pivmin, atoli, rtoli, *il - 1, g.lo, g.hi, itmax);
    const Bounds upper =
        bisect_count(0, nn - 1, d, e2, pivmin, atoli, rtoli, *iu, g.lo, g.hi, itmax);
    wl = lower.lo;
    wu = upper.hi;
    nwl = sturm_count(0, nn - 1, d, e2, pivmin, wl);
    nwu = sturm_count(0, nn - 1, d, e2, pivmin, wu);
    if (nwl < 0 || nwl >= nn || nwu < 1 || nwu > nn) {
      *info = 4;
      return;
    }
  }

  // Each block on its own: interval splitting until every interval holds one eigenvalue,
  // then bisection to the tolerance.
  int mm = 0;
  bool unconverged = false;
  int* stack_count = iwork;  // pairs (count at lo, count at hi)
  double* stack_lo = work + nn;
  double* stack_hi = work + 2 * nn;
  int first = 0;
  for (int b = 0; b < nb; ++b) {
    const int last = isplit[b] - 1;
    if (first == last) {
      if (irange == 1 || (sturm_count(first, last, d, e2, pivmin, wl) == 0 &&
                          sturm_count(first, last, d, e2, pivmin, wu) == 1)) {
        w[mm] = d[first];
        iblock[mm] = b + 1;
        ++mm;
      }
      first = last + 1;
      continue;
    }
    Bounds g = gershgorin(first, last, d, e);
    const double bnorm = std::max(std::fabs(g.lo), std::fabs(g.hi));
    const int size = last - first + 1;
    g.lo -= kGershgorinFudge * bnorm * ulp * size + kGershgorinFudge * pivmin;
    g.hi += kGershgorinFudge * bnorm * ulp * size + kGershgorinFudge * pivmin;
    const double atol = *abstol <= 0 ? ulp * bnorm : *abstol;
    if (irange > 1) {
      if (g.hi < wl) {
        first = last + 1;
        continue;
      }
      g.lo = std::max(g.lo, wl);
      g.hi = std::min(g.hi, wu);
      if (g.lo >= g.hi) {
        first = last + 1;
        continue;
      }
    }
    const int clo = sturm_count(first, last, d, e2, pivmin, g.lo);
    const int chi = sturm_count(first, last, d, e2, pivmin, g.hi);
    if (chi <= clo) {
      first = last + 1;
      continue;
    }
    const int itmax = bisection_steps(g.hi - g.lo, pivmin);
    BracketStack stack{stack_lo, stack_hi, stack_count};
    stack.push(g.lo, g.hi, clo, chi);
    const int block_start = mm;
    mm += chi - clo;
    while (stack.top > 0) {
      double lo, hi;
      int nlo, nhi;
      stack.pop(lo, hi, nlo, nhi);
      int it = 0;
      for (;;) {
        const double tol = std::max({atol, pivmin, rtoli * std::max(std::fabs(lo), std::fabs(hi))});
        if (hi - lo < tol || it >= itmax) {
          if (hi - lo >= tol) unconverged = true;
          for (int k = nlo; k < nhi; ++k) {
            w[block_start + k - clo] = 0.5 * (lo + hi);
            iblock[block_start + k - clo] = hi - lo < tol ? b + 1 : -(b + 1);
          }
          break;
        }
        const double mid = 0.5 * (lo + hi);
        int c = sturm_count(first, last, d, e2, pivmin, mid);
        c = std::min(std::max(c, nlo), nhi);  // counts are monotone in exact arithmetic
        ++it;
        stack.halve(mid, c, lo, hi, nlo, nhi);
      }
    }
    first = last + 1;
  }

  // Index range: drop the eigenvalues that ties pulled in beyond il..iu, from both ends.
  if (irange == 3) {
    int idiscl = *il - 1 - nwl;
    int idiscu = nwu - *iu;
    while (idiscl > 0 || idiscu > 0) {
      int pick = -1;
      for (int j = 0; j < mm; ++j) {
        if (iblock[j] == 0) continue;
        if (pick < 0 || (idiscl > 0 ? w[j] < w[pick] : w[j] >= w[pick])) pick = j;
      }
      if (pick < 0) break;
      iblock[pick] = 0;
      if (idiscl > 0) {
        --idiscl;
      } else {
        --idiscu;
      }
    }
    int k = 0;
    for (int j = 0; j < mm; ++j) {
      if (iblock[j] != 0) {
        w[k] = w[j];
        iblock[k] = iblock[j];
        ++k;
      }
    }
    mm = k;
    if (idiscl < 0 || idiscu < 0) *info = 2;
    // Never more than were asked for, whatever the counts said (on non-finite data they mean
    // nothing): the caller's arrays hold iu - il + 1 values and vectors.
    if (mm > *iu - *il + 1) {
      mm = std::max(0, *iu - *il + 1);
      *info = 2;
    }
  }
  if (!by_block && nb > 1) {
    // Insertion sort keeps equal eigenvalues in block order.
    for (int j = 1; j < mm; ++j) {
      const double t = w[j];
      const int ib = iblock[j];
      int i = j - 1;
      while (i >= 0 && w[i] > t) {
        w[i + 1] = w[i];
        iblock[i + 1] = iblock[i];
        --i;
      }
      w[i + 1] = t;
      iblock[i + 1] = ib;
    }
  }
  *m = mm;
  if (unconverged) *info += 1;
}

}  // namespace ztr
