// The records behind a solver handle.  The caller's 64-word array `pt` holds: word 0 the call
// count while the handle is alive (0 when fresh), word 1 the control record, word 3 the
// matrix-copy record, word 63 a zeroed 1028-byte scratch record.  Everything here comes from
// the memory manager's direct family, 128-byte aligned, and is released by release_handle.
#pragma once

#include <cstdint>

#include "sparse_solver/analysis/analysis.h"
#include "sparse_solver/common/solver_record.h"
#include "sparse_solver/interface/solver_params.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr {

inline constexpr int kHandleCallCountWord = 0;
inline constexpr int kHandleControlWord = 1;
inline constexpr int kHandleCopyWord = 3;
inline constexpr int kHandleScratchWord = 63;
// A handle word 0 of this value counts as fresh.
inline constexpr std::intptr_t kHandleFreshMarker = -100;

// The main control record (handle word 1).
struct ControlRecord : SolverRecord {
  bool analysed = false;
  int maxfct = 0;
  int mtype = 0;
  int msglvl = 0;
  int user_perm = 0;  // the caller's permutation setting at analysis
  int ooc_at_analysis = 0;  // iparm[59] at analysis (0: the analysis ran in-core)
  long long analysis_peak = 0;
  // maxfct factorizations.
  Factorization* factors = nullptr;
  // Statistics of the current call.
  bool factor_ran = false;
  bool matrix_checked = false;  // the matrix checker ran in this call
};

// Access to the records of a handle.
inline bool handle_is_fresh(void* const* pt) {
  const auto w = reinterpret_cast<std::intptr_t>(pt[kHandleCallCountWord]);
  return w == 0 || w == kHandleFreshMarker;
}
inline ControlRecord* handle_control(void* const* pt) {
  return static_cast<ControlRecord*>(pt[kHandleControlWord]);
}
inline MatrixCopy* handle_copy(void* const* pt) {
  return static_cast<MatrixCopy*>(pt[kHandleCopyWord]);
}

// Makes the three records of a fresh handle; false on an allocation failure (the handle is
// then left fresh and nothing is held).  *bytes receives the size of the failed request.
bool create_handle(void** pt, long long* bytes);
// Allocates the maxfct factorization records of an analysed handle.
bool create_factor_records(ControlRecord* c, int maxfct);
// Releases the factorization of one matrix number (0-based index).
void release_factor(ControlRecord* c, int index);
// Releases the analysis and every factorization, keeping the records.
void release_analysis(void** pt);
// Releases everything reachable from the handle; word 0 becomes 0.
void release_handle(void** pt);
// Counts a call in word 0.
void count_call(void** pt);

}  // namespace ztr
