// The solve stage: the direct solve of nrhs right-hand sides followed, when it is called
// for, by iterative refinement against the caller's (unfactored) matrix, with an 80-bit
// extended-precision residual and solution when iparm[7] < 0, or, in place of refinement, a
// Krylov iteration preconditioned by the factorization.
#pragma once

#include "sparse_solver/common/solver_record.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr {

struct SolveInput {
  bool symmetric_storage;  // only the upper triangle of the matrix is given
  int n, nrhs;
  const int* ia;  // caller's arrays, index base `base`
  const int* ja;
  int base;
  int steps;                  // solve steps (all of them for phase 33; one for 331..333)
  int perturbed;              // perturbed pivots that decide whether refinement runs
  int max_steps;              // iparm[7]
  bool partial = false;       // only the wanted unknowns of a partial-solve analysis
  bool print_counts = false;  // print the unknowns the pruned steps computed
  // The Krylov iteration in place of refinement (iparm[3] = 10*L + K): K (0: none), the
  // tolerance 10^-L (L = 0: the default), and the time the factorization took.
  int krylov = 0;
  int tolerance_exponent = 0;
  double factor_seconds = 0;
};

struct SolveOutcome {
  StageStatus status;
  int steps_done = 0;       // iparm[6]
  int diagnostic = 0;       // iparm[19] (-34 when the automatic limit stopped the loop)
  bool krylov_ran = false;  // the diagnostic is the Krylov iteration's result
};

// Solves into `out` (which may be b).
template <typename T>
SolveOutcome solve_and_refine(SolverRecord* c, const Factorization* f, const SolveInput& in,
                              const T* a, const T* b, T* out);

}  // namespace ztr
