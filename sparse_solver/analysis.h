// The analysis phase: the solver's own copy of the pattern, the symmetric portrait A + A',
// the fill-reducing ordering, and the symbolic supernodal factorization (supernodes of at
// most `panel_width` columns, their row structures, value layout and the scatter map that
// places every entry of the caller's matrix in the factor storage).
#pragma once

namespace ztr {

struct ControlRecord;
struct MatrixCopy;

struct StageStatus {
  int error = 0;      // 0, or the solver's error code
  int error_num = 0;  // the allocation stage for error -2
  long long bytes = 0;
};

struct AnalysisInput {
  int mtype;
  int n;
  const int* ia;  // caller's arrays, index base `base`
  const int* ja;
  int base;
  int* perm;      // caller's permutation (user_perm 1: read; 2: written)
  int user_perm;  // iparm[4]
  int ordering;   // iparm[1]
  int threads;
  int panel_width;
  const void* values;  // the caller's values (T below), read by the matching only
  bool single;
  bool matching;
  bool scaling;
  int wanted = -1;  // partial solve: the last `wanted` unknowns of perm are wanted; -1 none
  bool stop_after_reordering = false;
};

// Runs the analysis into c->sn and copy; c->timers receive slots 1 to 4.
StageStatus run_analysis(ControlRecord* c, MatrixCopy* copy, const AnalysisInput& in);

}  // namespace ztr
