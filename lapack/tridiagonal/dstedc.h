// Eigenvalues and eigenvectors of a symmetric tridiagonal matrix by divide and conquer.
#pragma once

namespace ztr {

// All eigenvalues, and optionally eigenvectors, of the symmetric tridiagonal matrix with
// diagonal d[0..n-1] and off-diagonal e[0..n-2].
//   compz 'N': eigenvalues only (the root-free QL/QR iteration);
//         'I': z (n x n, ldz) receives the eigenvectors of the tridiagonal matrix;
//         'V': z holds an orthogonal matrix on entry and receives it times those vectors.
//   The matrix is split where |e(i)| <= eps*sqrt|d(i)|*sqrt|d(i+1)|; blocks of more than 25
//   rows are scaled by their largest entry and solved by divide and conquer, smaller ones by
//   the implicit QL/QR iteration.  On exit d is ascending and the columns of z follow it.
//   work/lwork, iwork/liwork (minimum, with lg = ceil(log2 n)):
//     n <= 1 or compz 'N': 1 and 1;  n <= 25: 2(n-1) and 1;
//     compz 'I': 1 + 4n + n^2 and 3 + 5n;  compz 'V': 1 + 3n + 2n*lg + 4n^2 and
//     6 + 6n + 5n*lg.  lwork = -1 or liwork = -1 asks for these in work[0] and iwork[0].
// info: 0; -1 compz, -2 n, -6 ldz, -8 lwork, -10 liwork (reported as "DSTEDC"); i > 0 the
// iteration failed on the submatrix of rows and columns i/(n+1) through mod(i, n+1).
void dstedc(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz,
            double* work, const int* lwork, int* iwork, const int* liwork, int* info);

}  // namespace ztr
