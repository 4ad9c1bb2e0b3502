#include <cmath>

#include "blas/level1/level1.h"
#include "lapack/dlamch.h"
#include "lapack/householder/householder.h"

namespace ztr {

namespace {
// Rescalings by 1/safmin before giving up on a tiny beta (the published limit).
constexpr int kMaxRescales = 20;
}  // namespace

void ztr_lapack_dlarfg(int n, double* alpha, double* x, int incx, double* tau) {
  if (n <= 1) {
    *tau = 0.0;
    return;
  }
  const int nm1 = n - 1;
  double xnorm = blas_dnrm2(&nm1, x, &incx);
  if (xnorm == 0.0) {
    *tau = 0.0;
    return;
  }
  double beta = -std::copysign(std::hypot(*alpha, xnorm), *alpha);
  const double safmin = dlamch("S") / dlamch("E");
  int rescales = 0;
  if (std::fabs(beta) < safmin) {
    // beta would lose its accuracy: scale x and alpha up until it is representable well.
    const double rsafmn = 1.0 / safmin;
    do {
      ++rescales;
      blas_dscal(&nm1, &rsafmn, x, &incx);
      beta *= rsafmn;
      *alpha *= rsafmn;
    } while (std::fabs(beta) < safmin && rescales < kMaxRescales);
    xnorm = blas_dnrm2(&nm1, x, &incx);
    beta = -std::copysign(std::hypot(*alpha, xnorm), *alpha);
  }
  *tau = (beta - *alpha) / beta;
  const double scale = 1.0 / (*alpha - beta);
  blas_dscal(&nm1, &scale, x, &incx);
  for (int j = 0; j < rescales; ++j) beta *= safmin;
  *alpha = beta;
}

}  // namespace ztr
