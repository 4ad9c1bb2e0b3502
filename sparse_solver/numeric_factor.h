// The numerical factorization over the supernodal structure of the analysis, one thread:
// left-looking, supernode by supernode, with the updates of descendant supernodes found
// through link lists.  Full-pattern types (1, 11) keep L and U; symmetric types keep L
// (Cholesky for 2, L*D*L' with pivoting inside each diagonal block for -2).
#pragma once

#include "sparse_solver/analysis.h"

namespace ztr {

struct ControlRecord;
struct Factorization;

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
template <typename T>
FactorOutcome factorize(ControlRecord* c, Factorization* f, const T* a, const MatrixPattern& m,
                        bool progress);

}  // namespace ztr
