#include <algorithm>
#include <cmath>
#include <limits>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"

namespace ztr {
namespace {
// A child representation is accepted when no pivot exceeds this multiple of the spectral
// diameter (element growth is what destroys relative robustness).
constexpr double kMaxGrowth = 8.0;
// Larger growth is still taken when nothing better is found.
constexpr double kLastResortGrowth = 64.0;
// Shifts start just outside the cluster and move out at most this fraction of the gap to
// the neighbouring eigenvalue, in kRetries doublings.
constexpr double kGapFraction = 0.25;
constexpr int kRetries = 6;
constexpr double kOutsideUlps = 4.0;

// D+ and L+ of L D L^T - sigma*I by the differential stationary qd transform; returns the
// largest |D+|, or infinity when a pivot is not finite.
double shifted_factor(int n, const double* d, const double* l, const double* ld, double sigma,
                      double pivmin, double* dplus, double* lplus) {
  double s = -sigma, growth = 0;
  for (int i = 0; i < n; ++i) {
    double dp = d[i] + s;
    if (std::fabs(dp) < pivmin) dp = -pivmin;
    dplus[i] = dp;
    growth = std::max(growth, std::fabs(dp));
    if (!std::isfinite(dp)) return std::numeric_limits<double>::infinity();
    if (i + 1 < n) {
      lplus[i] = ld[i] / dp;
      s = lplus[i] * l[i] * s - sigma;
    }
  }
  return growth;
}

}  // namespace

void dlarrf(const int* n, const double* d, const double* l, const double* ld, const int* clstrt,
            const int* clend, const double* w, const double* /*wgap*/, const double* werr,
            const double* spdiam, const double* clgapl, const double* clgapr, const double* pivmin,
            double* sigma, double* dplus, double* lplus, double* work, int* info) {
  *info = 0;
  const int nn = *n;
  const double eps = dlamch("P");
  const int a = *clstrt - 1, b = *clend - 1;
  const double left0 = w[a] - werr[a], right0 = w[b] + werr[b];
  const double lmax = kGapFraction * std::max(*clgapl, 0.0);
  const double rmax = kGapFraction * std::max(*clgapr, 0.0);
  const double bound = kMaxGrowth * *spdiam;
  double* trial_d = work;
  double* trial_l = work + nn;
  double* lld = work + 2 * nn;
  double* zend[2] = {work + 3 * nn, work + 4 * nn};
  double* scratch = work + 5 * nn;  // 4n for dlar1v
  bool have_vectors = false;
  double best = std::numeric_limits<double>::infinity();
  double ldelta = kOutsideUlps * eps * std::fabs(left0) + 2 * *pivmin;
  double rdelta = kOutsideUlps * eps * std::fabs(right0) + 2 * *pivmin;
  for (int attempt = 0; attempt <= kRetries; ++attempt) {
    const double candidates[2] = {left0 - ldelta, right0 + rdelta};
    for (int side = 0; side < 2; ++side) {
      const double s = candidates[side];
      double g = shifted_factor(nn, d, l, ld, s, *pivmin, trial_d, trial_l);
      if (g > bound && std::isfinite(g)) {
        // Growth where the cluster's eigenvectors are negligible does no harm: weigh the
        // pivots by the envelope of the vector at this end of the cluster (it is the same
        // vector for the child, whose eigenvalues are shifted by s).
        if (!have_vectors) {
          for (int i = 0; i + 1 < nn; ++i) lld[i] = ld[i] * l[i];
          for (int e2 = 0; e2 < 2; ++e2) {
            const double lambda = e2 == 0 ? w[a] : w[b];
            const double gaptol = 0.0;
            const int one = 1, wantnc = 0;
            int negcnt = 0, r = 0, supp[2];  // r = 0: choose the twist
            double ztz, mingma, nrminv, resid, rqcorr;
            dlar1v(n, &one, n, &lambda, d, l, ld, lld, pivmin, &gaptol, zend[e2], &wantnc, &negcnt,
                   &ztz, &mingma, &r, supp, &nrminv, &resid, &rqcorr, scratch);
            for (int i = 0; i < nn; ++i) zend[e2][i] *= nrminv;
          }
          have_vectors = true;
        }
        const double* z = zend[side];
        double weighted = 0;
        for (int i = 0; i < nn; ++i) {
          const double y = z[i] + (i + 1 < nn ? trial_l[i] * z[i + 1] : 0.0);
          weighted += std::fabs(trial_d[i]) * y * y;
        }
        if (weighted <= bound) g = std::min(g, bound);
      }
      if (g < best) {
        best = g;
        *sigma = s;
        std::copy(trial_d, trial_d + nn, dplus);
        std::copy(trial_l, trial_l + nn - 1, lplus);
      }
    }
    if (best <= bound) return;
    ldelta = std::min(2 * ldelta, std::max(lmax, ldelta));
    rdelta = std::min(2 * rdelta, std::max(rmax, rdelta));
  }
  if (!(best <= kLastResortGrowth * bound)) *info = 1;
}

}  // namespace ztr
