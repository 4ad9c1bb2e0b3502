#include "blas/level1/level1.h"

#include "blas/level1/kernels/level1_kernels.h"
#include "service/dispatch.h"

namespace ztr {
namespace {
DispatchSlot<void(int, double*, int, double*, int)> g_dswap(ZTR_VARIANTS(dswap));
DispatchSlot<void(int, double, double*, int)> g_dscal(ZTR_VARIANTS(dscal));
DispatchSlot<void(int, const double*, int, double*, int)> g_dcopy(ZTR_VARIANTS(dcopy));
DispatchSlot<void(int, double, const double*, int, double*, int)> g_daxpy(ZTR_VARIANTS(daxpy));
DispatchSlot<double(int, const double*, int, const double*, int)> g_ddot(ZTR_VARIANTS(ddot));
DispatchSlot<double(int, const double*, int)> g_dnrm2(ZTR_VARIANTS(dnrm2));
DispatchSlot<int(int, const double*, int)> g_idamax(ZTR_VARIANTS(idamax));
DispatchSlot<void(int, double*, int, double*, int, double, double)> g_drot(ZTR_VARIANTS(drot));
}  // namespace

void blas_dswap(const int* n, double* x, const int* incx, double* y, const int* incy) {
  g_dswap(*n, x, *incx, y, *incy);
}
void blas_dscal(const int* n, const double* alpha, double* x, const int* incx) {
  g_dscal(*n, *alpha, x, *incx);
}
void blas_dcopy(const int* n, const double* x, const int* incx, double* y, const int* incy) {
  g_dcopy(*n, x, *incx, y, *incy);
}
void blas_daxpy(const int* n, const double* alpha, const double* x, const int* incx,
                double* y, const int* incy) {
  g_daxpy(*n, *alpha, x, *incx, y, *incy);
}
double blas_ddot(const int* n, const double* x, const int* incx, const double* y,
                 const int* incy) {
  return g_ddot(*n, x, *incx, y, *incy);
}
double blas_dnrm2(const int* n, const double* x, const int* incx) { return g_dnrm2(*n, x, *incx); }
int blas_idamax(const int* n, const double* x, const int* incx) { return g_idamax(*n, x, *incx); }
void blas_drot(const int* n, double* x, const int* incx, double* y, const int* incy,
               const double* c, const double* s) {
  g_drot(*n, x, *incx, y, *incy, *c, *s);
}

}  // namespace ztr
