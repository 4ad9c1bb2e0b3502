// Eigenvalues of a symmetric tridiagonal matrix by the root-free QL/QR iteration.
#pragma once

namespace ztr {

// All eigenvalues of the symmetric tridiagonal matrix with diagonal d[0..n-1] and
// off-diagonal e[0..n-2], by the Pal-Walker-Kahan variant of the QL/QR iteration (no square
// roots in the inner loop).  On exit d holds them in ascending order; e is destroyed.
// info: 0; -1 n < 0 (reported as "DSTERF"); i > 0 when 30*n iterations were not enough and
// i off-diagonal entries have not become zero (d is then not the full result).
void dsterf(const int* n, double* d, double* e, int* info);

}  // namespace ztr
