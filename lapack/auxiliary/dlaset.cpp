#include "lapack/auxiliary/dlaset.h"

#include <algorithm>
#include <cstddef>

#include "service/letters.h"

namespace ztr {

void dlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta,
            double* a, const int* lda) {
  const bool upper = same_letter(*uplo, 'U'), lower = same_letter(*uplo, 'L');
  for (int j = 0; j < *n; ++j) {
    double* col = a + static_cast<std::ptrdiff_t>(j) * *lda;
    const int above = std::min(j, *m);
    if (!lower) std::fill(col, col + above, *alpha);
    if (!upper && j + 1 < *m) std::fill(col + j + 1, col + *m, *alpha);
    if (j < *m) col[j] = *beta;
  }
}

}  // namespace ztr
