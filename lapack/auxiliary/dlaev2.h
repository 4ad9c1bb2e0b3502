// Eigen-decomposition of a symmetric 2 x 2 matrix [a b; b c].
#pragma once

namespace ztr {

// rt1 is the eigenvalue of larger absolute value, rt2 the other; rt1 is accurate to a few
// ulps, rt2 may lose accuracy to cancellation only when it is tiny compared with rt1.
void dlae2(double a, double b, double c, double* rt1, double* rt2);
// As dlae2, also (cs1, sn1), the unit eigenvector of rt1:
// [cs1 sn1; -sn1 cs1] * [a b; b c] * [cs1 -sn1; sn1 cs1] = diag(rt1, rt2).
void dlaev2(double a, double b, double c, double* rt1, double* rt2, double* cs1, double* sn1);

}  // namespace ztr
