#include "lapack/auxiliary/dlapy2.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ztr {

double dlapy2(double x, double y) {
  if (std::isnan(x)) return x;
  if (std::isnan(y)) return y;
  const double xa = std::fabs(x), ya = std::fabs(y);
  const double w = std::max(xa, ya), z = std::min(xa, ya);
  if (z == 0.0 || w > std::numeric_limits<double>::max()) return w;
  return w * std::sqrt(1.0 + (z / w) * (z / w));
}

}  // namespace ztr
