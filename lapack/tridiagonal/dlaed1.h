// One merge step of the divide-and-conquer tridiagonal eigensolver: the eigen-decomposition
// of Q*(D + rho*z*z')*Q' from those of the two halves of a torn tridiagonal matrix.
// All indices in the integer arrays are one-based, as the LAPACK routines keep them.
#pragma once

namespace ztr {

// Merges two solved subproblems.  On entry d[0..n-1] holds the eigenvalues of the upper
// (first cutpnt) and the lower subproblem, each in the order given by indxq (indxq maps the
// ascending position to the index in d), and q (n x n, ldq) the block diagonal matrix of
// their eigenvectors; rho is the off-diagonal entry that was torn out.  On exit d, q hold
// the eigen-decomposition of the merged matrix and indxq its ascending order.
//   work: 4n + n^2 doubles; iwork: 4n ints.
//   info: 0; -1 n, -4 ldq, -7 cutpnt (reported as "DLAED1"); 1 when the secular equation
//   solver did not converge.
void dlaed1(const int* n, double* d, double* q, const int* ldq, int* indxq, const double* rho,
            const int* cutpnt, double* work, int* iwork, int* info);

// Deflation: sorts the merged eigenvalues, deflates those whose z component is negligible or
// which nearly coincide with a neighbour (rotating the two vectors), and groups the columns
// of q into q2 by their nonzero structure: columns 1..ctot(1) nonzero only in the upper
// half, then dense ones, then lower-half ones, then the deflated ones.  k receives the size
// of the remaining secular problem (dlamda, w).  On exit coltyp[0..3] holds the four counts.
void dlaed2(int* k, int n, int n1, double* d, double* q, int ldq, int* indxq, double* rho,
            double* z, double* dlamda, double* w, double* q2, int* indx, int* indxc, int* indxp,
            int* coltyp, int* info);

// Solves the k secular equations, recomputes z from the computed roots (so that the
// eigenvectors come out orthogonal: the Gu-Eisenstat formula), forms the eigenvectors of the
// rank-one modification and multiplies them into the grouped vectors q2.
//   s: workspace of (ctot(1)+ctot(2)) * ... doubles, at least max(n1, n2) * k... (as laid
//   out by dlaed1).
void dlaed3(int k, int n, int n1, double* d, double* q, int ldq, double rho, double* dlamda,
            const double* q2, const int* indx, const int* ctot, double* w, double* s, int* info);

}  // namespace ztr
