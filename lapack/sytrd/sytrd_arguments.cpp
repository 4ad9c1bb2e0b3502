#include "lapack/sytrd/sytrd_arguments.h"

#include <algorithm>

#include "service/error.h"
#include "service/letters.h"

namespace ztr {

bool sytrd_arguments_ok(const char* uplo, const int* n, const int* lda, const int* lwork,
                        int* info) {
  int bad = 0;
  if (!same_letter(*uplo, 'U') && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (*n < 0) {
    bad = 2;
  } else if (*lda < std::max(1, *n)) {
    bad = 4;
  } else if (*lwork < 1 && *lwork != -1) {
    bad = 9;
  }
  *info = -bad;
  if (bad != 0) xerbla_dispatch("DSYTRD", &bad, 6);
  return bad == 0;
}

}  // namespace ztr
