// The library's internal matrix multiply, which the level-3 routines are built on:
// C := alpha*op(A)*op(B) + beta*C with the thirteen DGEMM arguments by address, column-major,
// no argument check.  Declared here with exactly the GEMM driver's signature so that this
// directory depends on nothing but the interface.
#pragma once

namespace ztr {

void ztr_blas_dgemm(const char* transa, const char* transb, const int* m, const int* n,
                    const int* k, const double* alpha, const double* a, const int* lda,
                    const double* b, const int* ldb, const double* beta, double* c,
                    const int* ldc);

}  // namespace ztr
