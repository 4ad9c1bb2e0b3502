// The analysis' own allocations and the statuses they fail with, shared by its steps.
#pragma once

#include <cstddef>

#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr::analysis_detail {

inline StageStatus no_memory(int stage, long long bytes) {
  return {kErrMemory, stage, bytes};
}

// Allocates a (zeroed with `zero`); on failure *st is error -2 at `stage`.
template <class T>
bool get(WorkArray<T>& a, WorkMemory* mem, std::size_t count, StageStatus* st, int stage,
         bool zero = false) {
  if (a.allocate(mem, count, "korvine analysis", zero)) return true;
  *st = no_memory(stage, static_cast<long long>(count * sizeof(T)));
  return false;
}

// The solver's status for an ordering routine's code.
inline StageStatus from_order_code(int code, int stage) {
  if (code == kOrderNoMemory) return no_memory(stage, 0);
  if (code == kOrderOverflow) return {kErrOverflow, 0, 0};
  return {kErrReordering, 0, 0};
}

}  // namespace ztr::analysis_detail
