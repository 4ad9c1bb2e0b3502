// The matrix of a file applied to vectors, with the meaning of its symmetry (the stored
// triangle mirrored, negated for skew-symmetric, conjugated for hermitian): the right-hand
// side b = A*1 and the residual of a solution are computed from the file, not from the
// solver's input, so that they also check what the solver was given.
#pragma once

#include "matrix_market.h"

namespace ztr::cli {

// y := A*x for nrhs columns of length n; with `complex` the vectors hold interleaved
// (real, imaginary) pairs.
void multiply(const mm::Coordinate& m, bool complex, int nrhs, const double* x, double* y);

// The largest row sum of |a_ij|.
double norm_inf(const mm::Coordinate& m);

// The normwise backward error of each column, ||b - A x|| / (||A|| ||x|| + ||b||) in the
// infinity norm, and its largest value over the columns.
double relative_residual(const mm::Coordinate& m, bool complex, int nrhs, const double* b,
                         const double* x);

}  // namespace ztr::cli
