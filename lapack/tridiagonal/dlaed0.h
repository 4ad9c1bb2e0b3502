// Divide and conquer for all eigenpairs of a symmetric tridiagonal matrix.
#pragma once

namespace ztr {

// Eigenvalues and eigenvectors of the symmetric tridiagonal matrix with diagonal d[0..n-1]
// and off-diagonal e[0..n-2] by divide and conquer: the matrix is torn by rank-one
// modifications into leaves of at most the leaf size (ILAENV 9, "DLAED0"), the leaves are
// solved by the QL/QR iteration, and the halves merged bottom-up (dlaed1).
//   icompq: 2, q (n x n, ldq) receives the eigenvectors of the tridiagonal matrix.  (The
//   forms that update a given orthogonal matrix, 0 and 1, are not provided: dstedc reaches
//   them through this form and one multiply.)  qsiz, qstore and ldqs are unused.
//   work: 4n + n^2 doubles; iwork: 3 + 5n ints.
// On exit d holds the eigenvalues in ascending order.  With two or more threads and n >= 50
// the leaves, and the merges of every level that still has four or more subproblems, run in
// parallel regions on per-thread scratch; if that scratch cannot be allocated the routine
// runs sequentially.
// info: 0; -1 icompq, -3 n, -7 ldq (reported as "DLAED0"); i > 0 a leaf or merge failed:
// i = submat*(n+1) + submat + matsiz - 1 for the subproblem at one-based row submat.
void ztr_lapack_dlaed0(const int* icompq, const int* qsiz, const int* n, double* d, double* e,
                       double* q, const int* ldq, double* qstore, const int* ldqs, double* work,
                       int* iwork, int* info);

}  // namespace ztr
