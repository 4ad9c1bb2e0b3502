// STAND-IN, TO BE DELETED WHEN THE LIBRARY'S GEMM DRIVER IS MERGED.
//
// The level-3 routines are built on ztr_blas_dgemm, which belongs to the GEMM driver.  Until
// that driver is on this branch, this file supplies the same symbol, serially, through the
// double-precision multiply template, so that the level-3 routines build and are tested.
#include "blas/level3/dgemm_interface.h"
#include "blas/templates/tblas.h"

namespace ztr {

void ztr_blas_dgemm(const char* transa, const char* transb, const int* m, const int* n,
                    const int* k, const double* alpha, const double* a, const int* lda,
                    const double* b, const int* ldb, const double* beta, double* c,
                    const int* ldc) {
  tblas::gemm<double>(*transa, *transb, *m, *n, *k, *alpha, a, *lda, b, *ldb, *beta, c, *ldc);
}

}  // namespace ztr
