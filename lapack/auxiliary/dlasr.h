// Application of a sequence of plane rotations to a matrix.
#pragma once

namespace ztr {

// A := P*A (side 'L', A m x n, rotations in planes (k, k+1) of the rows) or A := A*P'
// (side 'R', planes of the columns), with P = P(z-1)*...*P(1) for direct 'F' and
// P(1)*...*P(z-1) for 'B', z = m (side 'L') or n ('R').  Rotation k acts as
// [c(k) s(k); -s(k) c(k)] on lines k and k+1.  Only pivot 'V' (variable pivot, adjacent
// planes) is provided: it is the form the tridiagonal QR iteration needs.  No argument check.
void dlasr(const char* side, const char* pivot, const char* direct, const int* m, const int* n,
           const double* c, const double* s, double* a, const int* lda);

}  // namespace ztr
