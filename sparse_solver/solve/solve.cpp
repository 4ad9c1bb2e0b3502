#include "sparse_solver/solve/solve.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "sparse_solver/common/subtree_plan.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/common/wave_barrier.h"
#include "sparse_solver/common/block_team.h"
#include "sparse_solver/dense/dense_blocks.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr {
namespace {

template <typename T>
struct Solver {
  const Supernodes& sn;
  FactorBlocks<T> blocks;
  FactorShape shape;
  char tr;  // the transpose relating the factor's triangles ('C' for the Hermitian kinds)
  int nrhs;
  T* xp;                                 // n x nrhs, permuted order
  T* tmp;                                // longest x nrhs
  const unsigned char* fneed = nullptr;  // supernodes the forward step computes (null: all)
  const unsigned char* bneed = nullptr;  // likewise for the backward step
  // The parallel solve (see SubtreePlan): the unit being solved forward, whose updates of
  // rows outside it go to its accumulator (acc, acc_ld x nrhs, at pos[row] for the rows
  // below its root) instead of xp; and the tail's steps split into fixed blocks, on the team
  // when there is one.
  const int* unit_of = nullptr;
  int unit = -1;
  T* acc = nullptr;
  int acc_ld = 0;
  const int* pos = nullptr;
  BlockTeam* team = nullptr;
  bool split = false;

  int n() const { return sn.n; }
  int len(int s) const { return sn.len(s); }
  int width(int s) const { return sn.width(s); }
  const int* rows(int s) const { return sn.rows(s); }
  const T* lblock(int s) const { return blocks.lower(s); }
  const T* ublock(int s) const { return blocks.upper(s); }
  bool cholesky() const { return shape.kind == FactorKind::kCholesky; }
  bool indefinite() const { return kind_is_indefinite(shape.kind); }

  void swap_entries(int a, int b) {
    if (a == b) return;
    for (int r = 0; r < nrhs; ++r)
      std::swap(xp[a + static_cast<long>(r) * n()], xp[b + static_cast<long>(r) * n()]);
  }
  // The interchanges of block s in factorization order (forward) or reversed.
  void interchanges(int s, bool reverse) {
    const int f = sn.first[s], k = width(s);
    if (!indefinite()) {
      if (!reverse) {
        for (int j = 0; j < k; ++j) swap_entries(f + j, f + blocks.pivots()[f + j] - 1);
      } else {
        for (int j = k - 1; j >= 0; --j) swap_entries(f + j, f + blocks.pivots()[f + j] - 1);
      }
      return;
    }
    // Indefinite: a 2x2 pivot occupies two columns, each with its own interchange.
    if (!reverse) {
      for (int j = 0; j < k;) {
        const int p = blocks.pivots()[f + j];
        if (p > 0) {
          swap_entries(f + j, f + p - 1);
          ++j;
        } else {
          swap_entries(f + j, f - p - 1);
          swap_entries(f + j + 1, f - blocks.pivots()[f + j + 1] - 1);
          j += 2;
        }
      }
    } else {
      for (int j = k - 1; j >= 0;) {
        const int p = blocks.pivots()[f + j];
        if (p > 0) {
          swap_entries(f + j, f + p - 1);
          --j;
        } else {
          swap_entries(f + j, f - p - 1);
          swap_entries(f + j - 1, f - blocks.pivots()[f + j - 1] - 1);
          j -= 2;
        }
      }
    }
  }

  // Steps of at least this many multiply-adds are split (rows of 128 forward, columns of 32
  // backward) when `split` is on.
  static constexpr double kSplitWork = 65536.0;
  static constexpr int kSplitRows = 128;
  static constexpr int kSplitCols = 32;
  void for_blocks(int count, BlockTeam::Body body, const void* context) {
    if (team != nullptr) {
      team->run(count, body, context);
    } else {
      for (int b = 0; b < count; ++b) body(context, 0, b);
    }
  }
  struct Push {
    Solver* sv;
    int s;
    const T* m;
  };
  // Rows [r0, r1) of the rows below block s: x_rows -= M_rows * x_s.
  void push_rows(int s, const T* m, int r0, int r1) {
    const int k = width(s), ls = len(s), below = ls - k;
    block_gemm<T>('N', r1 - r0, nrhs, k, T(1), m + k + r0, ls, xp + sn.first[s], n(), T(0),
                  tmp + r0, below);
    const int* rs = rows(s) + k;
    for (int r = 0; r < nrhs; ++r)
      for (int i = r0; i < r1; ++i) {
        const int row = rs[i];
        const T v = tmp[i + static_cast<long>(r) * below];
        if (unit >= 0 && unit_of[sn.owner[row]] != unit)
          acc[pos[row] + static_cast<long>(r) * acc_ld] -= v;
        else
          xp[row + static_cast<long>(r) * n()] -= v;
      }
  }
  // x_below -= M * x_s for the rows below block s, M = the (len-k) x k block `m`.
  void push_below(int s, const T* m) {
    const int k = width(s), ls = len(s), below = ls - k;
    if (below == 0) return;
    if (split && static_cast<double>(below) * k * nrhs >= kSplitWork) {
      const Push p{this, s, m};
      for_blocks((below + kSplitRows - 1) / kSplitRows,
                 [](const void* context, int, int b) {
                   const Push& q = *static_cast<const Push*>(context);
                   const int all = q.sv->len(q.s) - q.sv->width(q.s);
                   q.sv->push_rows(q.s, q.m, b * kSplitRows, std::min(all, (b + 1) * kSplitRows));
                 },
                 &p);
      return;
    }
    push_rows(s, m, 0, below);
  }
  struct Pull {
    Solver* sv;
    int s;
    const T* m;
    char trans;
  };
  // x_s -= op(M) * x_below, op = ' (trans 'T') or ^H ('C').
  void pull_below(int s, const T* m, char trans) {
    const int k = width(s), ls = len(s), below = ls - k;
    if (below == 0) return;
    const int* rs = rows(s) + k;
    for (int r = 0; r < nrhs; ++r)
      for (int i = 0; i < below; ++i)
        tmp[i + static_cast<long>(r) * below] = xp[rs[i] + static_cast<long>(r) * n()];
    if (split && static_cast<double>(below) * k * nrhs >= kSplitWork) {
      const Pull p{this, s, m, trans};
      for_blocks((k + kSplitCols - 1) / kSplitCols,
                 [](const void* context, int, int b) {
                   const Pull& q = *static_cast<const Pull*>(context);
                   const int kk = q.sv->width(q.s), l = q.sv->len(q.s), c0 = b * kSplitCols;
                   const int c1 = std::min(kk, c0 + kSplitCols);
                   block_gemm<T>(q.trans, c1 - c0, q.sv->nrhs, l - kk, T(-1),
                                 q.m + kk + static_cast<long>(c0) * l, l, q.sv->tmp, l - kk, T(1),
                                 q.sv->xp + q.sv->sn.first[q.s] + c0, q.sv->n());
                 },
                 &p);
      return;
    }
    block_gemm<T>(trans, k, nrhs, below, T(-1), m + k, ls, tmp, below, T(1), xp + sn.first[s], n());
  }

  // One supernode of each step; false when the block could not be had (out of core: the
  // failure stays in the window).
  bool forward_one(int s) {
    if (fneed != nullptr && !fneed[s]) return true;
    if (!blocks.acquire(s)) return false;
    const int f = sn.first[s], k = width(s), ls = len(s);
    if (!cholesky()) interchanges(s, false);
    block_trsm<T>('L', 'L', 'N', cholesky() ? 'N' : 'U', k, nrhs, lblock(s), ls, xp + f, n());
    push_below(s, lblock(s));
    return true;
  }
  bool backward_one(int s) {
    if (bneed != nullptr && !bneed[s]) return true;
    if (!blocks.acquire(s)) return false;
    const int f = sn.first[s], k = width(s), ls = len(s);
    if (blocks.has_upper()) {
      pull_below(s, ublock(s), 'T');
      block_trsm<T>('L', 'U', 'N', 'N', k, nrhs, lblock(s), ls, xp + f, n());
    } else {
      pull_below(s, lblock(s), tr);
      block_trsm<T>('L', 'L', tr, cholesky() ? 'N' : 'U', k, nrhs, lblock(s), ls, xp + f, n());
      if (indefinite()) interchanges(s, true);
    }
    return true;
  }
  // A' x = b with A = (row-interchanged L) * U: U' first, then L' and the interchanges.
  bool forward_transposed_one(int s) {
    if (fneed != nullptr && !fneed[s]) return true;
    if (!blocks.acquire(s)) return false;
    const int f = sn.first[s], k = width(s), ls = len(s);
    block_trsm<T>('L', 'U', 'T', 'N', k, nrhs, lblock(s), ls, xp + f, n());
    push_below(s, ublock(s));
    return true;
  }
  bool backward_transposed_one(int s) {
    if (bneed != nullptr && !bneed[s]) return true;
    if (!blocks.acquire(s)) return false;
    const int f = sn.first[s], k = width(s), ls = len(s);
    pull_below(s, lblock(s), 'T');
    block_trsm<T>('L', 'L', 'T', 'U', k, nrhs, lblock(s), ls, xp + f, n());
    interchanges(s, true);
    return true;
  }
  bool down(int s, bool transposed) {
    return transposed ? forward_transposed_one(s) : forward_one(s);
  }
  bool up(int s, bool transposed) {
    return transposed ? backward_transposed_one(s) : backward_one(s);
  }
  // Out of core: the window reads ahead in the walk's direction.
  void walk(int step) const {
    if (blocks.window() != nullptr) blocks.window()->set_direction(step);
  }
  // The supernodes nodes[0 .. count) (all when null) in order, or in reverse order.
  void forward(const int* nodes, int count, bool transposed) {
    walk(1);
    for (int i = 0; i < count; ++i)
      if (!down(nodes != nullptr ? nodes[i] : i, transposed)) return;
  }
  void backward(const int* nodes, int count, bool transposed) {
    walk(-1);
    for (int i = count - 1; i >= 0; --i)
      if (!up(nodes != nullptr ? nodes[i] : i, transposed)) return;
  }
  void diagonal() {
    const T* dd = blocks.diagonal();  // indefinite kinds: D's diagonal, then its sub-diagonal
    if (dd == nullptr) return;
    const T* e = blocks.sub_diagonal();
    for (int j = 0; j < n();) {
      for (int r = 0; r < nrhs; ++r) {
        T* x = xp + static_cast<long>(r) * n();
        if (e[j] == T(0)) {
          x[j] /= dd[j];
        } else {
          PivotBlock2<T>(dd[j], e[j], dd[j + 1], shape.conjugate)
              .solve(x[j], x[j + 1], &x[j], &x[j + 1]);
        }
      }
      j += e[j] == T(0) ? 1 : 2;
    }
  }
};

// The steps over the plan's units (see SubtreePlan): forward, the units of each wave at the
// same time, their updates of the rows outside them gathered per unit and added in unit
// order after the wave, then the tail on the team; backward, the tail first and then the
// waves in reverse, where every unit reads only what is final.  False (nothing done) when
// the buffers could not be had.
template <typename T>
bool solve_over_plan(const SolverRecord* c, const Solver<T>& sv, int steps, bool transposed) {
  const SubtreePlan& plan = c->plan;
  const Supernodes& sn = c->sn;
  const int n = sn.n, nrhs = sv.nrhs, threads = std::max(1, c->factor_threads);
  WorkMemory mem;
  WorkArray<int> pos;
  WorkArray<T> acc, tmp;
  const std::size_t tmp_len = static_cast<std::size_t>(sn.longest) * nrhs;
  const long long* acc_start = plan.below_start.get();  // unit u's accumulator, per column
  if (!acc.allocate(&mem, static_cast<std::size_t>(acc_start[plan.units]) * nrhs,
                    "korvine solve") ||
      !pos.allocate(&mem, static_cast<std::size_t>(n) * threads, "korvine solve") ||
      !tmp.allocate(&mem, tmp_len * (threads - 1), "korvine solve"))
    return false;
  BlockTeam forward_team, backward_team;
  std::atomic<int> next_unit{0};
  WaveBarrier barrier;
  const int* tail = plan.order.get() + plan.tail_start;
  const int tail_count = sn.count - plan.tail_start;
  auto body = [&](int tid, int nt) {
    Solver<T> me = sv;
    if (tid > 0) me.tmp = tmp.get() + tmp_len * static_cast<std::size_t>(tid - 1);
    me.unit_of = plan.unit_of.get();
    int* my_pos = pos.get() + static_cast<std::size_t>(n) * tid;
    me.pos = my_pos;
    // The units of wave w, each once, on whichever thread takes it (or its owner).
    auto each_unit = [&](int w, auto&& run) {
      if (tid == 0) next_unit.store(plan.wave_start[w]);
      barrier.wait(nt);
      plan.run_wave(w, tid, nt, &next_unit, run);
      barrier.wait(nt);
    };
    auto on_tail = [&](BlockTeam* team, auto&& run) {
      if (tid == 0) {
        me.team = nt > 1 ? team : nullptr;
        me.split = true;
        run();
        me.team = nullptr;
        me.split = false;
        team->stop();
      } else {
        team->serve(tid);
      }
      barrier.wait(nt);
    };
    if (steps & kStepForward) {
      for (int w = 0; w < plan.waves; ++w) {
        each_unit(w, [&](int u) {
          const int r = plan.unit_root[u], k = sn.width(r), below = sn.len(r) - k;
          const int* rs = sn.rows(r) + k;
          for (int i = 0; i < below; ++i) my_pos[rs[i]] = i;
          me.unit = u;
          me.acc = acc.get() + static_cast<std::size_t>(acc_start[u]) * nrhs;
          me.acc_ld = below;
          std::fill(me.acc, me.acc + static_cast<std::size_t>(below) * nrhs, T(0));
          me.forward(plan.unit_nodes(u), plan.unit_size(u), transposed);
          me.unit = -1;
        });
        if (tid == 0)
          for (int u = plan.wave_start[w]; u < plan.wave_start[w + 1]; ++u) {
            const int r = plan.unit_root[u], k = sn.width(r), below = sn.len(r) - k;
            const int* rs = sn.rows(r) + k;
            const T* a = acc.get() + static_cast<std::size_t>(acc_start[u]) * nrhs;
            for (int q = 0; q < nrhs; ++q)
              for (int i = 0; i < below; ++i)
                me.xp[rs[i] + static_cast<long>(q) * n] += a[i + static_cast<long>(q) * below];
          }
      }
      on_tail(&forward_team, [&] { me.forward(tail, tail_count, transposed); });
    }
    if (steps & kStepDiagonal) {
      if (tid == 0) me.diagonal();
      barrier.wait(nt);
    }
    if (steps & kStepBackward) {
      on_tail(&backward_team, [&] { me.backward(tail, tail_count, transposed); });
      for (int w = plan.waves - 1; w >= 0; --w)
        each_unit(w,
                  [&](int u) { me.backward(plan.unit_nodes(u), plan.unit_size(u), transposed); });
    }
  };
  if (threads > 1) {
#pragma omp parallel num_threads(threads)
    body(omp_get_thread_num(), omp_get_num_threads());
  } else {
    body(0, 1);
  }
  return true;
}

int computed_unknowns(const Supernodes& sn, const unsigned char* need) {
  int count = 0;
  for (int s = 0; s < sn.count; ++s)
    if (need[s]) count += sn.first[s + 1] - sn.first[s];
  return count;
}

}  // namespace

template <typename T>
void solve_with_factors(const SolverRecord* c, const Factorization* f, int nrhs, int steps,
                        int transpose, const T* b, T* x, T* work, SolvePruning* pruning) {
  const Supernodes& sn = c->sn;
  const int n = sn.n;
  T* xp = work;
  const FactorBlocks<T> blocks = f->store.blocks<T>(sn);
  Solver<T> sv{sn,
               blocks,
               c->shape,
               shape_transpose(c->shape),
               nrhs,
               xp,
               work + static_cast<long>(n) * nrhs};
  // A symmetric-storage matrix is its own transpose (complex symmetric) or conjugate transpose
  // (Hermitian), the only transposed modes those types keep.  A full-pattern complex matrix
  // solves A^H x = b as A' conj(x) = conj(b): the values are conjugated as they come in from
  // the caller and as they go out to the caller, so that separate steps stay consistent.
  if (blocks.window() != nullptr) blocks.window()->set_solving(true);
  const bool tr = transpose != 0 && blocks.has_upper();
  // conj(A) x = b, asked for a symmetric-storage complex matrix, is A conj(x) = conj(b).
  const bool conj_io = kIsComplex<T> && ((tr && transpose == 1) || c->conjugate_solve);
  // The factored matrix is Dr*A*Q*Dc (identity Q and unit scales without matching): A*x = b
  // is solved as (Dr*A*Q*Dc) z = Dr*b, x = Q*Dc*z, and A'*x = b as (Dr*A*Q*Dc)' w = Dc*Q'*b,
  // x = Dr*w.  Position k holds unknown perm[k] of the factored matrix.
  const int* q = sn.matched.get();
  const double* dr = sn.row_scale.get();
  const double* dc = sn.col_scale.get();
  auto in_index = [&](int k) { return tr && q != nullptr ? q[sn.perm[k]] : sn.perm[k]; };
  auto out_index = [&](int k) { return !tr && q != nullptr ? q[sn.perm[k]] : sn.perm[k]; };
  auto in_scale = [&](int k) -> T {
    if (dr == nullptr) return T(1);
    return static_cast<T>(tr ? dc[in_index(k)] : dr[in_index(k)]);
  };
  auto out_scale = [&](int k) -> T {
    if (dr == nullptr) return T(1);
    return static_cast<T>(tr ? dr[out_index(k)] : dc[out_index(k)]);
  };
  // A partial solve leaves its data in the factored matrix's order between the steps: the
  // caller's order comes in with the forward step and goes out with the backward one.
  const bool from_caller = (steps & kStepForward) != 0, to_caller = (steps & kStepBackward) != 0;
  for (int r = 0; r < nrhs; ++r)
    for (int k = 0; k < n; ++k)
      xp[k + static_cast<long>(r) * n] =
          from_caller ? conj_if(conj_io, b[in_index(k) + static_cast<long>(r) * n]) * in_scale(k)
                      : b[k + static_cast<long>(r) * n];
  if (pruning != nullptr) {
    if (steps & kStepForward) {
      for (int s = 0; s < sn.count; ++s) {
        unsigned char nonzero = 0;
        for (int r = 0; r < nrhs && !nonzero; ++r)
          for (int k = sn.first[s]; k < sn.first[s + 1] && !nonzero; ++k)
            nonzero = xp[k + static_cast<long>(r) * n] != T(0);
        pruning->forward[s] = nonzero;
      }
      mark_ancestors(sn, pruning->forward);
      sv.fneed = pruning->forward;
      pruning->forward_unknowns = computed_unknowns(sn, pruning->forward);
    }
    if (steps & kStepBackward) {
      sv.bneed = pruning->backward;
      pruning->backward_unknowns = computed_unknowns(sn, pruning->backward);
    }
  }
  // Over the plan where the factorization used it (reproducible results on any number of
  // threads); in order otherwise, and out of core, where the window is walked in order.
  const bool planned =
      blocks.window() == nullptr && !c->plan.empty() && (c->factor_threads > 1 || c->reproducible);
  if (!planned || !solve_over_plan(c, sv, steps, tr)) {
    if (steps & kStepForward) sv.forward(nullptr, sn.count, tr);
    if (steps & kStepDiagonal) sv.diagonal();
    if (steps & kStepBackward) sv.backward(nullptr, sn.count, tr);
  }
  for (int r = 0; r < nrhs; ++r)
    for (int k = 0; k < n; ++k) {
      const bool dropped =
          to_caller && pruning != nullptr && pruning->wanted != nullptr && !pruning->wanted[k];
      const T v = dropped ? T(0) : xp[k + static_cast<long>(r) * n];
      if (to_caller)
        x[out_index(k) + static_cast<long>(r) * n] = conj_if(conj_io, v) * out_scale(k);
      else
        x[k + static_cast<long>(r) * n] = v;
    }
}

#define ZTR_INSTANTIATE(T)                                                                      \
  template void solve_with_factors<T>(const SolverRecord*, const Factorization*, int, int, int, \
                                      const T*, T*, T*, SolvePruning*);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
