#include "blas/level2/level2.h"
#include "lapack/householder/householder.h"
#include "service/letters.h"

namespace ztr {

void ztr_lapack_dlarf(const char* side, int m, int n, const double* v, int incv, double tau,
                      double* c, int ldc, double* work) {
  if (tau == 0.0 || m <= 0 || n <= 0) return;
  const double one = 1.0, zero = 0.0, minus_tau = -tau;
  const int inc1 = 1;
  if (same_letter(*side, 'L')) {
    // w := C'*v;  C := C - tau*v*w'
    blas_dgemv("T", &m, &n, &one, c, &ldc, v, &incv, &zero, work, &inc1);
    blas_dger(&m, &n, &minus_tau, v, &incv, work, &inc1, c, &ldc);
  } else {
    // w := C*v;  C := C - tau*w*v'
    blas_dgemv("N", &m, &n, &one, c, &ldc, v, &incv, &zero, work, &inc1);
    blas_dger(&m, &n, &minus_tau, work, &inc1, v, &incv, c, &ldc);
  }
}

}  // namespace ztr
