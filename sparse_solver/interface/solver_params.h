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
