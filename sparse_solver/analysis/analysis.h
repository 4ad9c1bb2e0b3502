// The analysis phase: the solver's own copy of the pattern, the weighted matching and
// scaling, the symmetric portrait A + A', the fill-reducing ordering, and the symbolic
// supernodal factorization (symbolic.h).
#pragma once

#include "sparse_solver/common/factor_kind.h"
#include "sparse_solver/common/solver_record.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {

// The solver's zero-based copy of the pattern (handle word 3).
struct MatrixCopy {
  WorkMemory memory;
  WorkArray<int> ia;
  WorkArray<int> ja;
  WorkArray<int> inserted;  // rows whose diagonal was absent (symmetric indefinite kinds)
};

struct AnalysisInput {
  FactorShape shape;
  bool symmetric_storage;  // only the upper triangle is given
  int n;
  const int* ia;  // caller's arrays, index base `base`
  const int* ja;
  int base;
  int* perm;      // caller's permutation (user_perm 1: read; 2: written)
  int user_perm;  // 0: ordered here, 1: the caller's, 2: ordered here and written to perm
  int ordering;   // the ordering method
  int threads;
  int panel_width;
  const void* values;  // the caller's values (of type `value`), read by the matching only
  ValueKind value;
  bool matching;
  bool scaling;
  int wanted = -1;  // partial solve: the last `wanted` unknowns of perm are wanted; -1 none
  bool stop_after_reordering = false;
};

// Runs the analysis into c->sn and copy; c->timers receive slots 1 to 4.
StageStatus run_analysis(SolverRecord* c, MatrixCopy* copy, const AnalysisInput& in);

}  // namespace ztr
