// What a stage returns: the solver's error codes, the allocation stages of error -2 and the
// detail codes of error -4, shared by every stage and reported by the interface.
#pragma once

namespace ztr {

// Every record of the solver is aligned to this many bytes.
inline constexpr int kSolverAlignment = 128;

// error values.
inline constexpr int kErrInput = -1;
inline constexpr int kErrMemory = -2;
inline constexpr int kErrReordering = -3;
inline constexpr int kErrFactor = -4;
inline constexpr int kErrInternal = -5;
inline constexpr int kErrStructurallySingular = -6;
inline constexpr int kErrDiagonal = -7;
inline constexpr int kErrOverflow = -8;
inline constexpr int kErrOocMemory = -9;  // not enough memory for the out-of-core mode
inline constexpr int kErrOocOpen = -10;   // a temporary file could not be opened
inline constexpr int kErrOocIo = -11;     // a temporary file could not be read or written

// Allocation stages of error -2 (its error_num).
enum AllocStage : int {
  kStageGlobal = -2,
  kStageMatching = 1,
  kStageBeforeReordering = 2,
  kStageBeforeSymbolic = 3,
  kStageBeforeParallel = 4,
  kStageAfterReordering = 5,
  kStageOocStructure = 6,  // the out-of-core bookkeeping
  kStageOocBuffers = 7,    // the out-of-core window's blocks
  kStageFactorData = 8,
  kStageFactorWork = 9,
  kStageRefinementWork = 10,
  // The body's own copies (matrix, permutation, diagonal list) are outside the stage list.
  kStageOwnCopies = 100,
};

// error_num of error -1 for an array the call needs that is not given (the permutation with
// iparm[4] = 1 or 2, the values, the right-hand sides, the solution).
inline constexpr int kErrNumNullArray = 19;

// error_num of error -4.
inline constexpr int kFactorZeroPivot = -1;
inline constexpr int kFactorNoMemory = -2;
inline constexpr int kFactorKrylov = -3;
inline constexpr int kRefineLimit = -111;
inline constexpr int kRefineContraction = -112;

struct StageStatus {
  int error = 0;      // 0, or the solver's error code
  int error_num = 0;  // the allocation stage for error -2
  long long bytes = 0;
};

}  // namespace ztr
