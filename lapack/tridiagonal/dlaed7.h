// The merge step of the divide-and-conquer tridiagonal eigensolver that updates a given
// orthogonal matrix (icompq = 1) instead of forming the tridiagonal matrix's eigenvectors.
// Each merge keeps what it did (the Givens rotations and the permutation of its deflation,
// the eigenvectors of its secular problem) in a tree-shaped store, because the merges
// higher up need rows of the eigenvector matrices that are never formed: dlaeda rebuilds
// them from that store.
// All indices in the integer arrays are one-based, as the LAPACK routines keep them.
//
// The store numbers the nodes of the merge tree from 1: the 2^tlvls leaves first, then the
// nodes of each level from the bottom up, left to right.  Node i's entries occupy
// qstore[qptr(i)-1 .. qptr(i+1)-2] (its k x k secular eigenvectors, or a leaf's vectors),
// perm[prmptr(i)-1 ..] (n entries: the column order its deflation chose, as positions among
// the columns the two halves left) and columns givptr(i) .. givptr(i+1)-1 of givcol (2 x *,
// the rotated pairs, positions of the same kind) and givnum (2 x *, cosine and sine).
#pragma once

namespace ztr {

// Merges two solved subproblems of sizes cutpnt and n - cutpnt at level curlvl (1 .. tlvls)
// and position curpbm (0-based) of the tree.  On entry d[0..n-1] holds the halves'
// eigenvalues, each in the order given by indxq, and q (qsiz x n, ldq) the given matrix times
// the halves' eigenvectors; rho is the off-diagonal entry that was torn out.  On exit d, q
// hold the merged problem's eigenvalues and the given matrix times its eigenvectors (the
// secular roots first, then the deflated ones), indxq the ascending order of d, and the
// store the merge's record.  icompq = 0 keeps only the record (q is not referenced).
//   work: 3n + qsiz*n doubles; iwork: 2n ints.
//   info: 0; -1 icompq, -2 n, -3 qsiz, -9 ldq, -12 cutpnt (reported as "DLAED7"); 1 when
//   the secular equation solver did not converge.
void dlaed7(const int* icompq, const int* n, const int* qsiz, const int* tlvls, const int* curlvl,
            const int* curpbm, double* d, double* q, const int* ldq, int* indxq, const double* rho,
            const int* cutpnt, double* qstore, int* qptr, int* prmptr, int* perm, int* givptr,
            int* givcol, double* givnum, double* work, int* iwork, int* info);

// Deflation of a merge with a given matrix: like dlaed2, but the rotations are recorded in
// givcol/givnum (*givptr of them) and applied to the qsiz rows of q (icompq = 1), and the
// column order is recorded in perm.  On exit q2 (qsiz x n, ldq2) holds q's columns in that
// order, the deflated ones are also back in the last n - k columns of q and entries of d;
// dlamda[0..k-1] and w[0..k-1] are the secular problem.  z is overwritten; indxp and indx
// are n-int scratch.
void dlaed8(int icompq, int* k, int n, int qsiz, double* d, double* q, int ldq, int* indxq,
            double* rho, int cutpnt, double* z, double* dlamda, double* q2, int ldq2, double* w,
            int* perm, int* givptr, int* givcol, double* givnum, int* indxp, int* indx);

// The z vector of the merge at level curlvl, position curpbm: the last row of the upper
// half's eigenvector matrix followed by the first row of the lower half's (n entries, the
// halves n/2 and n - n/2), rebuilt from the leaves' vectors and the records of the merges
// below.  ztemp: n doubles of scratch.
void dlaeda(int n, int tlvls, int curlvl, int curpbm, const int* prmptr, const int* perm,
            const int* givptr, const int* givcol, const double* givnum, const double* qstore,
            const int* qptr, double* z, double* ztemp);

}  // namespace ztr
