#include "sparse_solver/interface/input_checks.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

bool phase_known(int phase) {
  return phase == 11 || phase == 12 || phase == 13 || phase == 22 || phase == 23 || phase == 33 ||
         (phase >= kPhaseForwardOnly && phase <= kPhaseBackwardOnly);
}

int matrix_nnz(int n, const int* ia, int base) {
  return ia[n] - base;
}

// A solve holds several arrays of n x nrhs values besides the caller's (the solution, the
// refinement's residuals and corrections, up to 16 bytes each in extended precision): n x
// nrhs must stay below the address space divided by this many bytes, so that no size the
// solve computes from it wraps around (on i386 above 2^26 values).
constexpr long long kSolveBytesPerValue = 64;

bool solve_fits(int n, int nrhs) {
  return static_cast<long long>(n) * nrhs <=
         static_cast<long long>(PTRDIFF_MAX) / kSolveBytesPerValue;
}

// Phases that read the values of the matrix: the factorizations, and the whole solve, whose
// refinement forms residuals.  The analysis alone takes them only when it can (matching).
bool phase_reads_values(int phase) {
  return phase == 12 || phase == 13 || phase == 22 || phase == 23 || phase == 33;
}

// The last position (zero-based, into ja) of a column index outside the matrix, or -1.
int last_column_out_of_range(int n, const int* ia, const int* ja, int base) {
  const int nnz = ia[n] - base;
  int bad = -1;
  for (int k = 0; k < nnz; ++k) {
    const long long c = static_cast<long long>(ja[k]) - base;  // any int, unshifted
    if (c < 0 || c >= n) bad = k;
  }
  return bad;
}

}  // namespace

bool mtype_valid(int mtype) {
  switch (mtype) {
    case 1:
    case 2:
    case -2:
    case 3:
    case 4:
    case -4:
    case 6:
    case 11:
    case 13:
      return true;
    default:
      return false;
  }
}

bool mtype_compatible(int new_type, int old_type) {
  return new_type == old_type || new_type == -old_type ||
         2 * (std::abs(new_type) / 2) == 2 * (std::abs(old_type) / 2);
}

bool phase_solves(int phase) {
  return phase >= kPhaseForwardOnly ? phase <= kPhaseBackwardOnly : phase > 0 && phase % 10 == 3;
}

int check_row_starts(int n, const int* ia, int base, int* iparm) {
  // Every row must start where the previous one ended, at or after the first entry: the
  // solver reads rows through ia, so this part of the check always runs.
  int bad = -1;
  if (ia[0] != base) bad = 0;
  for (int i = 0; i < n && bad < 0; ++i)
    if (ia[i + 1] < ia[i]) bad = i;
  if (bad < 0) return 0;
  iparm[kIpPartial] = bad + 1;
  iparm[kIpCheckValue1] = index_shift(ia[bad], 1 - base);
  iparm[kIpCheckValue2] = index_shift(ia[bad + 1], 1 - base);
  return 21;
}

int check_columns(int n, const int* ia, const int* ja, int base, int* iparm) {
  const int bad = last_column_out_of_range(n, ia, ja, base);
  if (bad < 0) return 0;
  iparm[kIpPartial] = bad + 1;
  iparm[kIpCheckValue1] = index_shift(ja[bad], 1 - base);
  iparm[kIpCheckValue2] = n;
  return 22;
}

int check_matrix(int mtype, int n, const int* ia, const int* ja, int base, int* iparm) {
  // Positions and values are recorded one-based; the zero-based report subtracts 1.
  auto fail = [&](int code, int pos, int v1, int v2) {
    iparm[kIpPartial] = pos;
    iparm[kIpCheckValue1] = v1;
    iparm[kIpCheckValue2] = v2;
    return code;
  };
  const int shift = 1 - base;  // added to caller indices to make them one-based
  const bool rows_nonempty = mtype >= 1 && mtype <= 4;
  int bad = -1;
  if (ia[0] != base) bad = 0;
  for (int i = 0; i < n; ++i) {
    const int lo = ia[i], hi = ia[i + 1];
    if (rows_nonempty ? !(lo < hi) : hi < lo) bad = i;
  }
  if (bad >= 0)
    return fail(21, bad + 1, index_shift(ia[bad], shift), index_shift(ia[bad + 1], shift));
  if (check_columns(n, ia, ja, base, iparm) != 0) return 22;
  if (mtype_is_symmetric_storage(mtype)) {
    for (int i = 0; i < n; ++i) {
      const int j = ia[i] + shift;
      if (ia[i + 1] + shift > j && ja[j - 1] + shift < i + 1) bad = i;
    }
    if (bad >= 0) {
      const int j = ia[bad] + shift;
      return fail(23, bad + 1, j, ja[j - 1] + shift);
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int k = ia[i] - base + 1; k < ia[i + 1] - base; ++k)
      if (ja[k] <= ja[k - 1]) bad = k;
  }
  if (bad >= 0) return fail(24, bad, ja[bad - 1] + shift, ja[bad] + shift);
  iparm[kIpChecker] = 0;
  return 0;
}

int recorded_value(int error_num, const ControlRecord* c) {
  if (c == nullptr) return 0;
  switch (error_num) {
    case 2:
      return c->maxfct;
    case 5:
      return c->mtype;
    case 6:
      return c->n;
    case 8:
      return c->nnz;
    default:
      return 0;
  }
}

CheckResult check_inputs(const CallArgs& a) {
  const ControlRecord* c = a.control;
  auto fail = [](int code) { return CheckResult{CheckVerdict::kFail, code}; };
  if (a.phase < -1) return fail(10000);
  if (a.fresh && a.phase <= 0) {
    if (a.phase == -1 || a.iparm[kIpTranspose] == -1) return {CheckVerdict::kDone, 0};
    return fail(1000);
  }
  if (a.phase == 0 && (a.mnum < 1 || c == nullptr || a.mnum > c->maxfct)) return fail(100);
  if (!(a.phase >= -1 && a.phase <= 33) && !(a.phase >= 331 && a.phase <= 333)) return fail(1);
  if (a.phase <= 0) return {CheckVerdict::kProceed, 0};  // releases need nothing more
  const bool recorded = c != nullptr && c->analysed;
  if (recorded && a.maxfct > c->maxfct) return fail(2);
  // A handle keeps at least one factorization: maxfct below 1 is refused like a matrix
  // number above it (the records are sized by maxfct).
  if (a.maxfct < 1 || a.mnum > a.maxfct) return fail(3);
  // Every phase after the analysis alone factors or solves matrix mnum (12 and 13 as well).
  if (a.phase > kPhaseAnalysis && a.mnum < 1) return fail(4);
  // This build solves the real types only: a complex one is refused like an unknown type
  // rather than run through the real kernels.
  if (!mtype_valid(a.mtype)) return fail(15);
  if (recorded && !mtype_compatible(a.mtype, c->mtype)) return fail(5);
  if (recorded && a.n != c->n) return fail(6);
  if (a.n < 1) return fail(7);
  const int base = index_base(a.iparm);
  if (matrix_nnz(a.n, a.ia, base) < a.n) return fail(8);
  if (phase_solves(a.phase) && (a.nrhs < 1 || !solve_fits(a.n, a.nrhs))) return fail(9);
  if (a.iparm[kIpSolutionInB] >= 2) return fail(10);
  // A negative reordering is no method either.
  if (a.iparm[kIpOrdering] >= 4 || a.iparm[kIpOrdering] < 0) return fail(11);
  // The arrays the phase reads (the solution goes into b when iparm[5] is 1).
  if (phase_reads_values(a.phase) && a.a == nullptr) return fail(kErrNumNullArray);
  if (phase_solves(a.phase) && (a.b == nullptr || (a.iparm[kIpSolutionInB] != 1 && a.x == nullptr)))
    return fail(kErrNumNullArray);
  if (a.iparm[kIpChecker] != 0) {
    const int code = check_matrix(a.mtype, a.n, a.ia, a.ja, base, a.iparm);
    if (code != 0) return fail(code);
  } else {
    // Rows and columns are read through ia and ja on every phase: without the checker their
    // bounds are checked all the same (one pass over ja, little beside a factorization).
    if (check_row_starts(a.n, a.ia, base, a.iparm) != 0) return fail(21);
    if (check_columns(a.n, a.ia, a.ja, base, a.iparm) != 0) return fail(22);
  }
  if (a.iparm[kIpTwoLevel] == 1 && a.iparm[kIpOutOfCore] > 0) return fail(31);
  // Out of core after an in-core analysis on one thread (not after an out-of-core one).
  if (a.phase > 13 && a.iparm[kIpOutOfCore] >= 1 && recorded && c->threads == 1 &&
      c->ooc_at_analysis == 0)
    return fail(32);
  if (!phase_known(a.phase)) return fail(20);
  return {CheckVerdict::kProceed, 0};
}

}  // namespace ztr
