#include <algorithm>

#include "blas/level3/level3.h"
#include "lapack/potrf/potrf.h"
#include "lapack/sygv/sygst.h"
#include "lapack/sygv/sygv.h"
#include "service/letters.h"

namespace ztr {

int sygv_detail::check(const int* itype, const char* jobz, const char* uplo, const int* n,
                       const int* lda, const int* ldb) {
  if (*itype < 1 || *itype > 3) return -1;
  if (!same_letter(*jobz, 'V') && !same_letter(*jobz, 'N')) return -2;
  if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) return -3;
  if (*n < 0) return -4;
  if (*lda < std::max(1, *n)) return -6;
  if (*ldb < std::max(1, *n)) return -8;
  return 0;
}

// itypes 1 and 2: x = inv(L')*y or inv(U)*y; itype 3: x = L*y or U'*y.
bool sygv_detail::reduce_to_standard(int itype, char uplo, int n, double* a, int lda, double* b,
                                     int ldb, int* info) {
  ztr_lapack_dpotrf(uplo, n, b, ldb, info);
  if (*info != 0) {
    *info += n;
    return false;
  }
  ztr_lapack_dsygst(itype, uplo, n, a, lda, b, ldb);
  return true;
}

void sygv_detail::back_transform(int itype, char uplo, int n, int count, double* a, int lda,
                                 const double* b, int ldb) {
  if (n <= 0 || count <= 0) return;
  const bool upper = same_letter(uplo, 'U');
  const char* ul = upper ? "U" : "L";
  const double one = 1.0;
  if (itype == 3)
    ztr_blas_dtrmm("L", ul, upper ? "T" : "N", "N", &n, &count, &one, b, &ldb, a, &lda);
  else
    ztr_blas_dtrsm("L", ul, upper ? "N" : "T", "N", &n, &count, &one, b, &ldb, a, &lda);
}

}  // namespace ztr
