// Eigenvalues and eigenvectors of a real symmetric tridiagonal matrix T (diagonal d, off-
// diagonal e), the tridiagonal stage of the symmetric eigensolver by relatively robust
// representations.  Every routine keeps the published LAPACK argument list and semantics:
// all arguments by address, one-based indices in the integer outputs, workspace from the
// caller, option letters in either case.  None of them allocates memory.
#pragma once

namespace ztr {

// Bisection by Sturm counts.  range 'A' all, 'V' eigenvalues in (vl, vu], 'I' indices il..iu
// (ascending); order 'B' groups the eigenvalues by split block (ascending within a block),
// 'E' sorts them over the whole matrix.  The matrix splits where e(j)^2 is negligible against
// |d(j) d(j+1)|; nsplit blocks, block k ending at row isplit(k); iblock(i) is the block of
// w(i).  abstol <= 0 means ulp * max|Gershgorin bound| of each block.
// work(4n), iwork(3n).  info: -1 range, -2 order, -3 n, -5 vu <= vl, -6 il, -7 iu;
// 1 some eigenvalue did not converge, 2 the index range could not be matched exactly
// (eigenvalues closer than the tolerance), 3 both, 4 the Gershgorin interval was too small.
void dstebz(const char* range, const char* order, const int* n, const double* vl, const double* vu,
            const int* il, const int* iu, const double* abstol, const double* d, const double* e,
            int* m, int* nsplit, double* w, int* iblock, int* isplit, double* work, int* iwork,
            int* info);

// Inverse iteration for the m eigenvalues w (grouped by block as dstebz returns them with
// order 'B'), reorthogonalising the vectors of eigenvalues closer than 1e-3 * ||T_block||_1
// to each other.  Z (ldz x m) gets unit vectors whose largest entry is positive.
// work(5n), iwork(n), ifail(m): the columns that did not converge after five iterations.
// info: -1 n, -4 m, -5 w not ascending in a block, -6 iblock not ascending, -9 ldz;
// k > 0: k vectors failed (listed first in ifail).
void dstein(const int* n, const double* d, const double* e, const int* m, const double* w,
            const int* iblock, const int* isplit, double* z, const int* ldz, double* work,
            int* iwork, int* ifail, int* info);

// The dqds algorithm: all eigenvalues, to high relative accuracy, of the positive definite
// matrix given by its qd array (q(i) = z(2i-1), e(i) = z(2i) on entry; the eigenvalues are
// the squared singular values of the bidiagonal with diagonal sqrt(q), off-diagonal sqrt(e)).
// z has 4n entries.  On exit z(1..n) holds the eigenvalues in decreasing order, z(2n+1) the
// trace and z(2n+2) the sum of the eigenvalues.  info: -1 n < 0, -2 a negative or NaN entry;
// 1 too many iterations, 3 no shift (not even zero) kept the array positive.
void dlasq2(const int* n, double* z, int* info);

// The MRRR driver for T.  jobz 'N' or 'V'; range as for dstebz.  d and e are destroyed
// (e(n) is workspace).  z (ldz x nzc) receives the vectors; nzc = -1 asks for the number of
// vectors needed, returned in z(1,1).  isuppz(2m): rows isuppz(2i-1)..isuppz(2i) hold the
// nonzero entries of vector i.  tryrac asks for high relative accuracy and is cleared when
// T does not allow it.  Workspace 18n/10n with vectors, 12n/8n without (lwork = -1 or
// liwork = -1 queries).  info: -1 jobz, -2 range, -3 n, -7 vu <= vl, -8 il, -9 iu,
// -13 ldz, -14 nzc, -17 lwork, -19 liwork; > 0 an internal failure (1x from dlarre,
// 2x from dlarrv).
void dstemr(const char* jobz, const char* range, const int* n, double* d, double* e,
            const double* vl, const double* vu, const int* il, const int* iu, int* m, double* w,
            double* z, const int* ldz, const int* nzc, int* isuppz, int* tryrac, double* work,
            const int* lwork, int* iwork, const int* liwork, int* info);

}  // namespace ztr
