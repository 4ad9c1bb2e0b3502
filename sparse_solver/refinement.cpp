#include "sparse_solver/refinement.h"

#include <cmath>
#include <cstring>

#include "service/messages.h"
#include "service/platform.h"
#include "sparse_solver/handle.h"
#include "sparse_solver/solve.h"
#include "sparse_solver/solver_messages.h"

namespace ztr {
namespace {

// The refinement stops when a step reduces the residual by less than this factor...
constexpr double kContraction = 0.9;
// ...and fails when the relative size of the last correction is above this.
constexpr double kLargeCorrection = 0.5;
// A non-contracting step ends the loop only from this step on (or at the step limit).
constexpr int kPatientSteps = 4;
// iparm[19] when the automatic mode (iparm[7] = 0) stopped after two steps.
constexpr int kAutomaticStop = -34;

// r := b - op(A)*x for every column, accumulated in Acc; op(A) = A' when transposed.  For
// symmetric-storage types the stored upper triangle stands for both.
template <typename T, typename Acc>
void residual(const SolveInput& in, bool transposed, const T* a, const T* b, const Acc* x, Acc* r) {
  const int n = in.n;
  const bool sym = mtype_is_symmetric_storage(in.mtype);
  for (int c = 0; c < in.nrhs; ++c) {
    const long off = static_cast<long>(c) * n;
    for (int i = 0; i < n; ++i) r[off + i] = static_cast<Acc>(b[off + i]);
    for (int i = 0; i < n; ++i)
      for (int e = in.ia[i] - in.base; e < in.ia[i + 1] - in.base; ++e) {
        const int j = in.ja[e] - in.base;
        if (j < 0 || j >= n || (sym && j < i)) continue;
        const Acc v = static_cast<Acc>(a[e]);
        if (transposed && !sym) {
          r[off + j] -= v * x[off + i];
        } else {
          r[off + i] -= v * x[off + j];
          if (sym && j != i) r[off + j] -= v * x[off + i];
        }
      }
  }
}

template <typename V>
double abs_sum(const V* v, long count) {
  double s = 0;
  for (long i = 0; i < count; ++i) s += std::abs(static_cast<double>(v[i]));
  return s;
}

template <typename T, typename Acc>
SolveOutcome refine(ControlRecord* c, const Factorization* f, const SolveInput& in, const T* a,
                    const T* b, T* out, T* work, Acc* xacc, Acc* racc, T* r, T* d) {
  SolveOutcome o;
  const long count = static_cast<long>(in.n) * in.nrhs;
  const bool tr = c->transpose_mode != 0;
  const int m = std::abs(in.max_steps);
  const double sumrhs = abs_sum(b, count);
  double prev = sumrhs;
  const double sumx = abs_sum(out, count);
  for (long i = 0; i < count; ++i) xacc[i] = static_cast<Acc>(out[i]);
  int k = 0;
  for (k = 1;; ++k) {
    residual<T, Acc>(in, tr, a, b, xacc, racc);
    const double sumres = abs_sum(racc, count);
    for (long i = 0; i < count; ++i) r[i] = static_cast<T>(racc[i]);
    solve_with_factors<T>(c, f, in.nrhs, kStepsAll, tr, r, d, work);
    for (long i = 0; i < count; ++i) xacc[i] += static_cast<Acc>(d[i]);
    const double sumdx = abs_sum(d, count);
    if (k == 1 && sumres > sumrhs) prev = 2 * sumres;
    if (k == 2 && in.max_steps == 0) {
      o.diagnostic = kAutomaticStop;
      break;
    }
    if (k == m) break;
    if (sumres >= kContraction * prev) {
      if (k >= kPatientSteps || k >= m) {
        const double q = (sumrhs != 0 && sumx != 0) ? sumdx / sumx : sumrhs;
        if (std::abs(q) > kLargeCorrection) o.status = {kErrFactor, kRefineContraction, 0};
        break;
      }
      continue;
    }
    prev = sumres;
  }
  for (long i = 0; i < count; ++i) out[i] = static_cast<T>(xacc[i]);
  o.steps_done = k;
  return o;
}

// The heading line of a pruned step and the share of the unknowns it computed.
void print_unknowns(int heading, int unknowns, int n) {
  const int pct = static_cast<int>(100LL * unknowns / n);
  msg_print(heading, 0);
  msg_print(kSmProgressPercent, 1, pct);
  if (pct == 100) msg_print(kMsgBlankLine, 0);
}

template <typename T>
bool get(WorkArray<T>& arr, WorkMemory* mem, std::size_t count, SolveOutcome* o, int stage) {
  if (arr.allocate(mem, count, "korvine solve")) return true;
  o->status = {kErrMemory, stage, static_cast<long long>(count * sizeof(T))};
  return false;
}

}  // namespace

template <typename T>
SolveOutcome solve_and_refine(ControlRecord* c, const Factorization* f, const SolveInput& in,
                              const T* a, const T* b, T* out) {
  SolveOutcome o;
  WorkMemory* mem = &c->factor_memory;
  const long count = static_cast<long>(in.n) * in.nrhs;
  const double t0 = platform().clock_seconds();
  WorkArray<T> work, bcopy;
  const std::size_t wsize = static_cast<std::size_t>(in.n + c->sn.longest) * in.nrhs;
  if (!get(work, mem, wsize, &o, kStageFactorWork)) return o;
  const bool partial = in.steps != kStepsAll || in.partial;
  const bool refines = !partial && (in.max_steps != 0 || in.perturbed > 0);
  SolvePruning pruning;
  WorkArray<unsigned char> forward;
  if (in.partial) {
    if (!get(forward, mem, c->sn.count, &o, kStageFactorWork)) return o;
    pruning = {forward.get(), c->sn.wanted_supernodes.get(), c->sn.wanted.get()};
  }
  // The right-hand sides are kept when the solution overwrites them and refinement needs them.
  const T* rhs = b;
  if (refines && out == b) {
    if (!get(bcopy, mem, count, &o, kStageRefinementWork)) return o;
    std::memcpy(bcopy.get(), b, sizeof(T) * count);
    rhs = bcopy.get();
  }
  solve_with_factors<T>(c, f, in.nrhs, in.steps, c->transpose_mode != 0, b, out, work.get(),
                        in.partial ? &pruning : nullptr);
  c->timers[kTimeSolve] = platform().clock_seconds() - t0;
  c->timer_active[kTimeSolve] = true;
  if (in.partial && in.print_counts) {
    if (in.steps & kStepForward) print_unknowns(kSmProgressForward, pruning.forward_unknowns, in.n);
    if (in.steps & kStepBackward)
      print_unknowns(kSmProgressBackward, pruning.backward_unknowns, in.n);
  }
  if (!refines) return o;
  WorkArray<T> r, d;
  if (!get(r, mem, count, &o, kStageRefinementWork) ||
      !get(d, mem, count, &o, kStageRefinementWork))
    return o;
  if (in.max_steps < 0) {
    WorkArray<long double> xe, re;
    if (!get(xe, mem, count, &o, kStageRefinementWork) ||
        !get(re, mem, count, &o, kStageRefinementWork))
      return o;
    o = refine<T, long double>(c, f, in, a, rhs, out, work.get(), xe.get(), re.get(), r.get(),
                               d.get());
  } else {
    WorkArray<T> xw, rw;
    if (!get(xw, mem, count, &o, kStageRefinementWork) ||
        !get(rw, mem, count, &o, kStageRefinementWork))
      return o;
    o = refine<T, T>(c, f, in, a, rhs, out, work.get(), xw.get(), rw.get(), r.get(), d.get());
  }
  c->timers[kTimeSolve] = platform().clock_seconds() - t0;
  return o;
}

template SolveOutcome solve_and_refine<double>(ControlRecord*, const Factorization*,
                                               const SolveInput&, const double*, const double*,
                                               double*);
template SolveOutcome solve_and_refine<float>(ControlRecord*, const Factorization*,
                                              const SolveInput&, const float*, const float*,
                                              float*);

}  // namespace ztr
