#include "lapack/syevr/mrrr.h"
#include "lapack/syevr/sturm.h"
#include "service/letters.h"

namespace ztr {

void dlarrc(const char* jobt, const int* n, const double* vl, const double* vu, const double* d,
            const double* e, const double* pivmin, int* eigcnt, int* lcnt, int* rcnt, int* info) {
  *info = 0;
  *lcnt = *rcnt = *eigcnt = 0;
  const int nn = *n;
  if (nn <= 0) return;
  const double pm = *pivmin;
  if (same_letter(*jobt, 'T')) {
    // Sturm counts of T with the squared off-diagonals formed on the fly.
    auto count = [&](double x) {
      double t = d[0] - x;
      if (std::fabs(t) < pm) t = -pm;
      int c = t <= 0 ? 1 : 0;
      for (int j = 1; j < nn; ++j) {
        t = d[j] - e[j - 1] * e[j - 1] / t - x;
        if (std::fabs(t) < pm) t = -pm;
        if (t <= 0) ++c;
      }
      return c;
    };
    *lcnt = count(*vl);
    *rcnt = count(*vu);
  } else {
    // L D L^T - x I by the stationary qd transform.
    auto count = [&](double x) {
      int c = 0;
      double s = -x;
      for (int j = 0; j < nn; ++j) {
        double dplus = d[j] + s;
        if (std::fabs(dplus) < pm) dplus = -pm;
        if (dplus <= 0) ++c;
        if (j + 1 < nn) s = e[j] * e[j] * d[j] * s / dplus - x;
      }
      return c;
    };
    *lcnt = count(*vl);
    *rcnt = count(*vu);
  }
  *eigcnt = *rcnt - *lcnt;
}

}  // namespace ztr
