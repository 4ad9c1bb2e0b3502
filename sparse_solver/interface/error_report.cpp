#include "sparse_solver/interface/error_report.h"

#include <cstdlib>

#include "service/messages.h"
#include "sparse_solver/common/solver_messages.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

constexpr int kLowestError = -12;
constexpr int kFirstCheckerCode = 21;
constexpr int kLastCheckerCode = 30;

void unknown(int number) {
  msg_print(kSmUnknownMessage, 1, number);
}

// The block of the call's arguments that follows error_num 1 .. 11 and 15.
void print_input_block(const ErrorContext& e) {
  msg_print(kSmInputBlock1, 2, e.error_num, e.maxfct);
  msg_print(kSmInputBlock2, 2, e.mnum, e.mtype);
  msg_print(kSmInputBlock3, 2, e.phase, e.n);
  if (e.zero_based)
    msg_print(kSmInputBlock4Zero, 2, e.nnz - 1, e.nrhs);
  else
    msg_print(kSmInputBlock4One, 2, e.nnz, e.nrhs);
}

void print_checker(const ErrorContext& e) {
  const int z = e.zero_based ? 1 : 0;  // zero-based messages print indices minus 1
  const int pos = index_shift(e.iparm[kIpPartial], -z),
            v1 = index_shift(e.iparm[kIpCheckValue1], -z), v2 = e.iparm[kIpCheckValue2],
            v2z = index_shift(v2, -z);
  switch (e.error_num) {
    case 21:
      msg_print(z ? kSmCheckRows0 : kSmCheckRows1, 3, pos, v1, v2z);
      break;
    case 22:
      msg_print(z ? kSmCheckColumnRange0 : kSmCheckColumnRange1, 3, pos, v1, v2);
      break;
    case 23:
      msg_print(z ? kSmCheckUpper0 : kSmCheckUpper1, 3, pos, v1, v2z);
      break;
    case 24:
      msg_print(z ? kSmCheckAscending0 : kSmCheckAscending1, 3, pos, v1, v2z);
      break;
    default:
      unknown(e.error_num);
  }
}

void print_input_detail(const ErrorContext& e) {
  const int* ip = e.iparm;
  switch (e.error_num) {
    case 100000:
      msg_print(kSmCleanImpossible, 0);
      return;
    case 10000:
      msg_print(kSmPhaseBelowMinusOne, 0);
      return;
    case 1000:
      msg_print(kSmInitContradiction, 0);
      msg_print(kSmInitContradictionPhase, 1, e.phase);
      return;
    case 100:
      msg_print(kSmWrongMatrixNumber, 1, e.mnum);
      return;
    case 999:
      msg_print(kSmDiagonalSymbolicOnly, 1, e.phase);
      return;
    case 1:
      msg_print(kSmPhaseOutOfBounds, 1, e.phase);
      break;
    case 2:
      msg_print(kSmMaxfctIncompatible, 2, e.maxfct, e.old_value);
      break;
    case 3:
      msg_print(kSmMaxfctMnum, 2, e.maxfct, e.mnum);
      break;
    case 4:
      msg_print(kSmMnumPhase, 2, e.mnum, e.phase);
      break;
    case 5:
      msg_print(kSmMtypeIncompatible, 2, e.mtype, e.old_value);
      break;
    case 6:
      msg_print(kSmNIncompatible, 2, e.n, e.old_value);
      break;
    case 7:
      msg_print(kSmNInvalid, 1, e.n);
      break;
    case 8:
      msg_print(e.zero_based ? kSmNnzIncompatible0 : kSmNnzIncompatible1, 2,
                e.nnz + (e.zero_based ? 0 : 1), e.old_value);
      break;
    case 9:
      msg_print(kSmNrhsPhase, 2, e.nrhs, e.phase);
      break;
    case 10:
      msg_print(e.zero_based ? kSmSolutionPlace0 : kSmSolutionPlace1, 1, ip[kIpSolutionInB]);
      break;
    case 11:
      msg_print(kSmPreprocessing, 1, ip[kIpOrdering]);
      break;
    case 12:
      msg_print(kSmThreadCountInternal, 1, ip[kIpThreads]);
      return;
    case 13:
      msg_print(kSmThreadCountMismatch, 2, ip[kIpThreads], ip[kIpThreads]);
      return;
    case 15:
      msg_print(kSmMtypeOutOfBounds, 1, e.mtype);
      break;
    case 16:
      msg_print(kSmEmptyArrays, 0);
      return;
    case 17:
      msg_print(kSmNOrNnzInvalid, 2, e.n, e.nnz);
      return;
    case 18:
      msg_print(kSmWorkingArrays, 0);
      return;
    case 19:
      msg_print(kSmUnclassified, 0);
      return;
    case 20:
      msg_print(kSmWrongPhase, 1, e.phase);
      return;
    case 31:
      msg_print(kSmTwoLevelOoc, 0);
      return;
    case 32:
      msg_print(kSmSequentialOoc, 0);
      return;
    default:
      if (e.error_num >= kFirstCheckerCode && e.error_num <= kLastCheckerCode)
        print_checker(e);
      else if (e.error_num < 0)
        msg_print(kSmDiagonalRow, 1, -e.error_num);
      else
        unknown(e.error_num);
      return;
  }
  print_input_block(e);
}

void print_memory(const ErrorContext& e) {
  const int stage = e.error_num;
  const int bytes = static_cast<int>(e.failed_bytes);
  if (stage == kStageGlobal)
    msg_print(kSmStageGlobal, 1, bytes);
  else if (stage >= kStageMatching && stage <= kStageRefinementWork)
    msg_print(kSmStageFirst + stage - 1, 1, bytes);
  else
    unknown(stage);
  const int wanted = kilobytes(e.failed_bytes);
  msg_print(kSmMemoryWanted, 1, wanted);
  msg_print(kSmMemorySymbolic, 2, e.iparm[kIpAnalysisPeak], e.iparm[kIpAnalysisKept]);
  msg_print(kSmMemoryReal, 1, e.iparm[kIpFactorMemory]);
}

void print_factor(const ErrorContext& e) {
  switch (e.error_num) {
    case kFactorZeroPivot:
      msg_print(e.mtype == 2 || e.mtype == 4 ? kSmNotSpd : kSmZeroPivot, 0);
      return;
    case kFactorNoMemory:
      msg_print(kSmFactorMemory, 0);
      return;
    case kRefineLimit:
      msg_print(kSmRefinement, 0);
      msg_print(kSmRefinementLimit, 1, magnitude(e.iparm[kIpRefineMax]));
      return;
    case kRefineContraction:
      msg_print(kSmRefinement, 0);
      msg_print(kSmRefinementContraction, 0);
      return;
    default:
      if (e.error_num == kFactorKrylov || e.iparm[kIpIterationResult] < 0)
        msg_print(e.zero_based ? kSmCgs0 : kSmCgs1, 1, e.iparm[kIpIterationResult]);
      else
        unknown(e.error_num);
  }
}

}  // namespace

void report_error(const ErrorContext& e) {
  if (e.error >= 0) return;
  const bool checker =
      e.error == kErrInput && e.error_num >= kFirstCheckerCode && e.error_num <= kLastCheckerCode;
  if (e.error < kLowestError)
    unknown(100 - e.error);
  else
    msg_print(kSmCategoryFirst + (checker ? 11 : -e.error - 1), 1, e.error_num);
  switch (e.error) {
    case kErrInput:
      print_input_detail(e);
      break;
    case kErrMemory:
      print_memory(e);
      break;
    case kErrReordering:
    case kErrOverflow:
      msg_print(kSmReordering, 0);
      break;
    case kErrFactor:
      print_factor(e);
      break;
    case kErrInternal:
      msg_print(kSmUnclassified, 0);
      break;
    case -6:
      msg_print(kSmPreorderingFailed, 2, e.error_num, e.n);
      msg_print(kSmPreorderingDetail, 0);
      break;
    case kErrDiagonal:
      if (e.error_num < 0) msg_print(kSmDiagonalRow, 1, -e.error_num);
      break;
    default:
      break;
  }
}

}  // namespace ztr
