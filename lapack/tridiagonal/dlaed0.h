// Divide and conquer for all eigenpairs of a symmetric tridiagonal matrix.
#pragma once

namespace ztr {

// Eigenvalues and eigenvectors of the symmetric tridiagonal matrix with diagonal d[0..n-1]
// and off-diagonal e[0..n-2] by divide and conquer: the matrix is torn by rank-one
// modifications into leaves of at most the leaf size (ILAENV 9, "DLAED0"), the leaves are
// solved by the QL/QR iteration, and the halves merged bottom-up.
//   icompq 2: q (n x n, ldq) receives the eigenvectors of the tridiagonal matrix (merges by
//     dlaed1); qsiz, qstore and ldqs are not referenced.
//     work: 4n + n^2 doubles; iwork: 3 + 5n ints.
//   icompq 1: q (qsiz x n, ldq, qsiz >= n) holds a matrix on entry (typically orthogonal) and
//     receives it times the eigenvectors; qstore (qsiz x n, ldqs >= n) is scratch for the
//     updated columns (merges by dlaed7, which keep their records in work and iwork).
//     With lg = ceil(log2 n): work 1 + 3n + 2n*lg + n^2 + qsiz*n doubles;
//     iwork 6 + 6n + 5n*lg ints.
// On exit d holds the eigenvalues in ascending order.  With two or more threads and n >= 50
// the leaves run in a parallel region on per-thread scratch (with icompq 1 about one leaf per
// thread), and with icompq 2 so do the merges of every level that still has three or more
// subproblems; if that scratch cannot be allocated the routine runs sequentially.
// info: 0; -1 icompq, -2 qsiz, -3 n, -7 ldq, -9 ldqs (reported as "DLAED0"); i > 0 a leaf or
// merge failed: i = submat*(n+1) + submat + matsiz - 1 for the subproblem at one-based row
// submat.
void ztr_lapack_dlaed0(const int* icompq, const int* qsiz, const int* n, double* d, double* e,
                       double* q, const int* ldq, double* qstore, const int* ldqs, double* work,
                       int* iwork, int* info);

}  // namespace ztr
