#include <algorithm>
#include <cmath>

#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/sturm.h"

namespace ztr {
namespace {
constexpr int kMaxWidenings = 64;
constexpr int kMaxBisections = 200;
}  // namespace

void dlarrj(const int* n, const double* d, const double* e2, const int* ifirst, const int* ilast,
            const double* rtol, const int* offset, double* w, double* werr, double* /*work*/,
            int* /*iwork*/, const double* pivmin, const double* /*spdiam*/, int* info) {
  *info = 0;
  const int nn = *n;
  if (nn <= 0) return;
  auto count = [&](double x) { return sturm_count(0, nn - 1, d, e2, *pivmin, x); };
  for (int i = *ifirst; i <= *ilast; ++i) {
    const int ii = i - *offset - 1;
    double left = w[ii] - werr[ii], right = w[ii] + werr[ii];
    double step = std::max({werr[ii], 2 * *pivmin, std::fabs(w[ii]) * *rtol});
    for (int k = 0; k < kMaxWidenings && count(left) > i - 1; ++k) {
      left -= step;
      step *= 2;
    }
    step = std::max({werr[ii], 2 * *pivmin, std::fabs(w[ii]) * *rtol});
    for (int k = 0; k < kMaxWidenings && count(right) < i; ++k) {
      right += step;
      step *= 2;
    }
    for (int it = 0; it < kMaxBisections; ++it) {
      const double tmp = std::max(std::fabs(left), std::fabs(right));
      if (right - left < *rtol * tmp || right - left <= 2 * *pivmin) break;
      const double mid = 0.5 * (left + right);
      if (mid <= left || mid >= right) break;
      if (count(mid) >= i) {
        right = mid;
      } else {
        left = mid;
      }
    }
    w[ii] = 0.5 * (left + right);
    werr[ii] = 0.5 * (right - left);
  }
}

}  // namespace ztr
