// One root of the secular equation of a symmetric rank-one modification of a diagonal matrix.
#pragma once

namespace ztr {

// The j-th eigenvalue (one-based, ascending) lambda of D + rho*z*z', where
// d[0] < d[1] < ... < d[n-1], rho > 0 and z has no zero entry (after deflation), is the j-th
// root of the secular equation 1 + rho * sum z(i)^2 / (d(i) - lambda) = 0.
//   n >= 3: delta[i] = d(i) - lambda, each computed from the distance to the pole nearest the
//     root, so that it has full relative accuracy (the eigenvector formula needs that);
//   n = 2: delta is the unit eigenvector of lambda;  n = 1: delta[0] = 1.
// The root is bracketed between its poles (the last one between d(n) and d(n) + rho*|z|^2)
// and found by the rational two-pole interpolation of the secular function, safeguarded by
// bisection.  info: 0, or 1 when the iteration did not converge (dlam is the best estimate).
void dlaed4(int n, int j, const double* d, const double* z, double* delta, double rho, double* dlam,
            int* info);

}  // namespace ztr
