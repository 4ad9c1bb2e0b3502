// What the stages read and write of a handle: the settings fixed at analysis, the supernodal
// structure, the memory accounts and the timers.  The handle's control record extends it with
// what only the interface needs (the caller's matrix type and parameters, the factorizations
// by matrix number).
#pragma once

#include "sparse_solver/common/factor_kind.h"
#include "sparse_solver/common/ooc_record.h"
#include "sparse_solver/common/subtree_plan.h"
#include "sparse_solver/common/supernodes.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {

// Timer slots of the report (index 1 .. 10).
enum TimerSlot : int {
  kTimeFulladj = 1,
  kTimeReorder = 2,
  kTimeSymbfct = 3,
  kTimeParlist = 4,
  kTimeAtoLU = 5,
  kTimeNumfct = 6,
  kTimeSolve = 7,
  kTimeCgs = 8,
  kTimeMalloc = 9,
  kTimeTotal = 10,
  kTimeSlots = 11,
};

struct SolverRecord {
  // Settings recorded at every analysis.
  FactorShape shape{FactorKind::kPerturbedLu, false};
  ValueKind value = ValueKind::kDouble;  // every phase after the analysis works in this type
  int n = 0;
  int nnz = 0;
  int threads = 1;
  int pivot_exponent = 0;  // the perturbation 10^-|e|
  int ordering = 2;
  int transpose_mode = 0;        // 0: A, 1: A' (conjugate for complex types), 2: A' (plain)
  bool conjugate_solve = false;  // solve with conj(A) (a symmetric-storage complex matrix)
  bool two_level = false;
  bool reproducible = false;
  int panel_width = 0;
  int subgraphs = 1;
  int missing_diagonals = 0;  // rows given a zero diagonal (symmetric indefinite types)
  bool matching = false;      // the weighted matching ran at analysis
  bool scaling = false;       // and its scaling is applied
  // Threads the numerical factorization runs on: the thread count, or 1 when the analysis
  // found too little work for a team (see factor_team_size).
  int factor_threads = 1;
  // Analysis results.
  WorkMemory analysis_memory;
  long long ordering_peak = 0;  // memory in use while the ordering ran, its own included
  Supernodes sn;
  // The ordering's separator tree of the top levels (4 * subgraphs entries: the position
  // ranges of the parts and separators, see analysis/ordering/nd_order.h) and its part count
  // (1 when the ordering was not split).
  WorkArray<int> separator_tree;
  int separator_parts = 1;
  // How the factorization and the solve share the supernodes among threads (empty: in order).
  SubtreePlan plan;
  // The factorizations' memory.
  WorkMemory factor_memory;
  // Out of core: the settings, the decision (kept for the handle's life), the analysis'
  // estimates and the file layer's counters.
  OocRecord ooc;
  // Statistics of the current call.
  double timers[kTimeSlots] = {};
  bool timer_active[kTimeSlots] = {};

  FactorKind kind() const { return shape.kind; }
  void time(int slot, double seconds) {
    timers[slot] = seconds;
    timer_active[slot] = true;
  }
};

}  // namespace ztr
