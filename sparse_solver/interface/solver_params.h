// Constants of the solver's interface: the parameter-array positions the solver reads and
// writes by name, the version number, the phase codes and the error codes.
#pragma once

#include <climits>
#include <cstdlib>

#include "sparse_solver/common/status.h"

namespace ztr {

inline constexpr int kKorvineVersion = 103911000;
inline constexpr int kIparmSize = 64;
inline constexpr int kHandleWords = 64;
// The scratch record hung off the last handle word.
inline constexpr int kScratchRecordBytes = 1028;

// Positions of the parameter array that the solver reads or writes.
enum IparmPosition : int {
  kIpDefaultsGiven = 0,     // 0: fill the array with the type's defaults first
  kIpOrdering = 1,          // fill-reducing reordering method
  kIpThreads = 2,           // out: threads the solver uses
  kIpIterative = 3,         // 10*L + K: Krylov iteration K with tolerance 10^-L
  kIpUserPerm = 4,          // 1: perm is the ordering; 2: the ordering is returned in perm
  kIpSolutionInB = 5,       // 1: the solution overwrites b
  kIpRefineSteps = 6,       // out: refinement steps performed
  kIpRefineMax = 7,         // most refinement steps (< 0: extended precision)
  kIpPerturbation = 9,      // pivot perturbation 10^-value
  kIpScaling = 10,          // 1: scaling
  kIpTranspose = 11,        // transposed or conjugate-transposed solve
  kIpMatching = 12,         // > 0: weighted matching
  kIpPerturbed = 13,        // in/out: perturbed pivots
  kIpAnalysisPeak = 14,     // out: analysis peak memory, kilobytes
  kIpAnalysisKept = 15,     // out: memory kept from the analysis
  kIpFactorMemory = 16,     // out: factorization and solve memory
  kIpDefault17 = 17,        // set to -1 by the defaults
  kIpDefault18 = 18,        // set to -1 by the defaults
  kIpIterationResult = 19,  // out: Krylov iterations or failure; -34 automatic refinement stop
  kIpPivotSetting = 20,     // pivoting of the symmetric indefinite types
  kIpPositive = 21,         // out: positive eigenvalues (inertia)
  kIpNegative = 22,         // out: negative eigenvalues
  kIpTwoLevel = 23,         // 1: two-level factorization
  kIpChecker = 26,          // in/out: the matrix checker
  kIpSingle = 27,           // 1: single precision
  kIpFailedEquation = 29,   // out: equation of a failed factorization
  kIpPartial = 30,          // partial solve; after a failed check the offending position
  kIpCheckValue1 = 31,      // out: after a failed check, the offending values
  kIpCheckValue2 = 32,
  kIpReproducible = 33,  // in/out: thread count of reproducible results
  kIpZeroBased = 34,     // non-zero: zero-based ia, ja and perm
  kIpWantedOrStop = 47,  // in: -10 ends the analysis after the reordering; out: wanted count
  kIpCleared = 49,       // set to 0 by every call
  kIpOutOfCore = 59,     // out-of-core mode
  kIpAnalysisPeakCopy = 60,
  kIpOocInCoreEstimate = 61,  // out: the analysis' in-core estimate of the out-of-core mode
  kIpOocBufferEstimate = 62,  // out: its buffer estimate
  kIpVersion = 63,            // out: the internal version number
};

// The index base of ia, ja and perm (0 or 1).
inline int index_base(const int* iparm) {
  return iparm[kIpZeroBased] != 0 ? 0 : 1;
}

// Phase codes.
inline constexpr int kPhaseAnalysis = 11;
inline constexpr int kPhaseAnalysisFactor = 12;
inline constexpr int kPhaseAll = 13;
inline constexpr int kPhaseFactor = 22;
inline constexpr int kPhaseFactorSolve = 23;
inline constexpr int kPhaseSolve = 33;
inline constexpr int kPhaseForwardOnly = 331;
inline constexpr int kPhaseBackwardOnly = 333;
inline constexpr int kPhaseReleaseOne = 0;
inline constexpr int kPhaseReleaseAll = -1;
inline constexpr int kPhaseQueryVersion = -2;
inline constexpr int kPhaseQueryCode = -3;

// Answers of the two queries.
inline constexpr int kQueryVersionIparm0 = 23;
inline constexpr int kQueryVersionError = 16;
inline constexpr int kQueryCodeError = 300000;

// Matrix classes.
inline bool mtype_is_symmetric_storage(int mtype) {
  return mtype % 2 == 0;
}
inline bool mtype_is_complex(int mtype) {
  return mtype == 3 || mtype == 4 || mtype == -4 || mtype == 6 || mtype == 13;
}
// Types the weighted matching and scaling are built for: -2, -4, 6, 11, 13.
inline bool mtype_takes_matching(int mtype) {
  return mtype == 11 || mtype == 13 || mtype == -2 || mtype == -4 || mtype == 6;
}
// Types whose factorization reports its inertia: the symmetric and Hermitian indefinite ones.
inline bool mtype_has_inertia(int mtype) {
  return mtype == -2 || mtype == -4;
}
// Types whose factor has a U part of its own (full pattern): 1, 3, 11, 13.
inline bool mtype_has_u(int mtype) {
  return !mtype_is_symmetric_storage(mtype);
}

// |v| for any parameter value: the most negative int has no positive counterpart, and is
// taken as the largest.
inline int magnitude(int v) {
  return v == INT_MIN ? INT_MAX : std::abs(v);
}

// A caller's index v moved by `by` (one-based to zero-based or back) for a report: modulo 2^32,
// so that an index at the end of the range of int, which no matrix has, moves there and back
// without an overflow.
inline int index_shift(int v, int by) {
  return static_cast<int>(static_cast<unsigned>(v) + static_cast<unsigned>(by));
}

// Memory figure in kilobytes from a byte count, as the parameter array reports it.
inline int kilobytes(long long bytes) {
  return static_cast<int>((bytes + 1023) / 1024 + 1);
}

// Fills iparm with the defaults for mtype (all 64 entries).
void korvine_defaults(int mtype, int* iparm);

}  // namespace ztr
