#include <algorithm>
#include <cmath>

#include "lapack/syevr/mrrr.h"

namespace ztr {
namespace {
constexpr int kMaxWidenings = 64;  // a bracket doubles at most this often
constexpr int kMaxBisections = 200;
// Eigenvalues bisected side by side: each Sturm count is a chain of dependent divisions, and
// counting at several shifts in one sweep keeps the divider busy.
constexpr int kLanes = 4;

// dlaneg at kLanes shifts x in one sweep; each count is the one dlaneg gives for its shift.
void negcounts(int nn, const double* d, const double* lld, const double* x, double pm, int twist,
               int* count) {
  double s[kLanes], p[kLanes];
  int c[kLanes];
  for (int k = 0; k < kLanes; ++k) {
    s[k] = -x[k];
    p[k] = d[nn - 1] - x[k];
    c[k] = 0;
  }
  for (int i = 0; i < twist; ++i) {
    for (int k = 0; k < kLanes; ++k) {
      double dplus = d[i] + s[k];
      if (std::fabs(dplus) < pm) dplus = -pm;
      c[k] += dplus < 0 ? 1 : 0;
      s[k] = lld[i] * s[k] / dplus - x[k];
    }
  }
  for (int i = nn - 2; i >= twist; --i) {
    for (int k = 0; k < kLanes; ++k) {
      double dminus = lld[i] + p[k];
      if (std::fabs(dminus) < pm) dminus = -pm;
      c[k] += dminus < 0 ? 1 : 0;
      p[k] = d[i] * p[k] / dminus - x[k];
    }
  }
  for (int k = 0; k < kLanes; ++k) {
    double gamma = s[k] + p[k] + x[k];
    if (std::fabs(gamma) < pm) gamma = -pm;
    count[k] = c[k] + (gamma < 0 ? 1 : 0);
  }
}

// One eigenvalue's bracket during the bisection.
struct Bracket {
  int i;  // its index
  double left, right, gap;
  int steps;
  bool active;
};

}  // namespace

void dlarrb(const int* n, const double* d, const double* lld, const int* ifirst, const int* ilast,
            const double* rtol1, const double* rtol2, const int* offset, double* w, double* wgap,
            double* werr, double* /*work*/, int* /*iwork*/, const double* pivmin,
            const double* spdiam, const int* twist, int* info) {
  *info = 0;
  const int nn = *n;
  if (nn <= 0) return;
  const int r = (*twist < 1 || *twist > nn) ? nn : *twist;
  const double pm = *pivmin, mnwdth = 2 * pm;
  auto count = [&](double x) { return dlaneg(n, d, lld, &x, pivmin, &r); };
  // Counts at up to kLanes shifts; unused lanes repeat the first shift.
  auto counts = [&](const double* x, int used, int* c) {
    if (used == 1) {
      c[0] = count(x[0]);
      return;
    }
    double xs[kLanes];
    for (int k = 0; k < kLanes; ++k) xs[k] = x[k < used ? k : 0];
    negcounts(nn, d, lld, xs, pm, r - 1, c);
  };
  const int first = *ifirst - *offset - 1, last = *ilast - *offset - 1;
  for (int i0 = *ifirst; i0 <= *ilast; i0 += kLanes) {
    const int lanes = std::min(kLanes, *ilast - i0 + 1);
    Bracket b[kLanes];
    double x[kLanes];
    int c[kLanes];
    // Widen each bracket until it holds its eigenvalue: at most i-1 below left, at least i
    // below right.  Both ends of two brackets are counted in one sweep.
    for (int k = 0; k < lanes; ++k) {
      const int i = i0 + k, ii = i - *offset - 1;
      b[k] = {i, w[ii] - werr[ii], w[ii] + werr[ii], 0.0, 0, true};
    }
    for (int k0 = 0; k0 < lanes; k0 += kLanes / 2) {
      const int pair = std::min(kLanes / 2, lanes - k0);
      for (int k = 0; k < pair; ++k) {
        x[2 * k] = b[k0 + k].left;
        x[2 * k + 1] = b[k0 + k].right;
      }
      counts(x, 2 * pair, c);
      for (int k = 0; k < pair; ++k) {
        Bracket& bk = b[k0 + k];
        const int ii = bk.i - *offset - 1;
        int cl = c[2 * k], cr = c[2 * k + 1];
        const double step0 = std::max({werr[ii], mnwdth, std::fabs(w[ii]) * *rtol2});
        double step = step0;
        for (int j = 0; j < kMaxWidenings && cl > bk.i - 1; ++j) {
          bk.left -= step;
          step *= 2;
          if (j + 1 < kMaxWidenings) cl = count(bk.left);
        }
        step = step0;
        for (int j = 0; j < kMaxWidenings && cr < bk.i; ++j) {
          bk.right += step;
          step *= 2;
          if (j + 1 < kMaxWidenings) cr = count(bk.right);
        }
        const double rgap = wgap[ii];
        const double lgap = ii > first ? wgap[ii - 1] : rgap;
        bk.gap = std::min(lgap, rgap);
      }
    }
    // Bisect the brackets side by side until each is narrow enough.
    for (;;) {
      int idx[kLanes], used = 0;
      for (int k = 0; k < lanes; ++k) {
        Bracket& bk = b[k];
        if (!bk.active) continue;
        const double width = bk.right - bk.left;
        const double tmp = std::max(std::fabs(bk.left), std::fabs(bk.right));
        const double mid = 0.5 * (bk.left + bk.right);
        if (bk.steps >= kMaxBisections || width <= std::max(*rtol1 * bk.gap, *rtol2 * tmp) ||
            width <= mnwdth || mid <= bk.left || mid >= bk.right) {
          bk.active = false;
          continue;
        }
        x[used] = mid;
        idx[used++] = k;
      }
      if (used == 0) break;
      counts(x, used, c);
      for (int u = 0; u < used; ++u) {
        Bracket& bk = b[idx[u]];
        ++bk.steps;
        if (c[u] >= bk.i) {
          bk.right = x[u];
        } else {
          bk.left = x[u];
        }
      }
    }
    for (int k = 0; k < lanes; ++k) {
      const int ii = b[k].i - *offset - 1;
      if (!(b[k].right - b[k].left <= *spdiam + mnwdth + std::fabs(w[ii]))) *info = 1;
      w[ii] = 0.5 * (b[k].left + b[k].right);
      werr[ii] = 0.5 * (b[k].right - b[k].left);
    }
  }
  for (int ii = first; ii < last; ++ii)
    wgap[ii] = std::max(0.0, (w[ii + 1] - werr[ii + 1]) - (w[ii] + werr[ii]));
}

}  // namespace ztr
