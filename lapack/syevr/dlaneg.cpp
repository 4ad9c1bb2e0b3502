#include <algorithm>
#include <cmath>

#include "lapack/syevr/mrrr.h"

namespace ztr {

int dlaneg(const int* n, const double* d, const double* lld, const double* sigma,
           const double* pivmin, const int* r) {
  const int nn = *n, twist = *r - 1;
  const double sg = *sigma, pm = *pivmin;
  int count = 0;
  // Top down to the twist: D+(i) = d(i) + s(i), s(i+1) = lld(i) s(i) / D+(i) - sigma.
  // Bottom up to the twist: D-(i+1) = lld(i) + p(i+1), p(i) = d(i) p(i+1) / D-(i+1) - sigma.
  // The two are independent chains of divisions and run interleaved while both have rows.
  double s = -sg, p = d[nn - 1] - sg;
  auto top_step = [&](int i) {
    double dplus = d[i] + s;
    if (std::fabs(dplus) < pm) dplus = -pm;
    if (dplus < 0) ++count;
    s = lld[i] * s / dplus - sg;
  };
  auto bottom_step = [&](int i) {
    double dminus = lld[i] + p;
    if (std::fabs(dminus) < pm) dminus = -pm;
    if (dminus < 0) ++count;
    p = d[i] * p / dminus - sg;
  };
  const int both = std::max(0, std::min(twist, nn - 1 - twist));
  for (int k = 0; k < both; ++k) {
    top_step(k);
    bottom_step(nn - 2 - k);
  }
  for (int i = both; i < twist; ++i) top_step(i);
  for (int i = nn - 2 - both; i >= twist; --i) bottom_step(i);
  // The twist element gamma(r) = s(r) + p(r) + sigma.
  double gamma = s + p + sg;
  if (std::fabs(gamma) < pm) gamma = -pm;
  if (gamma < 0) ++count;
  return count;
}

}  // namespace ztr
