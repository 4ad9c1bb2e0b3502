// Norms of a symmetric tridiagonal matrix.
#pragma once

namespace ztr {

// The norm of the symmetric tridiagonal matrix with diagonal d[0..n-1] and off-diagonal
// e[0..n-2]: norm 'M' largest absolute value, '1'/'O'/'I' one norm (= infinity norm),
// 'F'/'E' Frobenius norm.  0 for n <= 0.  A NaN anywhere gives NaN.
double dlanst(const char* norm, const int* n, const double* d, const double* e);

}  // namespace ztr
