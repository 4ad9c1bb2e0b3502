// Diagonal matrices, solved without an analysis: x_i = b_i / a_ii.
#pragma once

namespace ztr {

// Whether every row holds exactly one entry, on its diagonal (index base `base`).  Only
// such matrices take the shortcut; anything else, even with nnz = n, takes the general path.
bool is_diagonal_matrix(int n, const int* ia, const int* ja, int base);

// What a phase asks of a diagonal matrix.  Taken as L = I, D = I, U = A, the forward and
// diagonal steps of a step-by-step solve hand b on unchanged and the backward step divides,
// so that the three steps in sequence give what one whole solve gives.
enum class DiagonalStep { kNone, kCopy, kDivide };

// Counts the positive and the other diagonal values into *pos and *neg and computes, for nrhs
// columns into x, or into b when in_place, on `threads` threads, x = b / diag (kDivide) or
// x = b (kCopy).  Returns 0, or -(one-based row) of the first zero value.
template <typename T>
int diagonal_solve(int n, int nrhs, const int* ia, const T* a, T* b, T* x, bool in_place,
                   DiagonalStep step, int threads, int* pos, int* neg, int base);

}  // namespace ztr
