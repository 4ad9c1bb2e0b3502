#include <algorithm>
#include <cmath>

#include "lapack/syevr/mrrr.h"

namespace ztr {
namespace {
constexpr int kMaxWidenings = 64;  // a bracket doubles at most this often
constexpr int kMaxBisections = 200;
}  // namespace

void dlarrb(const int* n, const double* d, const double* lld, const int* ifirst, const int* ilast,
            const double* rtol1, const double* rtol2, const int* offset, double* w, double* wgap,
            double* werr, double* /*work*/, int* /*iwork*/, const double* pivmin,
            const double* spdiam, const int* twist, int* info) {
  *info = 0;
  const int nn = *n;
  if (nn <= 0) return;
  const int r = (*twist < 1 || *twist > nn) ? nn : *twist;
  const double mnwdth = 2 * *pivmin;
  auto count = [&](double x) { return dlaneg(n, d, lld, &x, pivmin, &r); };
  const int first = *ifirst - *offset - 1, last = *ilast - *offset - 1;
  for (int i = *ifirst; i <= *ilast; ++i) {
    const int ii = i - *offset - 1;
    double left = w[ii] - werr[ii], right = w[ii] + werr[ii];
    // Widen the bracket until it holds eigenvalue i: at most i-1 below left, at least i
    // below right.
    double step = std::max({werr[ii], mnwdth, std::fabs(w[ii]) * *rtol2});
    for (int k = 0; k < kMaxWidenings && count(left) > i - 1; ++k) {
      left -= step;
      step *= 2;
    }
    step = std::max({werr[ii], mnwdth, std::fabs(w[ii]) * *rtol2});
    for (int k = 0; k < kMaxWidenings && count(right) < i; ++k) {
      right += step;
      step *= 2;
    }
    const double rgap = wgap[ii];
    const double lgap = ii > first ? wgap[ii - 1] : rgap;
    const double gap = std::min(lgap, rgap);
    for (int it = 0; it < kMaxBisections; ++it) {
      const double width = right - left;
      const double tmp = std::max(std::fabs(left), std::fabs(right));
      if (width <= std::max(*rtol1 * gap, *rtol2 * tmp) || width <= mnwdth) break;
      const double mid = 0.5 * (left + right);
      if (mid <= left || mid >= right) break;
      if (count(mid) >= i) {
        right = mid;
      } else {
        left = mid;
      }
    }
    if (!(right - left <= *spdiam + mnwdth + std::fabs(w[ii]))) *info = 1;
    w[ii] = 0.5 * (left + right);
    werr[ii] = 0.5 * (right - left);
  }
  for (int ii = first; ii < last; ++ii)
    wgap[ii] = std::max(0.0, (w[ii + 1] - werr[ii + 1]) - (w[ii] + werr[ii]));
}

}  // namespace ztr
