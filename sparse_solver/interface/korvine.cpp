// KORVINE, the sparse direct solver's single entry point: the queries, the defaults, the
// thread count, the precision choice and the diagonal shortcut; everything else happens in
// the solver body of the chosen precision.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "include/ztr.h"
#include "service/cpu.h"
#include "service/error.h"
#include "service/threads.h"
#include "sparse_solver/interface/diagonal_shortcut.h"
#include "sparse_solver/interface/error_report.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/input_checks.h"
#include "sparse_solver/interface/partial_solve.h"
#include "sparse_solver/interface/solver_body.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

// Below this many equations per thread, dynamic mode gives the solver fewer threads.
constexpr int kEquationsPerThread = 50;

// The value type of the call: the handle's after an analysis, else by the matrix type and
// iparm[27].
ValueKind call_value_kind(void* const* pt, int phase, int mtype, const int* iparm) {
  int s = phase / 10;
  if (s > 9) s /= 10;
  if (s != 1 && !handle_is_fresh(pt)) {
    const ControlRecord* c = handle_control(pt);
    if (c != nullptr) return c->value;
  }
  return value_kind(mtype_is_complex(mtype), iparm[kIpSingle] == 1);
}

// The input checks on the call's arguments (ia and ja given, n >= 1), reading and writing the
// parameters `ip`; on a failure sets error -1, explains it, and returns true.  The paths that
// run before the solver body (the diagonal shortcut, the partial-solve preparation) call it
// first, so that no unknown type, phase or missing array gets past them.
bool refused(const KorvineArgs& g, int* ip) {
  const bool fresh = handle_is_fresh(g.pt);
  const ControlRecord* c = fresh ? nullptr : handle_control(g.pt);
  const CheckResult check = check_inputs(
      {g.maxfct, g.mnum, g.mtype, g.phase, g.n, g.nrhs, g.ia, g.ja, g.a, g.b, g.x, ip, fresh, c});
  if (check.verdict != CheckVerdict::kFail) return false;
  *g.error = kErrInput;
  const int base = index_base(ip);
  if (g.msglvl != 0)
    report_error({kErrInput, check.error_num, g.maxfct, g.mnum, g.mtype, g.phase, g.n,
                  g.ia[g.n] - base, g.nrhs, base == 0, ip, 0, recorded_value(check.error_num, c)});
  return true;
}

// The diagonal shortcut, after the input checks.
template <typename T>
void diagonal(const KorvineArgs& g, int threads) {
  int* ip = g.iparm;
  if (refused(g, ip)) return;
  const int base = index_base(ip);
  ip[kIpTranspose] = -1;
  if (g.phase == kPhaseAnalysis) return;
  const DiagonalStep step = g.phase >= kPhaseForwardOnly && g.phase < kPhaseBackwardOnly
                                ? DiagonalStep::kCopy
                            : g.phase % 10 == 3 ? DiagonalStep::kDivide
                                                : DiagonalStep::kNone;
  const int r = diagonal_solve<T>(
      g.n, g.nrhs, g.ia, static_cast<const T*>(g.a), static_cast<T*>(g.b), static_cast<T*>(g.x),
      ip[kIpSolutionInB] == 1, step, threads, &ip[kIpPositive], &ip[kIpNegative], base);
  if (r != 0) {
    *g.error = kErrDiagonal;
    if (g.msglvl != 0)
      report_error({kErrDiagonal, r, g.maxfct, g.mnum, g.mtype, g.phase, g.n, g.n, g.nrhs,
                    base == 0, ip, 0, 0});
  }
}

}  // namespace

void korvine_defaults(int mtype, int* iparm) {
  for (int i = 0; i < kIparmSize; ++i) iparm[i] = 0;
  iparm[kIpDefaultsGiven] = 1;
  iparm[kIpOrdering] = 2;
  iparm[kIpDefault17] = -1;
  iparm[kIpDefault18] = -1;
  switch (mtype) {
    case 1:
    case 3:
      iparm[kIpPerturbation] = 13;
      break;
    case 11:
    case 13:
      iparm[kIpPerturbation] = 13;
      iparm[kIpScaling] = 1;
      iparm[kIpMatching] = 1;
      break;
    case -2:
    case -4:
    case 6:
      iparm[kIpPerturbation] = 8;
      iparm[kIpPivotSetting] = 1;
      break;
    default:
      break;
  }
}

}  // namespace ztr

extern "C" ZTR_API void KORVINE(void* pt, const int* maxfct, const int* mnum, const int* mtype,
                                const int* phase, const int* n, const void* a, const int* ia,
                                const int* ja, int* perm, const int* nrhs, int* iparm,
                                const int* msglvl, void* b, void* x, int* error) {
  using namespace ztr;
  install_default_progress();
  if (*phase == kPhaseQueryVersion) {
    iparm[kIpDefaultsGiven] = kQueryVersionIparm0;
    *error = kQueryVersionError;
    return;
  }
  if (*phase == kPhaseQueryCode) {
    *error = kQueryCodeError;
    return;
  }
  *error = 0;
  if (iparm[kIpDefaultsGiven] == 0) korvine_defaults(*mtype, iparm);
  int t = domain_max_threads(kDomainKorvine);
  auto** words = static_cast<void**>(pt);
  const ValueKind value = call_value_kind(words, *phase, *mtype, iparm);
  if (iparm[kIpReproducible] == 0)
    iparm[kIpReproducible] = cbwr_mode() > kCbwrNotSet ? std::max(1, physical_core_count()) : -1;
  if (*n < kEquationsPerThread * t && get_dynamic() == 1) t = *n / kEquationsPerThread;
  t = std::max(t, 1);
  const KorvineArgs g{words, *maxfct, *mnum, *mtype, *phase,  *n, a, ia,
                      ja,    perm,    *nrhs, iparm,  *msglvl, b,  x, error};
  const int base = index_base(iparm);
  if (*phase > 0 && ia != nullptr && ja != nullptr && *n >= 1 &&
      static_cast<long long>(ia[*n]) - base == *n && is_diagonal_matrix(*n, ia, ja, base)) {
    with_value_kind(value, [&](auto v) { diagonal<decltype(v)>(g, t); });
    return;
  }
  iparm[kIpThreads] = t;
  KorvineArgs body = g;
  if (iparm[kIpPartial] != 0 && iparm[kIpIterative] == 0 && iparm[kIpRefineMax] == 0 &&
      iparm[kIpOutOfCore] == 0 && *phase >= kPhaseAnalysis && *phase <= kPhaseAll) {
    // The preparation analyses the caller's pattern with the caller's type: the checks come
    // first, on a copy of the parameters (the body checks again, and a passed matrix check
    // must still be reported there); a failed matrix check leaves its position in iparm.
    if (ia != nullptr && ja != nullptr && *n >= 1 && ia[*n] >= 0) {
      int scratch[kIparmSize];
      std::copy(iparm, iparm + kIparmSize, scratch);
      if (refused(g, scratch)) {
        std::copy(scratch + 30, scratch + 33, iparm + 30);
        return;
      }
    }
    const PartialPreparation p = prepare_partial_solve(g, t);
    if (p.error != 0) {
      *error = p.error;
      if (*msglvl != 0)
        report_error({p.error, p.error_num, *maxfct, *mnum, *mtype, *phase, *n,
                      ia != nullptr && *n >= 1 ? ia[*n] - base : 0, *nrhs, base == 0, iparm,
                      p.bytes, 0});
      return;
    }
    body.partial_wanted = p.wanted;
  }
  with_value_kind(value, [&](auto v) { korvine_body<decltype(v)>(body, t); });
}
