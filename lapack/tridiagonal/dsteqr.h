// Eigenvalues and eigenvectors of a symmetric tridiagonal matrix by the implicit QL/QR
// iteration.
#pragma once

namespace ztr {

// All eigenvalues, and optionally eigenvectors, of the symmetric tridiagonal matrix T with
// diagonal d[0..n-1] and off-diagonal e[0..n-2].
//   compz 'N': eigenvalues only; 'I': z (n x n, ldz) receives the eigenvectors of T;
//   'V': z holds an orthogonal matrix Q on entry (for example from a tridiagonal reduction)
//   and receives Q times the eigenvectors of T.
//   work: 2*(n-1) doubles when compz is not 'N' (the rotations), else not referenced.
// On exit d holds the eigenvalues in ascending order and e is destroyed.
// info: 0; -1 compz, -2 n, -6 ldz (reported as "DSTEQR"); i > 0 when 30*n iterations were
// not enough and i off-diagonal entries have not become zero.
void dsteqr(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz,
            double* work, int* info);

}  // namespace ztr
