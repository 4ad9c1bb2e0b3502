#include <cmath>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"

namespace ztr {
namespace {
// Off-diagonal row sums of the scaled matrix must stay below this.
constexpr double kRelCond = 0.999;
}  // namespace

void dlarrr(const int* n, const double* d, const double* e, int* info) {
  *info = 1;
  const int nn = *n;
  if (nn <= 0) {
    *info = 0;
    return;
  }
  const double rmin = std::sqrt(dlamch("S") / dlamch("P"));
  // A diagonal entry too small to scale by breaks the test: no relative accuracy then.
  double root = std::sqrt(std::fabs(d[0]));
  if (root < rmin) return;
  double prev = 0;
  for (int i = 1; i < nn; ++i) {
    const double next = std::sqrt(std::fabs(d[i]));
    if (next < rmin) return;
    const double scaled = std::fabs(e[i - 1]) / (root * next);
    if (prev + scaled >= kRelCond) return;
    root = next;
    prev = scaled;
  }
  *info = 0;
}

}  // namespace ztr
