#include <algorithm>
#include <cmath>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/sturm.h"

namespace ztr {
namespace {
constexpr double kPivminFudge = 2.0;  // absolute tolerance in units of pivmin
constexpr double kWiden = 2.0;        // the Gershgorin interval is widened by this margin
}  // namespace

void dlarrk(const int* n, const int* iw, const double* gl, const double* gu, const double* d,
            const double* e2, const double* pivmin, const double* reltol, double* w, double* werr,
            int* info) {
  const int nn = *n;
  if (nn <= 0) {
    *info = 0;
    return;
  }
  const double eps = dlamch("P");
  const double tnorm = std::max(std::fabs(*gl), std::fabs(*gu));
  const double atoli = kPivminFudge * 2 * *pivmin;
  const int itmax = bisection_steps(tnorm, *pivmin);
  double left = *gl - kWiden * tnorm * eps * nn - kWiden * 2 * *pivmin;
  double right = *gu + kWiden * tnorm * eps * nn + kWiden * 2 * *pivmin;
  *info = -1;
  for (int it = 0; it <= itmax; ++it) {
    const double width = std::fabs(right - left);
    const double scale = std::max(std::fabs(right), std::fabs(left));
    if (width < std::max({atoli, *pivmin, *reltol * scale})) {
      *info = 0;
      break;
    }
    const double mid = 0.5 * (left + right);
    if (sturm_count(0, nn - 1, d, e2, *pivmin, mid) >= *iw) {
      right = mid;
    } else {
      left = mid;
    }
  }
  *w = 0.5 * (left + right);
  *werr = 0.5 * std::fabs(right - left);
}

}  // namespace ztr
