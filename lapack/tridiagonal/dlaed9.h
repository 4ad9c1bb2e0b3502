// The roots and eigenvectors of the secular problem left after deflation, shared by both
// merges of the divide-and-conquer tridiagonal eigensolver.
#pragma once

namespace ztr {

// The eigen-decomposition of diag(dlamda) + rho*w*w' (k >= 1, dlamda[0..k-1] strictly
// ascending, rho > 0, w without zero entries): d[0..k-1] receives the eigenvalues and the
// leading k x k block of s (lds >= k) the orthonormal eigenvectors.  The vectors are built
// from a z recomputed from the roots (the Gu-Eisenstat formula) instead of w itself, so that
// they are orthogonal to working accuracy however close the roots; w is overwritten with
// that z and tmp (k doubles) is scratch.
// info: 0, or 1 when the secular equation solver did not converge.
void dlaed9(int k, double* d, double* s, int lds, double rho, const double* dlamda, double* w,
            double* tmp, int* info);

}  // namespace ztr
