// Maximum-weight matching of large entries onto the diagonal, with scaling: the maximum
// product transversal of Duff and Koster (a column permutation that maximises the product
// of the diagonal entries' magnitudes), computed as a minimum-cost assignment with costs
// c_ij = log(max_k |a_kj|) - log|a_ij| by shortest augmenting paths, and the dual variables
// u, v of that assignment turned into scaling factors dr = exp(u), dc = exp(v) / max_k |a_kj|.
// After scaling, every matched entry has magnitude 1 and no entry exceeds 1.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

// For the n x n matrix in zero-based CSR (ia, ja, a): matched[i] = the column matched to row
// i; dr (rows) and dc (columns) the scaling factors.  Returns 0, 1 when the matrix is
// structurally singular (no perfect matching exists; *count then holds the number of columns
// matched before the search failed), or -2 when work memory could not be allocated.
template <typename T>
int weighted_matching(WorkMemory* mem, int n, const int* ia, const int* ja, const T* a,
                      int* matched, double* dr, double* dc, int* count);

}  // namespace ztr
