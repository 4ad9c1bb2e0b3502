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
  // Top down: L D L^T - lambda I = L+ D+ L+^T.
  s[0] = -lam;
  for (int i = 0; i < top_end; ++i) {
    double dplus = d[i] + s[i];
    if (std::fabs(dplus) < pm) dplus = -pm;
    lplus[i] = ld[i] / dplus;
    s[i + 1] = lplus[i] * l[i] * s[i] - lam;
  }
  // Bottom up: L D L^T - lambda I = U- D- U-^T.
  p[nn - 1] = d[nn - 1] - lam;
  for (int i = nn - 2; i >= bottom_end; --i) {
    double dminus = lld[i] + p[i + 1];
    if (std::fabs(dminus) < pm) dminus = -pm;
    const double t = d[i] / dminus;
    uminus[i] = l[i] * t;
    p[i] = p[i + 1] * t - lam;
  }
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
