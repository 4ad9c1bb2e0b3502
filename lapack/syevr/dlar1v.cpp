#include <algorithm>
#include <cmath>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"

namespace ztr {

void dlar1v(const int* n, const int* b1, const int* bn, const double* lambda, const double* d,
            const double* l, const double* ld, const double* lld, const double* pivmin,
            const double* gaptol, double* z, const int* /*wantnc*/, int* negcnt, double* ztz,
            double* mingma, int* r, int* isuppz, double* nrminv, double* resid, double* rqcorr,
            double* work) {
  const int nn = *n;
  const double lam = *lambda, pm = *pivmin;
  double* lplus = work;        // L+(i) = ld(i) / D+(i)
  double* uminus = work + nn;  // U-(i) = ld(i) / D-(i+1)
  double* s = work + 2 * nn;   // stationary auxiliaries, D+(i) = d(i) + s(i)
  double* p = work + 3 * nn;   // progressive auxiliaries, D-(i) = lld(i-1) + p(i)
  // With a twist index given (r > 0 on entry) only the rows each side needs are factored:
  // top down to it and bottom up to it.
  const int given = *r;
  const int top_end = given > 0 ? given - 1 : *bn - 1;     // s(0..top_end) needed
  const int bottom_end = given > 0 ? given - 1 : *b1 - 1;  // p(bottom_end..n-1) needed
  // Top down: L D L^T - lambda I = L+ D+ L+^T; bottom up: L D L^T - lambda I = U- D- U-^T.
  // Each recurrence is one chain of dependent divisions, so the two run interleaved to keep
  // the divider busy; every value is computed exactly as by the separate loops.
  // The running s and p stay in registers; the arrays only record them.
  double sc = -lam, pc = d[nn - 1] - lam;
  auto top_step = [&](int i) {
    double dplus = d[i] + sc;
    if (std::fabs(dplus) < pm) dplus = -pm;
    const double lp = ld[i] / dplus;
    lplus[i] = lp;
    sc = lp * l[i] * sc - lam;
    s[i + 1] = sc;
  };
  auto bottom_step = [&](int i) {
    double dminus = lld[i] + pc;
    if (std::fabs(dminus) < pm) dminus = -pm;
    const double t = d[i] / dminus;
    uminus[i] = l[i] * t;
    pc = pc * t - lam;
    p[i] = pc;
  };
  s[0] = sc;
  p[nn - 1] = pc;
  const int both = std::max(0, std::min(top_end, nn - 1 - bottom_end));
  for (int k = 0; k < both; ++k) {
    top_step(k);
    bottom_step(nn - 2 - k);
  }
  for (int i = both; i < top_end; ++i) top_step(i);
  for (int i = nn - 2 - both; i >= bottom_end; --i) bottom_step(i);
  // The twist: gamma(k) = s(k) + p(k) + lambda, smallest in magnitude over b1..bn.
  int twist = given > 0 ? given - 1 : *b1 - 1;
  double gmin = s[twist] + p[twist] + lam;
  for (int k = twist + 1; given == 0 && k < *bn; ++k) {
    const double g = s[k] + p[k] + lam;
    if (!(std::fabs(g) >= std::fabs(gmin))) {
      gmin = g;
      twist = k;
    }
  }
  if (gmin == 0.0) gmin = dlamch("P") * std::max(std::fabs(lam), pm);
  *negcnt = -1;
  // The vector with z(r) = 1: upwards with -L+, downwards with -U-; a tail whose entries
  // fall below gaptol (relative to the coupling) is cut off and reported by isuppz.
  z[twist] = 1.0;
  double sum = 1.0;
  isuppz[0] = 1;
  isuppz[1] = nn;
  for (int i = twist - 1; i >= 0; --i) {
    z[i] = -lplus[i] * z[i + 1];
    if ((std::fabs(z[i]) + std::fabs(z[i + 1])) * std::fabs(ld[i]) < *gaptol) {
      z[i] = 0.0;
      isuppz[0] = i + 2;
      for (int k = i - 1; k >= 0; --k) z[k] = 0.0;
      break;
    }
    sum += z[i] * z[i];
  }
  for (int i = twist; i + 1 < nn; ++i) {
    z[i + 1] = -uminus[i] * z[i];
    if ((std::fabs(z[i]) + std::fabs(z[i + 1])) * std::fabs(ld[i]) < *gaptol) {
      z[i + 1] = 0.0;
      isuppz[1] = i + 1;
      for (int k = i + 2; k < nn; ++k) z[k] = 0.0;
      break;
    }
    sum += z[i + 1] * z[i + 1];
  }
  *r = twist + 1;
  *ztz = sum;
  *mingma = gmin;
  *nrminv = 1.0 / std::sqrt(sum);
  *resid = std::fabs(gmin) * *nrminv;
  *rqcorr = gmin / sum;
}

}  // namespace ztr
