// The direct solve with a supernodal factorization: forward substitution, the diagonal step
// and backward substitution for nrhs columns, and the transposed solve of the full-pattern
// types.
#pragma once

#include "sparse_solver/common/solver_record.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr {

// Solve steps, combinable.
inline constexpr int kStepForward = 1;
inline constexpr int kStepDiagonal = 2;
inline constexpr int kStepBackward = 4;
inline constexpr int kStepsAll = 7;

// A partial solve: the forward step computes only the supernodes that receive a non-zero
// (those holding non-zero right-hand-side entries and their ancestors), the backward step
// only `backward` (the supernodes of the wanted unknowns and their ancestors), and the
// unknowns not wanted come out as zero.  Per supernode and per position, null when not pruned.
struct SolvePruning {
  unsigned char* forward = nullptr;         // work: one flag per supernode, filled here
  const unsigned char* backward = nullptr;  // one flag per supernode
  const unsigned char* wanted = nullptr;    // one flag per position
  int forward_unknowns = 0;                 // out: unknowns the forward step computed
  int backward_unknowns = 0;                // out: unknowns the backward step computed
};

// Applies the chosen steps to the nrhs columns of b (n values each) and writes the result to
// x (which may be b).  b is in the caller's order when the forward step is among the steps,
// else in the factored matrix's order; x likewise with the backward step.  transpose: 0 solves
// with A, 1 with A^H (A' for real values), 2 with A' (the transposed modes of SolverRecord).
// `work` holds (n + longest row structure) * nrhs values.
template <typename T>
void solve_with_factors(const SolverRecord* c, const Factorization* f, int nrhs, int steps,
                        int transpose, const T* b, T* x, T* work,
                        SolvePruning* pruning = nullptr);

}  // namespace ztr
