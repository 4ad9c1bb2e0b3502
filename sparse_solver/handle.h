// The records behind a solver handle.  The caller's 64-word array `pt` holds: word 0 the call
// count while the handle is alive (0 when fresh), word 1 the control record, word 3 the
// matrix-copy record, word 63 a zeroed 1028-byte scratch record.  Everything here comes from
// the memory manager's direct family, 128-byte aligned, and is released by release_handle.
#pragma once

#include <cstdint>

#include "sparse_solver/ordering/work_memory.h"
#include "sparse_solver/solver_params.h"

namespace ztr {

inline constexpr int kHandleCallCountWord = 0;
inline constexpr int kHandleControlWord = 1;
inline constexpr int kHandleCopyWord = 3;
inline constexpr int kHandleScratchWord = 63;
// A handle word 0 of this value counts as fresh.
inline constexpr std::intptr_t kHandleFreshMarker = -100;

// Supernodal structure of the factor of P*A*P' (positions are columns of the permuted
// matrix).  Supernode s covers columns first[s] .. first[s+1]-1; its row structure is
// lindx[row_ptr[s] .. row_ptr[s+1]-1], ascending, its own columns first.  Its values are a
// column-major block of len x width entries at val_ptr[s] (leading dimension len) in the L
// storage, and, for types with a U part, at the same place in the U storage, which holds U
// to the right of the diagonal block transposed (rows width .. len-1 of the block).
struct Supernodes {
  int n = 0;
  int count = 0;
  int largest = 0;       // widest supernode
  int longest = 0;       // largest row-structure length
  long long nnz_l = 0;   // entries of L, diagonal included
  long long nnz_u = 0;   // entries of U strictly above the diagonal (types with a U part)
  long long values = 0;  // sum of len * width
  double flops = 0;      // operation count of the factorization
  WorkArray<int> perm;   // perm[k] = original unknown at position k
  WorkArray<int> iperm;  // inverse of perm
  WorkArray<int> first;  // count + 1
  WorkArray<int> owner;  // n: supernode of each position
  WorkArray<long long> row_ptr;
  WorkArray<int> lindx;
  WorkArray<long long> val_ptr;
  // One entry per stored entry of the caller's matrix: its place in the L storage (+place+1),
  // in the U storage (-(place+1)), or 0 when the entry is not used (the lower triangle of a
  // symmetric-storage type).
  WorkArray<long long> scatter;
  // Weighted matching (full-pattern types): the factored matrix is B = A*Q with column
  // matched[r] of A placed at r; with scaling, Dr*B*Dc.  Empty when off.
  WorkArray<int> matched;
  WorkArray<double> row_scale;    // n, by row of A
  WorkArray<double> col_scale;    // n, by column of A
  WorkArray<double> entry_scale;  // nnz: row_scale * col_scale of each stored entry
  // Partial solve (analysed from a list of wanted unknowns): one flag per position, and per
  // supernode the flag of those the backward step computes.  Empty otherwise.
  WorkArray<unsigned char> wanted;
  WorkArray<unsigned char> wanted_supernodes;
};

// The numerical factorization of one matrix number.  Values are kept as bytes because the
// precision is a property of the handle, fixed at analysis.
struct Factorization {
  bool present = false;
  WorkArray<unsigned char> l;  // values x element size
  WorkArray<unsigned char> u;  // types with a U part
  WorkArray<unsigned char> d;  // symmetric indefinite: diagonal and sub-diagonal of D, 2n
  WorkArray<int> pivots;       // n: one-based interchange inside each diagonal block
  int perturbed = 0;
  int positive = 0;
  int negative = 0;
  double mflop = 0;
  double norm_a = 0;
  double seconds = 0;  // time the numerical factorization took
};

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

// The main control record (handle word 1).
struct ControlRecord {
  // Settings recorded at the first analysis or at every analysis.
  bool analysed = false;
  int maxfct = 0;
  int mtype = 0;
  int n = 0;
  int nnz = 0;
  int threads = 1;
  int msglvl = 0;
  int pivot_exponent = 0;  // iparm[9]
  int ordering = 2;        // iparm[1]
  int user_perm = 0;       // iparm[4]
  bool single = false;     // precision of every phase after analysis
  int transpose_mode = 0;
  bool two_level = false;
  bool reproducible = false;
  int panel_width = 0;
  int subgraphs = 1;
  int missing_diagonals = 0;  // rows given a zero diagonal (symmetric indefinite types)
  bool matching = false;      // the weighted matching ran at analysis
  bool scaling = false;       // and its scaling is applied
  // Analysis results.
  WorkMemory analysis_memory;
  long long analysis_peak = 0;
  long long ordering_peak = 0;  // memory in use while the ordering ran, its own included
  Supernodes sn;
  // maxfct factorizations.
  WorkMemory factor_memory;
  Factorization* factors = nullptr;
  // Statistics of the current call.
  double timers[kTimeSlots] = {};
  bool timer_active[kTimeSlots] = {};
  bool factor_ran = false;
  bool matrix_checked = false;  // the matrix checker ran in this call
  // Threads the numerical factorization runs on: the thread count, or 1 when the analysis
  // found too little work for a team (see factor_team_size).
  int factor_threads = 1;
};

// The matrix-copy record (handle word 3): the solver's zero-based copy of the pattern.
struct MatrixCopy {
  WorkMemory memory;
  WorkArray<int> ia;
  WorkArray<int> ja;
  WorkArray<int> inserted;  // rows whose diagonal was absent (symmetric indefinite types)
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
