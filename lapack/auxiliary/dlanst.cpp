#include "lapack/auxiliary/dlanst.h"

#include <cmath>

#include "lapack/auxiliary/norm_accumulate.h"
#include "service/letters.h"

namespace ztr {

double dlanst(const char* norm, const int* n, const double* d, const double* e) {
  const int nn = *n;
  if (nn <= 0) return 0.0;
  double value = 0.0;
  if (same_letter(*norm, 'M')) {
    value = std::fabs(d[nn - 1]);
    for (int i = 0; i < nn - 1; ++i) {
      value = nan_max(value, std::fabs(d[i]));
      value = nan_max(value, std::fabs(e[i]));
    }
  } else if (*norm == '1' || same_letter(*norm, 'O') || same_letter(*norm, 'I')) {
    if (nn == 1) return std::fabs(d[0]);
    value = nan_max(std::fabs(d[0]) + std::fabs(e[0]), std::fabs(e[nn - 2]) + std::fabs(d[nn - 1]));
    for (int i = 1; i < nn - 1; ++i)
      value = nan_max(value, std::fabs(d[i]) + std::fabs(e[i]) + std::fabs(e[i - 1]));
  } else if (same_letter(*norm, 'F') || same_letter(*norm, 'E')) {
    double scale = 0.0, sumsq = 1.0;
    for (int i = 0; i < nn - 1; ++i) add_square(e[i], &scale, &sumsq);
    sumsq *= 2.0;
    for (int i = 0; i < nn; ++i) add_square(d[i], &scale, &sumsq);
    value = scale * std::sqrt(sumsq);
  }
  return value;
}

}  // namespace ztr
