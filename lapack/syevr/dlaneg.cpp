#include <cmath>

#include "lapack/syevr/mrrr.h"

namespace ztr {

int dlaneg(const int* n, const double* d, const double* lld, const double* sigma,
           const double* pivmin, const int* r) {
  const int nn = *n, twist = *r - 1;
  const double sg = *sigma, pm = *pivmin;
  int count = 0;
  // Top down to the twist: D+(i) = d(i) + s(i), s(i+1) = lld(i) s(i) / D+(i) - sigma.
  double s = -sg;
  for (int i = 0; i < twist; ++i) {
    double dplus = d[i] + s;
    if (std::fabs(dplus) < pm) dplus = -pm;
    if (dplus < 0) ++count;
    s = lld[i] * s / dplus - sg;
  }
  // Bottom up to the twist: D-(i+1) = lld(i) + p(i+1), p(i) = d(i) p(i+1) / D-(i+1) - sigma.
  double p = d[nn - 1] - sg;
  for (int i = nn - 2; i >= twist; --i) {
    double dminus = lld[i] + p;
    if (std::fabs(dminus) < pm) dminus = -pm;
    if (dminus < 0) ++count;
    p = d[i] * p / dminus - sg;
  }
  // The twist element gamma(r) = s(r) + p(r) + sigma.
  double gamma = s + p + sg;
  if (std::fabs(gamma) < pm) gamma = -pm;
  if (gamma < 0) ++count;
  return count;
}

}  // namespace ztr
