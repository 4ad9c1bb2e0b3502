#include "sparse_solver/solve/solve.h"

#include <utility>

#include "sparse_solver/common/value_types.h"
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

  // x_below -= M * x_s for the rows below block s, M = the (len-k) x k block `m`.
  void push_below(int s, const T* m) {
    const int k = width(s), ls = len(s), below = ls - k;
    if (below == 0) return;
    block_gemm<T>('N', below, nrhs, k, T(1), m + k, ls, xp + sn.first[s], n(), T(0), tmp, below);
    const int* rs = rows(s) + k;
    for (int r = 0; r < nrhs; ++r)
      for (int i = 0; i < below; ++i)
        xp[rs[i] + static_cast<long>(r) * n()] -= tmp[i + static_cast<long>(r) * below];
  }
  // x_s -= op(M) * x_below, op = ' (trans 'T') or ^H ('C').
  void pull_below(int s, const T* m, char trans) {
    const int k = width(s), ls = len(s), below = ls - k;
    if (below == 0) return;
    const int* rs = rows(s) + k;
    for (int r = 0; r < nrhs; ++r)
      for (int i = 0; i < below; ++i)
        tmp[i + static_cast<long>(r) * below] = xp[rs[i] + static_cast<long>(r) * n()];
    block_gemm<T>(trans, k, nrhs, below, T(-1), m + k, ls, tmp, below, T(1), xp + sn.first[s], n());
  }

  void forward() {
    for (int s = 0; s < sn.count; ++s) {
      if (fneed != nullptr && !fneed[s]) continue;
      if (!blocks.acquire(s)) return;  // out of core: the failure stays in the window
      const int f = sn.first[s], k = width(s), ls = len(s);
      if (!cholesky()) interchanges(s, false);
      block_trsm<T>('L', 'L', 'N', cholesky() ? 'N' : 'U', k, nrhs, lblock(s), ls, xp + f, n());
      push_below(s, lblock(s));
    }
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
  void backward() {
    for (int s = sn.count - 1; s >= 0; --s) {
      if (bneed != nullptr && !bneed[s]) continue;
      if (!blocks.acquire(s)) return;
      const int f = sn.first[s], k = width(s), ls = len(s);
      if (blocks.has_upper()) {
        pull_below(s, ublock(s), 'T');
        block_trsm<T>('L', 'U', 'N', 'N', k, nrhs, lblock(s), ls, xp + f, n());
      } else {
        pull_below(s, lblock(s), tr);
        block_trsm<T>('L', 'L', tr, cholesky() ? 'N' : 'U', k, nrhs, lblock(s), ls, xp + f, n());
        if (indefinite()) interchanges(s, true);
      }
    }
  }
  // A' x = b with A = (row-interchanged L) * U: U' first, then L' and the interchanges.
  void forward_transposed() {
    for (int s = 0; s < sn.count; ++s) {
      if (fneed != nullptr && !fneed[s]) continue;
      if (!blocks.acquire(s)) return;  // out of core: the failure stays in the window
      const int f = sn.first[s], k = width(s), ls = len(s);
      block_trsm<T>('L', 'U', 'T', 'N', k, nrhs, lblock(s), ls, xp + f, n());
      push_below(s, ublock(s));
    }
  }
  void backward_transposed() {
    for (int s = sn.count - 1; s >= 0; --s) {
      if (bneed != nullptr && !bneed[s]) continue;
      if (!blocks.acquire(s)) return;
      const int f = sn.first[s], k = width(s), ls = len(s);
      pull_below(s, lblock(s), 'T');
      block_trsm<T>('L', 'L', 'T', 'U', k, nrhs, lblock(s), ls, xp + f, n());
      interchanges(s, true);
    }
  }
};

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
  if (steps & kStepForward) tr ? sv.forward_transposed() : sv.forward();
  if (steps & kStepDiagonal) sv.diagonal();
  if (steps & kStepBackward) tr ? sv.backward_transposed() : sv.backward();
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
