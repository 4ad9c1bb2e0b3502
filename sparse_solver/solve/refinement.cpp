#include "sparse_solver/solve/refinement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "service/messages.h"
#include "service/platform.h"
#include "sparse_solver/common/solver_messages.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/solve/krylov.h"
#include "sparse_solver/solve/solve.h"

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

// A direct solve whose backward error (below) exceeds this many rounding units of the
// working precision was not backward stable (element growth inside a diagonal block that
// its pivot search could not avoid, or pivots that only just passed the threshold): it is
// refined as if pivots had been perturbed.  A stable solve of a large, well-conditioned
// matrix (a 30^3 grid) comes to about four units, which must not cost refinement steps.
constexpr double kStableBackwardError = 8;
// The step limit ends the refinement with -111 only when the backward error of the last
// residual is still above this many rounding units: a solution at rounding level has
// converged, whether or not the residual still happened to shrink.
constexpr double kConvergedBackwardError = 16;
// A refinement that runs only because the direct solution was not backward stable (nothing
// asked for it and no pivot was perturbed) goes on until the backward error is stable or a
// step stops contracting, up to this many steps: element growth inside narrow diagonal blocks
// can leave a factorization that needs more than the two automatic steps, and stopping
// after two would return a solution several digits short of what the factors can give.
constexpr int kUnstableSteps = 10;

template <typename T>
double rounding_unit() {
  return std::numeric_limits<RealOf<T>>::epsilon();
}

// The larger of A's largest row and largest column sum of magnitudes (the stored upper
// triangle of a symmetric-storage type standing for both): a norm of A and of A'.  `sums`
// holds 2n values of work.
template <typename T>
double matrix_norm(const SolveInput& in, const T* a, double* sums) {
  const int n = in.n;
  const bool sym = in.symmetric_storage;
  std::fill(sums, sums + 2 * static_cast<long>(n), 0.0);
  for (int i = 0; i < n; ++i)
    for (int e = in.ia[i] - in.base; e < in.ia[i + 1] - in.base; ++e) {
      const int j = in.ja[e] - in.base;
      if (j < 0 || j >= n || (sym && j < i)) continue;
      const double v = static_cast<double>(abs_value(a[e]));
      sums[i] += v;
      sums[n + j] += v;
      if (sym && j != i) sums[j] += v, sums[n + i] += v;
    }
  return *std::max_element(sums, sums + 2 * static_cast<long>(n));
}

// The normwise backward error of a solution, the largest over the columns of
// ||r||_inf / (||A|| ||x||_inf + ||b||_inf) (0 for a zero column).  A residual or solution
// that is not finite (a NaN or infinity in the values given to the solve) is infinitely far
// from any solution, except in a column whose b is not finite itself; the maxima below
// would pass over a NaN.
template <typename T, typename Acc>
double backward_error(int n, int nrhs, const Acc* r, const Acc* x, const T* b, double norm_a) {
  double worst = 0;
  for (int col = 0; col < nrhs; ++col) {
    const long off = static_cast<long>(col) * n;
    double nr = 0, nx = 0, nb = 0;
    bool finite = true, finite_b = true;
    for (int i = 0; i < n; ++i) {
      const double ri = static_cast<double>(abs_value(r[off + i]));
      const double xi = static_cast<double>(abs_value(x[off + i]));
      const double bi = static_cast<double>(abs_value(b[off + i]));
      finite = finite && std::isfinite(ri) && std::isfinite(xi);
      finite_b = finite_b && std::isfinite(bi);
      nr = std::max(nr, ri);
      nx = std::max(nx, xi);
      nb = std::max(nb, bi);
    }
    if (!finite_b) continue;
    if (!finite) return std::numeric_limits<double>::infinity();
    const double scale = norm_a * nx + nb;
    if (scale > 0) worst = std::max(worst, nr / scale);
  }
  return worst;
}

// r := b - op(A)*x for every column, accumulated in Acc; op(A) = A^H for transpose 1 (A' for
// real values) and A' for 2.  For symmetric-storage types the stored upper triangle stands for
// both (conjugated for the Hermitian kinds), and they solve with A in every mode, or with
// conj(A) when `conjugate_values`.
template <typename T, typename Acc>
void residual(const SolveInput& in, bool conjugate, int transpose, bool conjugate_values,
              const T* a, const T* b, const Acc* x, Acc* r) {
  const int n = in.n;
  const bool sym = in.symmetric_storage;
  for (int c = 0; c < in.nrhs; ++c) {
    const long off = static_cast<long>(c) * n;
    for (int i = 0; i < n; ++i) r[off + i] = convert_value<Acc>(b[off + i]);
    for (int i = 0; i < n; ++i)
      for (int e = in.ia[i] - in.base; e < in.ia[i + 1] - in.base; ++e) {
        const int j = in.ja[e] - in.base;
        if (j < 0 || j >= n || (sym && j < i)) continue;
        const Acc v = conj_if(conjugate_values, convert_value<Acc>(a[e]));
        if (transpose != 0 && !sym) {
          r[off + j] -= conj_if(transpose == 1, v) * x[off + i];
        } else {
          r[off + i] -= v * x[off + j];
          if (sym && j != i) r[off + j] -= conj_if(conjugate, v) * x[off + i];
        }
      }
  }
}

template <typename V>
double abs_sum(const V* v, long count) {
  double s = 0;
  for (long i = 0; i < count; ++i) s += static_cast<double>(abs_value(v[i]));
  return s;
}

// `until_stable`: the refinement runs only because the direct solution's backward error was
// above kStableBackwardError; racc already holds b - op(A)*out (the check computed it), so
// the first step does not compute it again, and the steps go on (up to kUnstableSteps) until
// the backward error is stable or a step stops contracting.
template <typename T, typename Acc>
SolveOutcome refine(SolverRecord* c, const Factorization* f, const SolveInput& in, const T* a,
                    const T* b, T* out, T* work, Acc* xacc, Acc* racc, T* r, T* d, double norm_a,
                    bool until_stable = false) {
  SolveOutcome o;
  const long count = static_cast<long>(in.n) * in.nrhs;
  const int tr = c->transpose_mode;
  const int m = until_stable ? kUnstableSteps : std::abs(in.max_steps);
  const double sumrhs = abs_sum(b, count);
  double prev = sumrhs;
  const double sumx = abs_sum(out, count);
  for (long i = 0; i < count; ++i) xacc[i] = convert_value<Acc>(out[i]);
  int k = 0;
  for (k = 1;; ++k) {
    if (k > 1 || !until_stable)
      residual<T, Acc>(in, c->shape.conjugate, tr, c->conjugate_solve, a, b, xacc, racc);
    const double sumres = abs_sum(racc, count);
    const double omega = backward_error(in.n, in.nrhs, racc, xacc, b, norm_a);
    if (until_stable && k > 1 && omega <= kStableBackwardError * rounding_unit<T>()) {
      --k;  // this residual only confirmed the last step
      break;
    }
    for (long i = 0; i < count; ++i) r[i] = convert_value<T>(racc[i]);
    solve_with_factors<T>(c, f, in.nrhs, kStepsAll, tr, r, d, work);
    for (long i = 0; i < count; ++i) xacc[i] += convert_value<Acc>(d[i]);
    const double sumdx = abs_sum(d, count);
    if (k == 1 && sumres > sumrhs) prev = 2 * sumres;
    if (k == 2 && in.max_steps == 0 && !until_stable) {
      o.diagnostic = kAutomaticStop;
      break;
    }
    if (until_stable && (k == m || (k > 1 && sumres >= kContraction * prev))) {
      // Nothing asked for these steps: stopping short of rounding level is the automatic
      // stop, not a failure (a solution that is not finite is reported below).
      o.diagnostic = kAutomaticStop;
      break;
    }
    if (k == m) {
      // At the limit the solution is judged after its last correction (the residual above is
      // the one before it): still above rounding level, it is not the converged one.  (One
      // that is not finite is reported as such below.)
      if (omega > kConvergedBackwardError * rounding_unit<T>()) {
        residual<T, Acc>(in, c->shape.conjugate, tr, c->conjugate_solve, a, b, xacc, racc);
        const double last = backward_error(in.n, in.nrhs, racc, xacc, b, norm_a);
        if (std::isfinite(last) && last > kConvergedBackwardError * rounding_unit<T>())
          o.status = {kErrFactor, kRefineLimit, 0};
      }
      break;
    }
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
  for (long i = 0; i < count; ++i) out[i] = convert_value<T>(xacc[i]);
  o.steps_done = k;
  return o;
}

// True when some column of the solution holds a value that is not finite while the same
// column of b holds none (a NaN or infinity in b makes one in the solution honest).
template <typename T>
bool non_finite_solution(int n, int nrhs, const T* b, const T* x) {
  for (int col = 0; col < nrhs; ++col) {
    const long off = static_cast<long>(col) * n;
    bool finite_x = true, finite_b = true;
    for (int i = 0; i < n; ++i) {
      finite_x = finite_x && is_finite_value(x[off + i]);
      finite_b = finite_b && is_finite_value(b[off + i]);
    }
    if (!finite_x && finite_b) return true;
  }
  return false;
}

// The heading line of a pruned step and the share of the unknowns it computed.
void print_unknowns(int heading, int unknowns, int n) {
  const int pct = static_cast<int>(100LL * unknowns / n);
  msg_print(heading, 0);
  msg_print(kSmProgressPercent, 1, pct);
  if (pct == 100) msg_print(kMsgBlankLine, 0);
}

// The Krylov iteration's limits come from the ratio of factorization to solve time: it may
// spend about as much as the factorization again.  Named after their roles in that rule.
constexpr double kSolveTimeFloor = 1.000000013351432e-10;
constexpr double kTimeShare = 0.44999998807907104;
constexpr int kMinimumIterations = 2;
constexpr int kLargeLimit = 101;
constexpr int kCappedLimit = 100;
constexpr int kNegativeKLimit = 150;
// Tolerance when iparm[3] gives no exponent.
constexpr double kDefaultToleranceDouble = 1e-6;
constexpr double kDefaultToleranceSingle = 1e-4;

int krylov_limit(int k, double factor_seconds, double solve_seconds) {
  if (solve_seconds <= kSolveTimeFloor) return k < 0 ? kNegativeKLimit : 0;
  const double estimate = 3.0 * std::abs(k) * factor_seconds / solve_seconds * kTimeShare + 1;
  int m = static_cast<int>(std::max(static_cast<double>(kMinimumIterations), estimate));
  if (m >= kLargeLimit) return k > 0 ? kCappedLimit : kNegativeKLimit;
  return k < 0 ? kNegativeKLimit : m;
}

// CG for the positive definite types, CGS otherwise, one right-hand side after the other;
// out holds the direct solution on entry.  iterations: the most any column needed.
template <typename T>
SolveOutcome iterate(SolverRecord* c, const Factorization* f, const SolveInput& in, const T* a,
                     const T* b, T* out, T* work, T* kwork, T* zero, int limit) {
  SolveOutcome o;
  o.krylov_ran = true;
  const int n = in.n;
  const int tr = c->transpose_mode;
  const bool definite = c->kind() == FactorKind::kCholesky;
  const double tolerance = in.tolerance_exponent > 0 ? std::pow(10.0, -in.tolerance_exponent)
                           : kIsSingle<T>            ? kDefaultToleranceSingle
                                                     : kDefaultToleranceDouble;
  const int patience = static_cast<int>(0.5 * limit + 1);
  SolveInput one = in;
  one.nrhs = 1;
  auto apply = [&](const T* v, T* y) {
    residual<T, T>(one, c->shape.conjugate, tr, c->conjugate_solve, a, zero, v, y);
    for (int i = 0; i < n; ++i) y[i] = -y[i];
  };
  auto precondition = [&](const T* v, T* y) {
    solve_with_factors<T>(c, f, 1, kStepsAll, tr, v, y, work);
  };
  for (int col = 0; col < in.nrhs; ++col) {
    const long off = static_cast<long>(col) * n;
    const KrylovResult r = definite
                               ? preconditioned_cg<T>(n, apply, precondition, b + off, out + off,
                                                      tolerance, limit, patience, kwork)
                               : preconditioned_cgs<T>(n, apply, precondition, b + off, out + off,
                                                       tolerance, limit, patience, kwork);
    if (r.failure != 0) {
      o.diagnostic = r.failure - 10 * r.iterations;
      o.steps_done = r.iterations;
      o.status = {kErrFactor, kFactorKrylov, 0};
      return o;
    }
    o.steps_done = std::max(o.steps_done, r.iterations);
  }
  o.diagnostic = o.steps_done;
  return o;
}

template <typename T>
bool get(WorkArray<T>& arr, WorkMemory* mem, std::size_t count, SolveOutcome* o, int stage) {
  if (arr.allocate(mem, count, "korvine solve")) return true;
  o->status = {kErrMemory, stage, static_cast<long long>(count * sizeof(T))};
  return false;
}

}  // namespace

namespace {

template <typename T>
SolveOutcome solve_and_refine_in(SolverRecord* c, const Factorization* f, const SolveInput& in,
                                 const T* a, const T* b, T* out) {
  SolveOutcome o;
  WorkMemory* mem = &c->factor_memory;
  const long count = static_cast<long>(in.n) * in.nrhs;
  const double t0 = platform().clock_seconds();
  WorkArray<T> work, bcopy;
  const std::size_t wsize = static_cast<std::size_t>(in.n + c->sn.longest) * in.nrhs;
  if (!get(work, mem, wsize, &o, kStageFactorWork)) return o;
  const bool partial = in.steps != kStepsAll || in.partial;
  const bool krylov = !partial && in.krylov != 0;
  const bool refines = !partial && !krylov && (in.max_steps != 0 || in.perturbed > 0);
  SolvePruning pruning;
  WorkArray<unsigned char> forward;
  if (in.partial) {
    if (!get(forward, mem, c->sn.count, &o, kStageFactorWork)) return o;
    pruning = {forward.get(), c->sn.wanted_supernodes.get(), c->sn.wanted.get()};
  }
  // The right-hand sides are kept when the solution overwrites them and refinement, or the
  // check of the direct solution, needs them.
  const T* rhs = b;
  if (!partial && out == b) {
    if (!get(bcopy, mem, count, &o, kStageRefinementWork)) return o;
    std::memcpy(bcopy.get(), b, sizeof(T) * count);
    rhs = bcopy.get();
  }
  solve_with_factors<T>(c, f, in.nrhs, in.steps, c->transpose_mode, b, out, work.get(),
                        in.partial ? &pruning : nullptr);
  c->time(kTimeSolve, platform().clock_seconds() - t0);
  if (in.partial && in.print_counts) {
    if (in.steps & kStepForward) print_unknowns(kSmProgressForward, pruning.forward_unknowns, in.n);
    if (in.steps & kStepBackward)
      print_unknowns(kSmProgressBackward, pruning.backward_unknowns, in.n);
  }
  if (krylov) {
    const int limit = krylov_limit(in.krylov, in.factor_seconds, c->timers[kTimeSolve]);
    if (limit < 1) return o;
    WorkArray<T> kwork, zero;
    if (!get(kwork, mem, 9 * static_cast<std::size_t>(in.n), &o, kStageRefinementWork) ||
        !get(zero, mem, in.n, &o, kStageRefinementWork))
      return o;
    std::fill(zero.get(), zero.get() + in.n, T(0));
    const double t1 = platform().clock_seconds();
    o = iterate<T>(c, f, in, a, rhs, out, work.get(), kwork.get(), zero.get(), limit);
    c->time(kTimeCgs, platform().clock_seconds() - t1);
    return o;
  }
  if (partial) return o;
  // The rule for refinement: the caller asks for steps (iparm[7] != 0), the factorization
  // perturbed pivots, or the direct solution's backward error, from a residual computed in
  // double precision, is above kStableBackwardError rounding units of the working precision.
  // In single precision the refinement computes its residual and accumulates the solution
  // in double precision (in extended precision with iparm[7] < 0), and rounds at the end.
  WorkArray<T> r, d;
  using Wide = WithReal<T, double>;
  using Extended = WithReal<T, long double>;
  WorkArray<Wide> xw, rw;
  WorkArray<double> sums;
  // The double solution and residual serve the check and the refinement in double; the
  // refinement in extended precision has its own.
  const bool in_double = in.max_steps >= 0;
  if (!get(sums, mem, 2 * static_cast<std::size_t>(in.n), &o, kStageRefinementWork) ||
      (in_double && (!get(xw, mem, count, &o, kStageRefinementWork) ||
                     !get(rw, mem, count, &o, kStageRefinementWork))))
    return o;
  const double norm_a = matrix_norm(in, a, sums.get());
  bool refine_now = refines;
  const bool checked = !refines;
  if (checked) {
    for (long i = 0; i < count; ++i) xw[i] = convert_value<Wide>(out[i]);
    residual<T, Wide>(in, c->shape.conjugate, c->transpose_mode, c->conjugate_solve, a, rhs,
                      xw.get(), rw.get());
    const double omega = backward_error(in.n, in.nrhs, rw.get(), xw.get(), rhs, norm_a);
    refine_now = omega > kStableBackwardError * rounding_unit<T>();
  }
  if (refine_now) {
    if (!get(r, mem, count, &o, kStageRefinementWork) ||
        !get(d, mem, count, &o, kStageRefinementWork))
      return o;
    if (in.max_steps < 0) {
      WorkArray<Extended> xe, re;
      if (!get(xe, mem, count, &o, kStageRefinementWork) ||
          !get(re, mem, count, &o, kStageRefinementWork))
        return o;
      o = refine<T, Extended>(c, f, in, a, rhs, out, work.get(), xe.get(), re.get(), r.get(),
                              d.get(), norm_a);
    } else {
      o = refine<T, Wide>(c, f, in, a, rhs, out, work.get(), xw.get(), rw.get(), r.get(), d.get(),
                          norm_a, checked);
    }
    c->timers[kTimeSolve] = platform().clock_seconds() - t0;
  }
  // A solution that is not finite is never a success: the factors could not solve this system.
  if (o.status.error == 0 && non_finite_solution(in.n, in.nrhs, rhs, out))
    o.status = {kErrFactor, kRefineContraction, 0};
  return o;
}

}  // namespace

template <typename T>
SolveOutcome solve_and_refine(SolverRecord* c, const Factorization* f, const SolveInput& in,
                              const T* a, const T* b, T* out) {
  SolveOutcome o = solve_and_refine_in(c, f, in, a, b, out);
  // Out of core, a block that could not be read leaves the solution meaningless whatever the
  // steps after it computed: the failure of the files is the outcome.
  const StageStatus w = f->store.window_failure();
  if (w.error != 0) o.status = w;
  return o;
}

#define ZTR_INSTANTIATE(T)                                                       \
  template SolveOutcome solve_and_refine<T>(SolverRecord*, const Factorization*, \
                                            const SolveInput&, const T*, const T*, T*);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
