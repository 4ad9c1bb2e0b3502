#include <algorithm>
#include <cstddef>

#include "blas/level3/level3.h"
#include "lapack/getri/getri.h"
#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/threads.h"
#include "service/letters.h"

namespace ztr {

void dtrtri(const char* uplo, const char* diag, const int* n, double* a, const int* lda,
            int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const bool unit = same_letter(*diag, 'U');
  if (!trtri_arguments_ok("DTRTRI", uplo, diag, n, lda, info)) return;
  const int nn = *n, ld = *lda;
  if (nn == 0) return;
  auto at = [&](int i, int j) { return a + i + static_cast<std::ptrdiff_t>(j) * ld; };
  // A singular matrix is reported before anything is written.
  if (!unit) {
    for (int i = 0; i < nn; ++i) {
      if (*at(i, i) == 0.0) {
        *info = i + 1;
        return;
      }
    }
  }
  const char opts[3] = {upper ? 'U' : 'L', unit ? 'U' : 'N', '\0'};
  const int nb = getri_block_size(1, "DTRTRI", opts, nn, domain_max_threads(kDomainAll), -1, -1);
  if (nb < 2 || nb >= nn) {
    dtrti2(uplo, diag, n, a, lda, info);
    return;
  }
  const double one = 1.0, minus_one = -1.0;
  const char* dg = unit ? "U" : "N";
  int iinfo = 0;
  if (upper) {
    // Columns j.. of the inverse: the inverted leading block times them, then the solve with
    // their own diagonal block, then that block's inverse.
    for (int j = 0; j < nn; j += nb) {
      const int jb = std::min(nb, nn - j);
      ztr_blas_dtrmm("L", "U", "N", dg, &j, &jb, &one, a, lda, at(0, j), lda);
      ztr_blas_dtrsm("R", "U", "N", dg, &j, &jb, &minus_one, at(j, j), lda, at(0, j), lda);
      dtrti2("U", dg, &jb, at(j, j), lda, &iinfo);
    }
  } else {
    for (int j = (nn - 1) / nb * nb; j >= 0; j -= nb) {
      const int jb = std::min(nb, nn - j);
      const int below = nn - j - jb;
      if (below > 0) {
        ztr_blas_dtrmm("L", "L", "N", dg, &below, &jb, &one, at(j + jb, j + jb), lda, at(j + jb, j),
                       lda);
        ztr_blas_dtrsm("R", "L", "N", dg, &below, &jb, &minus_one, at(j, j), lda, at(j + jb, j),
                       lda);
      }
      dtrti2("L", dg, &jb, at(j, j), lda, &iinfo);
    }
  }
}

}  // namespace ztr
