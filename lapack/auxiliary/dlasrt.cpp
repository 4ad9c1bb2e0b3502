#include "lapack/auxiliary/dlasrt.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void dlasrt(const char* id, const int* n, double* d, int* info) {
  const bool increasing = same_letter(*id, 'I');
  int bad = 0;
  if (!increasing && !same_letter(*id, 'D')) {
    bad = 1;
  } else if (*n < 0) {
    bad = 2;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DLASRT", &bad, 6);
    return;
  }
  // The comparison sorts need a strict weak order, which NaNs would break.
  double* const end = std::partition(d, d + *n, [](double x) { return !std::isnan(x); });
  if (increasing) {
    std::sort(d, end);
  } else {
    std::sort(d, end, std::greater<double>());
  }
}

}  // namespace ztr
