#include "lapack/auxiliary/dlartg.h"

#include <algorithm>
#include <cmath>

#include "lapack/dlamch.h"

namespace ztr {

void dlartg(double f, double g, double* c, double* s, double* r) {
  if (g == 0.0) {
    *c = 1.0;
    *s = 0.0;
    *r = f;
    return;
  }
  if (f == 0.0) {
    *c = 0.0;
    *s = std::copysign(1.0, g);
    *r = std::fabs(g);
    return;
  }
  const double safmin = dlamch("S");
  const double safmax = 1.0 / safmin;
  // Squares of values in [rtmin, rtmax] neither overflow nor lose accuracy to underflow.
  const double rtmin = std::sqrt(safmin), rtmax = std::sqrt(safmax / 2);
  const double f1 = std::fabs(f), g1 = std::fabs(g);
  if (f1 > rtmin && f1 < rtmax && g1 > rtmin && g1 < rtmax) {
    const double d = std::sqrt(f * f + g * g);
    *c = f1 / d;
    *r = std::copysign(d, f);
    *s = g / *r;
    return;
  }
  const double u = std::min(safmax, std::max(safmin, std::max(f1, g1)));
  const double fs = f / u, gs = g / u;
  const double d = std::sqrt(fs * fs + gs * gs);
  *c = std::fabs(fs) / d;
  const double rs = std::copysign(d, f);
  *s = gs / rs;
  *r = rs * u;
}

}  // namespace ztr
