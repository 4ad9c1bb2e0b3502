#include "blas/level2/level2.h"

#include "blas/level2/kernels/level2_kernels.h"
#include "service/dispatch.h"

namespace ztr {
namespace {
DispatchSlot<void(char, int, int, double, const double*, int, const double*, int, double, double*,
                  int)>
    g_dgemv(ZTR_VARIANTS(dgemv));
DispatchSlot<void(char, int, double, const double*, int, const double*, int, double, double*, int)>
    g_dsymv(ZTR_VARIANTS(dsymv));
DispatchSlot<void(char, int, int, int, double, const double*, int, const double*, double*)>
    g_dsymv_columns(ZTR_VARIANTS(dsymv_columns));
DispatchSlot<void(char, char, char, int, const double*, int, double*, int)> g_dtrmv(
    ZTR_VARIANTS(dtrmv));
DispatchSlot<void(char, char, char, int, const double*, int, double*, int)> g_dtrsv(
    ZTR_VARIANTS(dtrsv));
DispatchSlot<void(int, int, double, const double*, int, const double*, int, double*, int)> g_dger(
    ZTR_VARIANTS(dger));
DispatchSlot<void(char, int, double, const double*, int, const double*, int, double*, int)> g_dsyr2(
    ZTR_VARIANTS(dsyr2));
}  // namespace

void blas_dgemv(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
                const int* lda, const double* x, const int* incx, const double* beta, double* y,
                const int* incy) {
  g_dgemv(*trans, *m, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}
void blas_dsymv(const char* uplo, const int* n, const double* alpha, const double* a,
                const int* lda, const double* x, const int* incx, const double* beta, double* y,
                const int* incy) {
  g_dsymv(*uplo, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}
void blas_dsymv_columns(char uplo, int n, int c0, int c1, double alpha, const double* a, int lda,
                        const double* x, double* y) {
  g_dsymv_columns(uplo, n, c0, c1, alpha, a, lda, x, y);
}
void blas_dtrmv(const char* uplo, const char* trans, const char* diag, const int* n,
                const double* a, const int* lda, double* x, const int* incx) {
  g_dtrmv(*uplo, *trans, *diag, *n, a, *lda, x, *incx);
}
void blas_dtrsv(const char* uplo, const char* trans, const char* diag, const int* n,
                const double* a, const int* lda, double* x, const int* incx) {
  g_dtrsv(*uplo, *trans, *diag, *n, a, *lda, x, *incx);
}
void blas_dger(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
               const double* y, const int* incy, double* a, const int* lda) {
  g_dger(*m, *n, *alpha, x, *incx, y, *incy, a, *lda);
}
void blas_dsyr2(const char* uplo, const int* n, const double* alpha, const double* x,
                const int* incx, const double* y, const int* incy, double* a, const int* lda) {
  g_dsyr2(*uplo, *n, *alpha, x, *incx, y, *incy, a, *lda);
}

}  // namespace ztr
