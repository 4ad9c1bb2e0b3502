#include <cmath>

#include "lapack/syevr/mrrr.h"

namespace ztr {

void dlarra(const int* n, const double* d, double* e, double* e2, const double* spltol,
            const double* tnrm, int* nsplit, int* isplit, int* info) {
  *info = 0;
  const int nn = *n;
  *nsplit = 1;
  if (nn <= 0) return;
  int ns = 0;
  for (int i = 0; i + 1 < nn; ++i) {
    const double limit =
        *spltol < 0 ? std::fabs(*spltol) * *tnrm
                    : *spltol * std::sqrt(std::fabs(d[i])) * std::sqrt(std::fabs(d[i + 1]));
    if (std::fabs(e[i]) <= limit) {
      e[i] = 0.0;
      e2[i] = 0.0;
      isplit[ns++] = i + 1;
    }
  }
  isplit[ns++] = nn;
  *nsplit = ns;
}

}  // namespace ztr
