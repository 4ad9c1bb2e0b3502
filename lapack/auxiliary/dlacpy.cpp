#include "lapack/auxiliary/dlacpy.h"

#include <algorithm>
#include <cstddef>

#include "service/letters.h"

namespace ztr {

void dlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda,
            double* b, const int* ldb) {
  const bool upper = same_letter(*uplo, 'U'), lower = same_letter(*uplo, 'L');
  for (int j = 0; j < *n; ++j) {
    const int first = lower ? std::min(j, *m) : 0;
    const int last = upper ? std::min(j + 1, *m) : *m;
    const double* src = a + static_cast<std::ptrdiff_t>(j) * *lda;
    double* dst = b + static_cast<std::ptrdiff_t>(j) * *ldb;
    std::copy(src + first, src + last, dst + first);
  }
}

}  // namespace ztr
