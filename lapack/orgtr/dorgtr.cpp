#include <algorithm>
#include <cstddef>

#include "lapack/householder/householder.h"
#include "lapack/ilaenv.h"
#include "lapack/orgtr/orgtr.h"
#include "service/error.h"
#include "service/letters.h"

namespace ztr {

void dorgtr(const char* uplo, const int* n, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const int nn = *n;
  const bool lquery = *lwork == -1;
  int bad = 0;
  if (!upper && !same_letter(*uplo, 'L')) {
    bad = 1;
  } else if (nn < 0) {
    bad = 2;
  } else if (*lda < std::max(1, nn)) {
    bad = 4;
  } else if (*lwork < std::max(1, nn - 1) && !lquery) {
    bad = 7;
  }
  if (bad == 0) {
    const int order = nn - 1;
    const int nb = ilaenv(1, upper ? "DORGQL" : "DORGQR", " ", order, order, order, -1);
    work[0] = static_cast<double>(std::max(1, order)) * nb;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DORGTR", &bad, 6);
    return;
  }
  if (lquery) return;
  if (nn == 0) {
    work[0] = 1;
    return;
  }
  const double lwkopt = work[0];
  const std::ptrdiff_t ld = *lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  const int order = nn - 1;
  int iinfo = 0;
  if (upper) {
    // The reflectors move one column to the left; the last row and column become e_n.
    for (int j = 0; j < nn - 1; ++j) {
      for (int i = 0; i < j; ++i) *at(i, j) = *at(i, j + 1);
      *at(nn - 1, j) = 0.0;
    }
    for (int i = 0; i < nn - 1; ++i) *at(i, nn - 1) = 0.0;
    *at(nn - 1, nn - 1) = 1.0;
    dorgql(&order, &order, &order, a, lda, tau, work, lwork, &iinfo);
  } else {
    // One column to the right; the first row and column become e_1.
    for (int j = nn - 1; j >= 1; --j) {
      *at(0, j) = 0.0;
      for (int i = j + 1; i < nn; ++i) *at(i, j) = *at(i, j - 1);
    }
    *at(0, 0) = 1.0;
    for (int i = 1; i < nn; ++i) *at(i, 0) = 0.0;
    if (nn > 1) dorgqr(&order, &order, &order, at(1, 1), lda, tau, work, lwork, &iinfo);
  }
  work[0] = lwkopt;
}

}  // namespace ztr
