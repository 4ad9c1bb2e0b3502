// The problem solved when no file is given: the 7-point Laplacian of a cube grid.
#pragma once

#include "matrix_market.h"

namespace ztr::cli {

// Edge of the built-in grid (27000 unknowns: solved in well under a second).
inline constexpr int kBuiltinGrid = 30;

// The symmetric positive definite 7-point Laplacian (6 on the diagonal, -1 for each grid
// neighbour, Dirichlet boundary) of an m x m x m grid, lower triangle, as a symmetric file
// would give it.
mm::Coordinate laplacian_3d(int m);

}  // namespace ztr::cli
