// Norms of a symmetric matrix held in one triangle.
#pragma once

namespace ztr {

// The norm of the symmetric n x n matrix A, of which only the uplo triangle (with the
// diagonal) is read: norm 'M' largest absolute value, '1'/'O'/'I' one norm (= infinity
// norm; work holds n doubles), 'F'/'E' Frobenius norm.  0 for n <= 0; NaN when a NaN is read.
double dlansy(const char* norm, const char* uplo, const int* n, const double* a, const int* lda,
              double* work);

}  // namespace ztr
