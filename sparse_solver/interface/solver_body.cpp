#include "sparse_solver/interface/solver_body.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <utility>

#include "service/cpu.h"
#include "service/messages.h"
#include "service/platform.h"
#include "service/threads.h"
#include "sparse_solver/analysis/analysis.h"
#include "sparse_solver/interface/error_report.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/input_checks.h"
#include "sparse_solver/interface/ooc_config.h"
#include "sparse_solver/factor/numeric_factor.h"
#include "sparse_solver/solve/refinement.h"
#include "sparse_solver/interface/report.h"
#include "sparse_solver/solve/solve.h"
#include "sparse_solver/common/solver_messages.h"
#include "sparse_solver/factor/update_crew.h"

namespace ztr {
namespace {

// Beyond this many equations the wide symmetric panels are used on several threads.
constexpr int kLargeProblem = 250001;
constexpr int kHugeOutOfCoreProblem = 1000000;
// Without two-level factorization, out-of-core factorization plans this many subgraphs.
constexpr int kOutOfCoreSubgraphs = 32;
// error_num of a phase that needs an analysis or a factorization the handle does not hold.
constexpr int kMissingData = 20;
// iparm[47] value that ends an analysis after the reordering (with iparm[30] > 0).
constexpr int kStopAfterReordering = -10;
// Pivot perturbation exponents are held within +-this (10^-400 underflows to zero).
constexpr int kLargestPivotExponent = 400;

struct CallState {
  int error = 0;
  int error_num = 0;
  long long bytes = 0;
  int old_value = 0;
};

// Panel widths (most columns of a supernode) by matrix class and thread count: wider panels
// give the dense kernels longer products, narrower ones more parallel updates.
constexpr int kPanelFullOneThread = 128;     // full-pattern types, one thread
constexpr int kPanelFullFewThreads = 96;     // up to kFewThreads threads
constexpr int kPanelFullManyThreads = 72;    // more
constexpr int kPanelSymmetric = 80;          // symmetric types, up to kFewThreads threads
constexpr int kPanelSymmetricMany = 64;      // more, and two-level below kManyThreads
constexpr int kPanelTwoLevelMany = 48;       // two-level from kManyThreads threads
constexpr int kPanelTunedOneThread = 128;    // symmetric, on a processor of a known type
constexpr int kPanelTunedLargeFew = 112;     // and a large problem, up to kFewThreads threads
constexpr int kPanelTunedLargeMany = 96;     // more
constexpr int kPanelReproducible = 64;       // reproducible results
constexpr int kPanelReproducibleLarge = 96;  // and a large problem
constexpr int kPanelHugeOutOfCore = 192;     // out of core beyond kHugeOutOfCoreProblem
constexpr int kFewThreads = 4;
constexpr int kManyThreads = 8;

int panel_width(int mtype, int threads, int n, bool two_level, bool reproducible, int ooc) {
  int w;
  if (mtype_has_u(mtype)) {
    w = threads == 1             ? kPanelFullOneThread
        : threads <= kFewThreads ? kPanelFullFewThreads
                                 : kPanelFullManyThreads;
  } else {
    w = threads > kFewThreads ? kPanelSymmetricMany : kPanelSymmetric;
    if (two_level) w = threads >= kManyThreads ? kPanelTwoLevelMany : kPanelSymmetricMany;
    if (detect_cpu_type() != 0) {
      if (threads == 1)
        w = kPanelTunedOneThread;
      else if (n >= kLargeProblem)
        w = threads <= kFewThreads ? kPanelTunedLargeFew : kPanelTunedLargeMany;
    }
  }
  if (reproducible) w = n < kLargeProblem ? kPanelReproducible : kPanelReproducibleLarge;
  if (ooc != 0 && n > kHugeOutOfCoreProblem) w = kPanelHugeOutOfCore;
  return w;
}

int transpose_mode(int mtype, int v) {
  if (mtype_is_symmetric_storage(mtype) &&
      !((std::abs(mtype) == 4 && v == 2) || (mtype == 6 && v == 1)))
    v = 0;
  if (v > 2 || v < 0) return 0;
  if (v == 2) return 1;
  if (v == 1) return mtype_is_complex(mtype) ? 2 : 1;
  return 0;
}

// The settings an analysis records in the control record.
void record_settings(ControlRecord* c, const KorvineArgs& g, int threads, ValueKind value) {
  const int* ip = g.iparm;
  c->maxfct = g.maxfct;
  c->mtype = g.mtype;
  c->shape = factor_shape(g.mtype);
  c->value = value;
  c->n = g.n;
  c->nnz = g.ia[g.n] - index_base(ip);
  c->threads = std::max(1, threads);
  c->msglvl = magnitude(g.msglvl) < 2 ? magnitude(g.msglvl) : 1;
  // Beyond this exponent 10^-|e| is zero in double precision anyway; the bound keeps the
  // magnitude of any value representable.
  c->pivot_exponent =
      std::clamp(ip[kIpPerturbation], -kLargestPivotExponent, kLargestPivotExponent);
  c->ordering = ip[kIpOrdering];
  c->user_perm = ip[kIpUserPerm];
  c->transpose_mode = transpose_mode(g.mtype, ip[kIpTranspose]);
  // The transposed mode a complex symmetric-storage matrix keeps is the one that equals A;
  // the other one (A' of a Hermitian matrix, A^H of a complex symmetric one) is conj(A), which
  // would otherwise be dropped and A solved instead, with success reported.
  c->conjugate_solve =
      (std::abs(g.mtype) == 4 && ip[kIpTranspose] == 1) || (g.mtype == 6 && ip[kIpTranspose] == 2);
  const int ooc = ip[kIpOutOfCore];
  c->ooc_at_analysis = ooc;
  c->reproducible = ip[kIpReproducible] > 0 && ooc == 0;
  c->two_level =
      ip[kIpTwoLevel] != 0 && c->threads > 1 && ooc == 0 && (c->ordering == 2 || c->ordering == 3);
  if (c->reproducible) {
    c->two_level = true;
    if (c->ordering < 2) c->ordering = 2;
  }
  c->panel_width = panel_width(g.mtype, c->threads, g.n, c->two_level, c->reproducible, ooc);
  const int count = c->reproducible               ? ip[kIpReproducible]
                    : (ooc != 0 && !c->two_level) ? kOutOfCoreSubgraphs
                                                  : c->threads;
  c->subgraphs = subgraph_count(count, g.n);
}

// The out-of-core estimates of the analysis: the total is what a complete in-core
// factorization holds (the analysis' structures it reads, the factor store and its work
// arrays: the figures iparm[15] and iparm[16] report after it); the in-core estimate is that
// without the factor values, which an out-of-core run keeps in files; the buffer estimate is
// the least window through which such a run moves them.
template <typename T>
void set_estimates(ControlRecord* c, const MatrixCopy* copy) {
  const long long kept = c->analysis_memory.in_use.load() + copy->memory.in_use.load();
  const bool has_u = kind_has_u(c->shape.kind);
  // Out of core the run also keeps the window's bookkeeping, the entries by supernode (one
  // index per stored entry, two per supernode) and the solve's arrays for one right-hand side
  // (its work and the refinement's residual, correction and wide copies).
  const long long n = c->sn.n;
  const long long extra = FactorWindow::bookkeeping_bytes(c->sn.count) +
                          4LL * (c->nnz + 2LL * c->sn.count + 1) +
                          (3 * n + c->sn.longest) * static_cast<long long>(sizeof(T)) +
                          2 * n * static_cast<long long>(sizeof(WithReal<T, double>)) + 16 * n;
  set_ooc_estimates(&c->ooc, kept + factorization_bytes(*c),
                    FactorStore::value_bytes(c->sn, c->shape.kind, sizeof(T)),
                    ooc_minimal_window(c->sn, has_u, sizeof(T)), extra);
}

template <typename T>
void analyse(const KorvineArgs& g, ControlRecord* c, MatrixCopy* copy, int threads, CallState* st) {
  if (c->analysed || c->factors != nullptr) release_analysis(g.pt);
  record_settings(c, g, threads, kValueKind<T>);
  c->ooc.total_estimate = c->ooc.incore_estimate = c->ooc.buffer_estimate = 0;
  const int base = index_base(g.iparm);
  // Matching and scaling are built for the unsymmetric types and the indefinite symmetric
  // ones; scaling needs matching.
  c->matching = mtype_takes_matching(g.mtype) && g.iparm[kIpMatching] > 0 && g.a != nullptr;
  c->scaling = c->matching && g.iparm[kIpScaling] == 1;
  AnalysisInput in{c->shape,
                   mtype_is_symmetric_storage(g.mtype),
                   g.n,
                   g.ia,
                   g.ja,
                   base,
                   g.perm,
                   c->user_perm,
                   c->ordering,
                   c->threads,
                   c->panel_width,
                   g.a,
                   c->value,
                   c->matching,
                   c->scaling};
  in.wanted = g.partial_wanted;
  in.stop_after_reordering =
      g.iparm[kIpWantedOrStop] == kStopAfterReordering && g.iparm[kIpPartial] > 0;
  if (g.perm == nullptr && (c->user_perm == 1 || c->user_perm == 2)) {
    release_analysis(g.pt);
    *st = {kErrInput, kErrNumNullArray, 0, 0};
    return;
  }
  const StageStatus s = run_analysis(c, copy, in);
  c->analysis_peak =
      std::max(c->analysis_memory.peak.load() + copy->memory.peak.load(), c->ordering_peak);
  if (s.error != 0) {
    release_analysis(g.pt);
    *st = {s.error, s.error_num, s.bytes, 0};
    return;
  }
  if (in.stop_after_reordering) return;
  // Every value type factors its independent subtrees on several threads and shares the
  // large steps above them (packed updates in double precision, row blocks of the multiply
  // otherwise); a problem too small for that stays on one thread.
  c->factor_threads = factor_team_size(c->threads, c->sn.flops);
  set_estimates<T>(c, copy);
  if (!create_factor_records(c, g.maxfct)) {
    release_analysis(g.pt);
    *st = {kErrMemory, kStageAfterReordering,
           static_cast<long long>(sizeof(Factorization)) * g.maxfct, 0};
    return;
  }
  c->analysed = true;
}

template <typename T>
void factor(const KorvineArgs& g, ControlRecord* c, CallState* st) {
  // In core or out of core: decided once per handle, just before its first numerical
  // factorization (the configuration is read then), and kept.
  if (ooc_before_factorization(&c->ooc, g.pt[kHandleScratchWord], g.iparm[kIpOutOfCore],
                               g.msglvl) != 0) {
    *st = {kErrOocMemory, 0, 0, 0};
    return;
  }
  OocRecord& ooc = c->ooc;
  if (ooc.state == kOocStateOutOfCore) {
    ooc.written_factor = ooc.read_factor = 0;
    ooc.write_time_factor = ooc.read_time_factor = 0;
    // The factorization below keeps its values in the temporary files (the factor store's
    // window, see storage/factor_window.h).
  }
  Factorization* f = &c->factors[g.mnum - 1];
  // A factorization over the same analysis keeps the storage of the one before (the store
  // clears and reuses it); everything else starts afresh.
  f->restart();
  f->number = g.mnum - 1;
  f->msglvl = g.msglvl;
  c->factor_ran = true;
  // A problem too small for a team runs on one thread, its dense kernels included.
  const SerialScope serial(c->factor_threads == 1);
  // The factor's storage is one block of values (two with a U part): on i386 a large
  // analysis can describe more bytes than the address space holds, a size no allocation
  // request may be computed from.
  if (c->ooc.state != kOocStateOutOfCore &&
      c->sn.values > static_cast<long long>(PTRDIFF_MAX / sizeof(T))) {
    release_factor(c, g.mnum - 1);
    const long long most = LLONG_MAX / 16;  // a byte count the report can still print
    *st = {kErrMemory, kStageFactorData,
           std::min(c->sn.values, most) * static_cast<long long>(sizeof(T)), 0};
    return;
  }
  const MatrixPattern pattern{g.ia, g.ja, index_base(g.iparm)};
  const FactorOutcome o = factorize<T>(c, f, static_cast<const T*>(g.a), pattern, g.msglvl > 0);
  if (o.status.error != 0) {
    release_factor(c, g.mnum - 1);
    *st = {o.status.error, o.status.error_num, o.status.bytes, 0};
    if (o.status.error == kErrFactor && o.status.error_num == kFactorZeroPivot)
      g.iparm[kIpFailedEquation] = o.detail;
    return;
  }
  g.iparm[kIpPerturbed] = f->perturbed;
  f->seconds = c->timers[kTimeNumfct];
  if (mtype_has_inertia(g.mtype)) {
    g.iparm[kIpPositive] = f->positive;
    g.iparm[kIpNegative] = f->negative;
  }
}

template <typename T>
void solve(const KorvineArgs& g, ControlRecord* c, CallState* st) {
  const Factorization* f = &c->factors[g.mnum - 1];
  if (c->ooc.state == kOocStateOutOfCore) {
    c->ooc.read_solve = 0;
    c->ooc.read_time_solve = 0;
  }
  // The solve of a problem the factorization left on one thread stays there too.
  const SerialScope serial(c->factor_threads == 1);
  int perturbed = f->perturbed;
  if (g.phase == kPhaseSolve && g.iparm[kIpPerturbed] > 0) perturbed = g.iparm[kIpPerturbed];
  const int steps = g.phase >= kPhaseForwardOnly ? 1 << (g.phase - kPhaseForwardOnly) : kStepsAll;
  SolveInput in{mtype_is_symmetric_storage(g.mtype),
                g.n,
                g.nrhs,
                g.ia,
                g.ja,
                index_base(g.iparm),
                steps,
                perturbed,
                g.iparm[kIpRefineMax] == INT_MIN ? -INT_MAX : g.iparm[kIpRefineMax]};
  in.partial = g.iparm[kIpPartial] != 0 && c->sn.wanted.get() != nullptr;
  in.print_counts = g.msglvl > 0;
  if (g.iparm[kIpDefaultsGiven] == 1 && g.phase < kPhaseForwardOnly) {
    in.krylov = g.iparm[kIpIterative] % 10;
    in.tolerance_exponent = magnitude(g.iparm[kIpIterative]) / 10;
  }
  in.factor_seconds = f->seconds;
  T* out = static_cast<T*>(g.iparm[kIpSolutionInB] == 1 ? g.b : g.x);
  const SolveOutcome o =
      solve_and_refine<T>(c, f, in, static_cast<const T*>(g.a), static_cast<const T*>(g.b), out);
  g.iparm[kIpRefineSteps] = o.steps_done;
  if (o.diagnostic != 0 || o.krylov_ran) g.iparm[kIpIterationResult] = o.diagnostic;
  g.iparm[kIpPerturbed] = perturbed;
  if (mtype_has_inertia(g.mtype)) {
    g.iparm[kIpPositive] = f->positive;
    g.iparm[kIpNegative] = f->negative;
  }
  if (o.status.error != 0) *st = {o.status.error, o.status.error_num, o.status.bytes, 0};
}

void write_memory_figures(const KorvineArgs& g, const ControlRecord* c) {
  int* ip = g.iparm;
  const MatrixCopy* copy = handle_copy(g.pt);
  const long long kept = c->analysis_memory.in_use.load() + copy->memory.in_use.load();
  ip[kIpAnalysisPeak] = kilobytes(c->analysis_peak);
  ip[kIpAnalysisKept] = kilobytes(kept);
  ip[kIpFactorMemory] = kilobytes(c->factor_memory.peak.load());
  ip[kIpAnalysisPeakCopy] = ip[kIpAnalysisPeak];
  ip[kIpOocInCoreEstimate] = c->ooc.incore_estimate;
  ip[kIpOocBufferEstimate] = c->ooc.buffer_estimate;
  ip[kIpVersion] = kKorvineVersion;
}

}  // namespace

template <typename T>
void korvine_body(const KorvineArgs& g, int threads) {
  std::fflush(stdout);
  int* ip = g.iparm;
  ip[kIpCleared] = 0;
  const bool zero_based = ip[kIpZeroBased] != 0;
  const int base = zero_based ? 0 : 1;
  CallState st;
  const bool fresh = handle_is_fresh(g.pt);
  ControlRecord* c = fresh ? nullptr : handle_control(g.pt);
  const double t_start = platform().clock_seconds();
  const bool checker_on = ip[kIpChecker] != 0;  // the checker clears it once the matrix passed
  int nnz = 0;
  // Input preparation: the arrays every positive phase reads.
  if (g.phase > 0) {
    if (g.ia == nullptr || g.ja == nullptr)
      st = {kErrInput, 16, 0, 0};
    else if (g.n <= 0 || g.ia[g.n] < 0)
      st = {kErrInput, 17, 0, 0};
    else
      nnz = g.ia[g.n] - base;
  }
  if (st.error == 0) {
    const CheckResult r = check_inputs(
        {g.maxfct, g.mnum, g.mtype, g.phase, g.n, g.nrhs, g.ia, g.ja, g.a, g.b, g.x, ip, fresh, c});
    if (r.verdict == CheckVerdict::kDone) {
      *g.error = 0;
      return;
    }
    if (r.verdict == CheckVerdict::kFail)
      st = {kErrInput, r.error_num, 0, recorded_value(r.error_num, c)};
  }
  if (st.error == 0 && g.phase == kPhaseReleaseAll) {
    release_handle(g.pt);
    *g.error = 0;
    return;
  }
  bool report = false;
  if (st.error == 0 && g.phase == kPhaseReleaseOne) {
    release_factor(c, g.mnum - 1);
    count_call(g.pt);
    for (int i = 0; i < kTimeSlots; ++i) c->timer_active[i] = false;
    report = true;
  } else if (st.error == 0) {
    if (fresh) {
      long long bytes = 0;
      if (!create_handle(g.pt, &bytes)) st = {kErrMemory, kStageGlobal, bytes, 0};
      c = handle_control(g.pt);
    }
    if (st.error == 0) {
      count_call(g.pt);
      for (int i = 0; i < kTimeSlots; ++i) c->timer_active[i] = false;
      c->factor_ran = false;
      c->matrix_checked = checker_on;
      const int first = g.phase >= kPhaseForwardOnly ? 3 : g.phase / 10;
      const int last = g.phase >= kPhaseForwardOnly ? 3 : g.phase % 10;
      if (first == 1) analyse<T>(g, c, handle_copy(g.pt), threads, &st);
      if (st.error == 0 && first <= 2 && last >= 2) {
        if (!c->analysed)
          st = {kErrInput, kMissingData, 0, 0};
        else
          factor<T>(g, c, &st);
      }
      if (st.error == 0 && last == 3) {
        if (!c->analysed || !c->factors[g.mnum - 1].present)
          st = {kErrInput, kMissingData, 0, 0};
        else
          solve<T>(g, c, &st);
      }
      c->timers[kTimeTotal] = platform().clock_seconds() - t_start;
      c->timer_active[kTimeTotal] = true;
      write_memory_figures(g, c);
      report = st.error == 0 || st.error == kErrFactor;
    }
  }
  *g.error = st.error;
  // A call that found the handle fresh and analysed nothing leaves it fresh.
  if (fresh && c != nullptr && !c->analysed && g.phase > 0) {
    if (st.error < 0 && g.msglvl != 0)
      report_error({st.error, st.error_num, g.maxfct, g.mnum, g.mtype, g.phase, g.n, nnz, g.nrhs,
                    zero_based, ip, st.bytes, st.old_value});
    release_handle(g.pt);
    return;
  }
  if (c != nullptr && !handle_is_fresh(g.pt) && report) {
    if (g.msglvl == 2) msg_print(kSmVersionLine, 1, kKorvineVersion);
    if (g.msglvl != 0 && c->analysed) {
      const Factorization* f = c->factors != nullptr && g.mnum >= 1 && g.mnum <= c->maxfct &&
                                       c->factors[g.mnum - 1].present
                                   ? &c->factors[g.mnum - 1]
                                   : nullptr;
      print_report({g.mtype, g.phase, g.mnum, g.n, c->nnz, g.nrhs, ip, c, f});
    }
  }
  if (st.error < 0 && g.msglvl != 0) {
    report_error({st.error, st.error_num, g.maxfct, g.mnum, g.mtype, g.phase, g.n, nnz, g.nrhs,
                  zero_based, ip, st.bytes, st.old_value});
  }
}

#define ZTR_INSTANTIATE(T) template void korvine_body<T>(const KorvineArgs&, int);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
