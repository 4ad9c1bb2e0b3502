// The numerical factorization over the supernodal structure of the analysis: left-looking,
// supernode by supernode, with the updates of descendant supernodes found through link lists.
// The leader thread walks the supernodes; on a team (factor_threads > 1) the other threads
// take row blocks of the large updates and of the solves below the diagonal blocks.  The
// factor kind decides the block factorization: Cholesky, L*D*L' or L*D*L^H with pivoting
// inside each diagonal block, or LU (L and U kept) with partial or perturbed pivoting.
#pragma once

#include "sparse_solver/common/solver_record.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr {

struct FactorOutcome {
  StageStatus status;  // error -2 (stage 8) for the factor storage, -4 for the rest
  int detail = 0;      // iparm[29]: the one-based equation of a failed pivot or entry
};

// The caller's pattern of the matrix of the analysis: row pointers and column indices with
// index base `base`.
struct MatrixPattern {
  const int* ia;
  const int* ja;
  int base;
};

// Factors the caller's values `a` (over pattern m) into f.  `progress` prints the percentage
// lines.  A value that is not a finite number fails with error_num -1 and the caller's
// one-based equation of the first such entry in `detail`; so does a pivot that is not finite,
// with its position as a zero pivot's.
// The bytes a factorization of c's analysis counts in c->factor_memory at its peak: the factor
// store (values, D, pivots) and the work arrays below, the team's tiles included where the
// packed updates would run.  The out-of-core estimates are made from it.
long long factorization_bytes(const SolverRecord& c);

template <typename T>
FactorOutcome factorize(SolverRecord* c, Factorization* f, const T* a, const MatrixPattern& m,
                        bool progress);

}  // namespace ztr
