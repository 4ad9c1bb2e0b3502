#include "sparse_solver/analysis/analysis.h"

#include <algorithm>
#include <cstring>

#include "service/platform.h"
#include "sparse_solver/analysis/analysis_arrays.h"
#include "sparse_solver/analysis/matching.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/reorder.h"
#include "sparse_solver/analysis/symbolic.h"
#include "sparse_solver/analysis/symmetric_matching.h"

namespace ztr {
namespace {

using analysis_detail::from_order_code;
using analysis_detail::get;
using analysis_detail::no_memory;

double now() {
  return platform().clock_seconds();
}

// Step 1: the zero-based copy of the pattern, and the rows of a symmetric indefinite matrix
// whose diagonal is absent (they are factored as if a zero diagonal entry were stored; the
// factor always holds the diagonal, so no value needs to be inserted).
bool copy_pattern(MatrixCopy* copy, const AnalysisInput& in, StageStatus* st) {
  const int n = in.n, nnz = in.ia[n] - in.base;
  if (!get(copy->ia, &copy->memory, n + 1, st, kStageOwnCopies) ||
      !get(copy->ja, &copy->memory, nnz, st, kStageOwnCopies))
    return false;
  for (int i = 0; i <= n; ++i) copy->ia[i] = in.ia[i] - in.base;
  for (int k = 0; k < nnz; ++k) copy->ja[k] = in.ja[k] - in.base;
  int missing = 0;
  const bool indefinite = kind_is_indefinite(in.shape.kind);
  if (indefinite) {
    for (int i = 0; i < n; ++i)
      if (copy->ia[i] == copy->ia[i + 1] || copy->ja[copy->ia[i]] != i) ++missing;
    if (missing > 0) {
      if (!get(copy->inserted, &copy->memory, missing, st, kStageOwnCopies)) return false;
      int m = 0;
      for (int i = 0; i < n; ++i)
        if (copy->ia[i] == copy->ia[i + 1] || copy->ja[copy->ia[i]] != i) copy->inserted[m++] = i;
    }
  }
  return true;
}

// Step 2: the pattern of A + A' without the diagonal, zero-based.  Entries outside 0..n-1
// (possible when the checker is off) are dropped rather than read out of bounds.
bool symmetric_portrait(WorkMemory* mem, const MatrixCopy* copy, int n, WorkArray<int>* xadj,
                        WorkArray<int>* adj, StageStatus* st) {
  WorkArray<int> deg;
  if (!get(deg, mem, n + 1, st, kStageBeforeReordering, true)) return false;
  const int* ia = copy->ia.get();
  const int* ja = copy->ja.get();
  for (int i = 0; i < n; ++i)
    for (int k = ia[i]; k < ia[i + 1]; ++k) {
      const int j = ja[k];
      if (j == i || j < 0 || j >= n) continue;
      ++deg[i];
      ++deg[j];
    }
  if (!get(*xadj, mem, n + 1, st, kStageBeforeReordering)) return false;
  long long total = 0;
  for (int i = 0; i < n; ++i) total += deg[i];
  if (!get(*adj, mem, static_cast<std::size_t>(total), st, kStageBeforeReordering)) return false;
  (*xadj)[0] = 0;
  for (int i = 0; i < n; ++i) (*xadj)[i + 1] = (*xadj)[i] + deg[i];
  for (int i = 0; i < n; ++i) deg[i] = (*xadj)[i];
  for (int i = 0; i < n; ++i)
    for (int k = ia[i]; k < ia[i + 1]; ++k) {
      const int j = ja[k];
      if (j == i || j < 0 || j >= n) continue;
      (*adj)[deg[i]++] = j;
      (*adj)[deg[j]++] = i;
    }
  // Sort each row and drop the duplicates that a full-pattern matrix gives (a_ij and a_ji).
  int out = 0;
  for (int i = 0; i < n; ++i) {
    const int lo = (*xadj)[i], hi = (*xadj)[i + 1];
    std::sort(adj->get() + lo, adj->get() + hi);
    (*xadj)[i] = out;
    for (int k = lo; k < hi; ++k)
      if (k == lo || (*adj)[k] != (*adj)[k - 1]) (*adj)[out++] = (*adj)[k];
  }
  (*xadj)[n] = out;
  return true;
}

// Step 3: the fill-reducing order, perm[k] = unknown at position k (zero-based).  With 2x2
// pairs the graph with each pair merged is ordered and the pairs expanded.  *bytes receives
// the ordering's own peak memory.
StageStatus order(WorkMemory* mem, const AnalysisInput& in, const int* xadj, const int* adj,
                  const int* partner, int* perm, int* tree, int* parts, long long* bytes) {
  const int n = in.n;
  if (in.user_perm == 1) {
    WorkArray<unsigned char> seen;
    StageStatus st;
    if (!get(seen, mem, n, &st, kStageBeforeReordering, true)) return st;
    for (int k = 0; k < n; ++k) {
      const int v = in.perm[k] - in.base;
      if (v < 0 || v >= n || seen[v]) return {kErrReordering, 0, 0};
      seen[v] = 1;
      perm[k] = v;
    }
    return {};
  }
  if (partner != nullptr) {
    WorkArray<int> cxadj, cadj, first_of, cperm;
    StageStatus st;
    int nc = 0;
    if (!merge_pairs(mem, n, xadj, adj, partner, &cxadj, &cadj, &first_of, &nc))
      return no_memory(kStageBeforeReordering, 0);
    if (!get(cperm, mem, nc, &st, kStageBeforeReordering)) return st;
    // The tree's positions would be those of the merged graph: only the part count goes in
    // (it sets how many levels are ordered in parallel).
    *parts = std::max(1, *parts);
    const int code = reorder(nc, cxadj.get(), cadj.get(), in.ordering, in.threads, cperm.get(),
                             nullptr, parts, bytes);
    if (code != kOrderOk) return from_order_code(code, kStageBeforeReordering);
    expand_pair_order(nc, cperm.get(), first_of.get(), partner, perm);
    return {};
  }
  const int code = reorder(n, xadj, adj, in.ordering, in.threads, perm, tree, parts, bytes);
  if (code != kOrderOk) return from_order_code(code, kStageBeforeReordering);
  return {};
}

// Step 1b: the weighted matching and scaling of a full-pattern matrix; the copy's columns are
// relabelled to those of B = A*Q.
template <typename T>
StageStatus match(WorkMemory* mem, Supernodes* sn, MatrixCopy* copy, const AnalysisInput& in) {
  const int n = in.n;
  const int nnz = copy->ia[n];
  StageStatus st;
  if (!get(sn->matched, mem, n, &st, kStageMatching) ||
      !get(sn->row_scale, mem, n, &st, kStageMatching) ||
      !get(sn->col_scale, mem, n, &st, kStageMatching))
    return st;
  int count = 0;
  const int code =
      weighted_matching<T>(mem, n, copy->ia.get(), copy->ja.get(), static_cast<const T*>(in.values),
                           sn->matched.get(), sn->row_scale.get(), sn->col_scale.get(), &count);
  if (code == -2) return no_memory(kStageMatching, 0);
  if (code == 1) return {kErrStructurallySingular, count, 0};
  WorkArray<int> label;
  if (!get(label, mem, n, &st, kStageMatching)) return st;
  for (int r = 0; r < n; ++r) label[sn->matched[r]] = r;
  if (in.scaling) {
    if (!get(sn->entry_scale, mem, nnz, &st, kStageMatching)) return st;
    for (int i = 0; i < n; ++i)
      for (int e = copy->ia[i]; e < copy->ia[i + 1]; ++e) {
        const int j = copy->ja[e];
        sn->entry_scale[e] = (j >= 0 && j < n) ? sn->row_scale[i] * sn->col_scale[j] : 0.0;
      }
  } else {
    sn->row_scale.release();
    sn->col_scale.release();
  }
  for (int e = 0; e < nnz; ++e) {
    const int j = copy->ja[e];
    if (j >= 0 && j < n) copy->ja[e] = label[j];
  }
  return st;
}

// Step 1b for symmetric indefinite matrices: the symmetric scale and the 2x2 pairs
// (partner, n entries).  A structurally singular matrix is factored without them.
template <typename T>
StageStatus match_symmetric(SolverRecord* c, MatrixCopy* copy, const AnalysisInput& in,
                            WorkArray<int>* partner, int* pairs) {
  WorkMemory* mem = &c->analysis_memory;
  Supernodes* sn = &c->sn;
  const int n = in.n;
  StageStatus st;
  WorkArray<double> d;
  if (!get(d, mem, n, &st, kStageMatching) || !get(*partner, mem, n, &st, kStageMatching))
    return st;
  const int code =
      symmetric_matching<T>(mem, n, copy->ia.get(), copy->ja.get(),
                            static_cast<const T*>(in.values), d.get(), partner->get(), pairs);
  if (code == -2) return no_memory(kStageMatching, 0);
  if (code != 0 || in.user_perm == 1) *pairs = 0;  // a given order need not keep pairs together
  if (code != 0) {
    c->matching = c->scaling = false;
    partner->release();
    return st;
  }
  if (*pairs == 0) partner->release();
  if (!in.scaling) return st;
  const int nnz = copy->ia[n];
  if (!get(sn->row_scale, mem, n, &st, kStageMatching) ||
      !get(sn->col_scale, mem, n, &st, kStageMatching) ||
      !get(sn->entry_scale, mem, nnz, &st, kStageMatching))
    return st;
  for (int i = 0; i < n; ++i) sn->row_scale[i] = sn->col_scale[i] = d[i];
  for (int i = 0; i < n; ++i)
    for (int e = copy->ia[i]; e < copy->ia[i + 1]; ++e) {
      const int j = copy->ja[e];
      sn->entry_scale[e] = (j >= 0 && j < n) ? d[i] * d[j] : 0.0;
    }
  return st;
}

// True when some row of the symmetric indefinite matrix has no diagonal entry or a zero one
// (its values in the copy's entry order).
template <typename T>
bool has_zero_diagonal(const MatrixCopy* copy, int n, const void* values) {
  const T* a = static_cast<const T*>(values);
  for (int i = 0; i < n; ++i) {
    bool nonzero = false;
    for (int e = copy->ia[i]; e < copy->ia[i + 1]; ++e)
      if (copy->ja[e] == i && a[e] != T(0)) nonzero = true;
    if (!nonzero) return true;
  }
  return false;
}

}  // namespace

StageStatus run_analysis(SolverRecord* c, MatrixCopy* copy, const AnalysisInput& in) {
  WorkMemory* mem = &c->analysis_memory;
  Supernodes* sn = &c->sn;
  const int n = in.n;
  sn->n = n;
  StageStatus st;
  double t0 = now();
  if (!copy_pattern(copy, in, &st)) return st;
  WorkArray<int> partner;
  int pairs = 0;
  // A zero diagonal entry of a symmetric indefinite matrix (the constraint rows of a saddle
  // point) is a pivot that only a 2x2 block with a neighbour can take; unless the ordering
  // keeps such a pair in one supernode, the block kernel finds nothing acceptable and must
  // perturb.  So the 2x2 pairs of the matching are formed for such a matrix even when the
  // caller did not ask for matching (its scaling then stays off).
  const bool indefinite = kind_is_indefinite(in.shape.kind);
  const bool pair_zero_diagonals = !in.matching && indefinite && in.values != nullptr &&
                                   in.user_perm != 1 && with_value_kind(in.value, [&](auto t) {
                                     return has_zero_diagonal<decltype(t)>(copy, n, in.values);
                                   });
  if ((in.matching || pair_zero_diagonals) && indefinite) {
    st = with_value_kind(in.value, [&](auto t) {
      return match_symmetric<decltype(t)>(c, copy, in, &partner, &pairs);
    });
    if (st.error != 0) return st;
    // The ordering sees each pair as one vertex: the matching's graph of n - pairs vertices
    // bounds the subgraphs instead of n.
    if (in.matching) c->subgraphs = subgraph_count(c->subgraphs, n - pairs);
  } else if (in.matching) {
    st = with_value_kind(in.value, [&](auto t) { return match<decltype(t)>(mem, sn, copy, in); });
    if (st.error != 0) return st;
  }
  WorkArray<int> xadj, adj;
  if (!symmetric_portrait(mem, copy, n, &xadj, &adj, &st)) return st;
  double t1 = now();
  c->time(kTimeFulladj, t1 - t0);
  if (!get(sn->perm, mem, n, &st, kStageBeforeReordering) ||
      !get(sn->iperm, mem, n, &st, kStageBeforeReordering))
    return st;
  long long ordering_bytes = 0;
  const long long in_use_before = mem->in_use.load() + copy->memory.in_use.load();
  // The separator tree of the top levels, for as many parts as the parallel factorization
  // plans (the top levels of the parallel nested dissection are ordered concurrently).
  c->separator_parts = c->subgraphs;
  if (!get(c->separator_tree, mem, 4 * static_cast<std::size_t>(c->subgraphs), &st,
           kStageBeforeReordering))
    return st;
  st = order(mem, in, xadj.get(), adj.get(), pairs > 0 ? partner.get() : nullptr, sn->perm.get(),
             c->separator_tree.get(), &c->separator_parts, &ordering_bytes);
  c->ordering_peak = in_use_before + ordering_bytes;
  if (st.error != 0) return st;
  if (in.stop_after_reordering) {
    if (in.user_perm == 2)
      for (int k = 0; k < n; ++k) in.perm[k] = sn->perm[k] + in.base;
    return st;
  }
  double t2 = now();
  c->time(kTimeReorder, t2 - t1);
  if (pairs > 0 && !join_pair_neighbourhoods(mem, n, partner.get(), &xadj, &adj))
    return no_memory(kStageBeforeSymbolic, 0);
  st = symbolic_factorization(mem, sn, xadj.get(), adj.get(), pairs > 0 ? partner.get() : nullptr,
                              in.panel_width, kind_has_u(in.shape.kind));
  if (st.error != 0) return st;
  double t3 = now();
  c->time(kTimeSymbfct, t3 - t2);
  st = scatter_map(mem, sn, copy->ia.get(), copy->ja.get(), in.symmetric_storage);
  if (st.error != 0) return st;
  if (in.wanted >= 0) {
    if (!get(sn->wanted, mem, n, &st, kStageAfterReordering, true) ||
        !get(sn->wanted_supernodes, mem, sn->count, &st, kStageAfterReordering, true))
      return st;
    // The wanted components are the caller's unknowns.  After a matching (B = A*Q) the
    // solution of B's system is Q' times A's, so that A's unknown v is B's unknown
    // label[v]; a transposed solve's unknowns are B's rows, which are A's.
    WorkArray<int> label;
    const bool relabel = sn->matched.get() != nullptr && c->transpose_mode == 0;
    if (relabel) {
      if (!get(label, mem, n, &st, kStageAfterReordering)) return st;
      for (int r = 0; r < n; ++r) label[sn->matched[r]] = r;
    }
    for (int k = n - in.wanted; k < n; ++k) {
      const int v = in.perm[k] - in.base;
      if (v >= 0 && v < n) sn->wanted[sn->iperm[relabel ? label[v] : v]] = 1;
    }
    for (int k = 0; k < n; ++k)
      if (sn->wanted[k]) sn->wanted_supernodes[sn->owner[k]] = 1;
    mark_ancestors(*sn, sn->wanted_supernodes.get());
  }
  // The units of the parallel factorization and solve.
  st = build_subtree_plan(*sn, c->subgraphs, c->two_level, mem, &c->plan);
  if (st.error != 0) return st;
  c->time(kTimeParlist, now() - t3);
  if (in.user_perm == 2)
    for (int k = 0; k < n; ++k) in.perm[k] = sn->perm[k] + in.base;
  return st;
}

}  // namespace ztr
