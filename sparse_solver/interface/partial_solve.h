// Preparation of a partial solve: from the components marked in `perm` (value 1), an
// ordering that eliminates the marked components last, the others in a nested-dissection
// order of their own pattern (the reordering's nested dissection, on the graph an analysis of
// that pattern would order).  It is written into `perm`, and the analysis that follows uses it
// as the caller's permutation (iparm[4] = 1); iparm[47] receives the number of marked
// components, iparm[0], [1], [2] and [7] the values such an analysis runs with.  Only the
// forward and backward steps' pruning depends on it.
#pragma once

#include "sparse_solver/interface/solver_body.h"

namespace ztr {

struct PartialPreparation {
  int error = 0;  // 0, or the solver's error code (-2 for a failed allocation)
  int error_num = 0;
  long long bytes = 0;
  int wanted = 0;  // number of marked components
};

PartialPreparation prepare_partial_solve(const KorvineArgs& g, int threads);

}  // namespace ztr
