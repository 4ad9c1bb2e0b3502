#include "lapack/auxiliary/dlansy.h"

#include <cmath>
#include <cstddef>

#include "lapack/auxiliary/norm_accumulate.h"
#include "service/letters.h"

namespace ztr {

double dlansy(const char* norm, const char* uplo, const int* n, const double* a, const int* lda,
              double* work) {
  const int nn = *n;
  if (nn <= 0) return 0.0;
  const bool upper = same_letter(*uplo, 'U');
  const std::ptrdiff_t ld = *lda;
  // Rows first..last-1 of column j that lie in the stored triangle.
  auto first = [&](int j) { return upper ? 0 : j; };
  auto last = [&](int j) { return upper ? j + 1 : nn; };
  double value = 0.0;
  if (same_letter(*norm, 'M')) {
    for (int j = 0; j < nn; ++j)
      for (int i = first(j); i < last(j); ++i) value = nan_max(value, std::fabs(a[i + j * ld]));
  } else if (*norm == '1' || same_letter(*norm, 'O') || same_letter(*norm, 'I')) {
    // Each stored off-diagonal entry counts for its column and, mirrored, for its row.
    for (int i = 0; i < nn; ++i) work[i] = 0.0;
    for (int j = 0; j < nn; ++j) {
      for (int i = first(j); i < last(j); ++i) {
        const double x = std::fabs(a[i + j * ld]);
        work[j] += x;
        if (i != j) work[i] += x;
      }
    }
    for (int i = 0; i < nn; ++i) value = nan_max(value, work[i]);
  } else if (same_letter(*norm, 'F') || same_letter(*norm, 'E')) {
    double scale = 0.0, sumsq = 1.0;
    for (int j = 0; j < nn; ++j)
      for (int i = first(j); i < last(j); ++i)
        if (i != j) add_square(a[i + j * ld], &scale, &sumsq);
    sumsq *= 2.0;
    for (int j = 0; j < nn; ++j) add_square(a[j + j * ld], &scale, &sumsq);
    value = scale * std::sqrt(sumsq);
  }
  return value;
}

}  // namespace ztr
