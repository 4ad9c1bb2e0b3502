// The library's matrix multiply, C := alpha*op(A)*op(B) + beta*C, column-major, with the
// thirteen DGEMM arguments by address.
#pragma once

namespace ztr {

// The internal entry used by every other part of the library: no argument check (callers
// pass valid arguments), threaded when the product is worth it.
void ztr_blas_dgemm(const char* transa, const char* transb, const int* m, const int* n,
                    const int* k, const double* alpha, const double* a, const int* lda,
                    const double* b, const int* ldb, const double* beta, double* c,
                    const int* ldc);

// 0 when the arguments are valid; otherwise reports the first bad one as "DGEMM " (length 6)
// through xerbla and returns 1.
int dgemm_check(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b,
                const int* ldb, const double* beta, double* c, const int* ldc);

}  // namespace ztr
