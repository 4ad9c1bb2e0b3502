#include "sparse_solver/analysis.h"

#include <algorithm>
#include <cstring>

#include "service/platform.h"
#include "sparse_solver/handle.h"
#include "sparse_solver/matching.h"
#include "sparse_solver/ordering/elimination_tree.h"
#include "sparse_solver/ordering/ordering_codes.h"
#include "sparse_solver/ordering/reorder.h"
#include "sparse_solver/solve.h"
#include "sparse_solver/symmetric_matching.h"

namespace ztr {
namespace {

double now() {
  return platform().clock_seconds();
}

StageStatus no_memory(int stage, long long bytes) {
  return {kErrMemory, stage, bytes};
}

template <class T>
bool get(WorkArray<T>& a, WorkMemory* mem, std::size_t count, StageStatus* st, int stage,
         bool zero = false) {
  if (a.allocate(mem, count, "korvine analysis", zero)) return true;
  *st = no_memory(stage, static_cast<long long>(count * sizeof(T)));
  return false;
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
  const bool indefinite = in.mtype == -2 || in.mtype == -4 || in.mtype == 6;
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

StageStatus from_order_code(int code, int stage) {
  if (code == kOrderNoMemory) return no_memory(stage, 0);
  if (code == kOrderOverflow) return {kErrOverflow, 0, 0};
  return {kErrReordering, 0, 0};
}

// Step 3: the fill-reducing order, perm[k] = unknown at position k (zero-based).  With 2x2
// pairs the graph with each pair merged is ordered and the pairs expanded.  *bytes receives
// the ordering's own peak memory.
StageStatus order(WorkMemory* mem, const AnalysisInput& in, const int* xadj, const int* adj,
                  const int* partner, int* perm, long long* bytes) {
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
    const int code = reorder(nc, cxadj.get(), cadj.get(), in.ordering, in.threads, cperm.get(),
                             nullptr, nullptr, bytes);
    if (code != kOrderOk) return from_order_code(code, kStageBeforeReordering);
    expand_pair_order(nc, cperm.get(), first_of.get(), partner, perm);
    return {};
  }
  const int code = reorder(n, xadj, adj, in.ordering, in.threads, perm, nullptr, nullptr, bytes);
  if (code != kOrderOk) return from_order_code(code, kStageBeforeReordering);
  return {};
}

// Step 4: postorder the elimination tree (so that supernodes are runs of consecutive
// columns), then the column counts of L.
StageStatus postorder(WorkMemory* mem, int n, const int* xadj, const int* adj, int* perm,
                      int* parent, int* count) {
  WorkArray<int> post, tmp;
  StageStatus st;
  if (!get(post, mem, n, &st, kStageBeforeSymbolic) || !get(tmp, mem, n, &st, kStageBeforeSymbolic))
    return st;
  int code = elimination_tree(mem, n, xadj, adj, perm, parent);
  if (code == kOrderOk) code = tree_postorder(mem, n, parent, post.get());
  if (code != kOrderOk) return from_order_code(code, kStageBeforeSymbolic);
  for (int k = 0; k < n; ++k) tmp[k] = perm[post[k]];
  std::memcpy(perm, tmp.get(), sizeof(int) * static_cast<std::size_t>(n));
  code = elimination_tree(mem, n, xadj, adj, perm, parent);
  if (code == kOrderOk) code = column_counts(mem, n, xadj, adj, perm, parent, count);
  if (code != kOrderOk) return from_order_code(code, kStageBeforeSymbolic);
  return {};
}

// Relaxed supernodes: a supernode is merged into its parent when it sits just before it (it
// is the parent's last child in the postorder) and the merge stores few explicit zeros, so
// that the dense kernels work on wider blocks.  Up to kRelaxAlways columns merge regardless;
// up to kRelaxMedium columns while at most kRelaxMediumZeros of the stored entries are zero;
// wider ones (to the panel width) only below kRelaxWideZeros.
constexpr int kRelaxAlways = 8;
constexpr int kRelaxMedium = 32;
constexpr double kRelaxMediumZeros = 0.3;
constexpr double kRelaxWideZeros = 0.05;

// Step 5: supernodes.  Fundamental ones first (a column joins its predecessor when it is the
// predecessor's parent and holds exactly one entry less), then relaxed merges, all limited
// to w columns.  A merged supernode's rows are its columns and those of its last piece.
// keep[j] != 0 (when given) asks not to end a supernode at column j: it is the first column
// of a 2x2 pair.
StageStatus find_supernodes(WorkMemory* mem, Supernodes* sn, const int* parent, const int* count,
                            int w, bool has_u, const unsigned char* keep) {
  const int n = sn->n;
  StageStatus st;
  WorkArray<int> start, len;  // start[j] = 1 when column j begins a supernode
  if (!get(start, mem, n, &st, kStageAfterReordering) ||
      !get(len, mem, n, &st, kStageAfterReordering))
    return st;
  int gf = 0, gk = 0, glen = 0;  // the current group: first column, width, row count
  double gactual = 0;            // true entries of the group's columns
  for (int j = 0; j < n;) {
    // The fundamental piece starting at j.
    int e = j + 1;
    while (e < n && parent[e - 1] == e && count[e] == count[e - 1] - 1 && e - j < w) ++e;
    if (keep != nullptr && e < n && e - j == w && keep[e - 1] && e - 1 > j) --e;
    const int k = e - j;
    double actual = 0;
    for (int c = j; c < e; ++c) actual += count[c];
    bool merge = false;
    if (j > 0 && parent[j - 1] == j && gk + k <= w) {
      const double width = gk + k, rows = count[j] + gk;
      const double stored = width * rows - width * (width - 1) / 2;
      const double zeros = (stored - gactual - actual) / stored;
      merge = width <= kRelaxAlways || (width <= kRelaxMedium && zeros <= kRelaxMediumZeros) ||
              zeros <= kRelaxWideZeros;
    }
    if (merge) {
      start[j] = 0;
      gk += k;
      glen = count[j] + (j - gf);
      gactual += actual;
    } else {
      start[j] = 1;
      gf = j;
      gk = k;
      glen = count[j];
      gactual = actual;
    }
    for (int c = j + 1; c < e; ++c) start[c] = 0;
    len[gf] = glen;
    j = e;
  }
  int ns = 0;
  for (int j = 0; j < n; ++j) ns += start[j];
  if (!get(sn->first, mem, ns + 1, &st, kStageAfterReordering) ||
      !get(sn->owner, mem, n, &st, kStageAfterReordering) ||
      !get(sn->row_ptr, mem, ns + 1, &st, kStageAfterReordering) ||
      !get(sn->val_ptr, mem, ns + 1, &st, kStageAfterReordering))
    return st;
  int s = -1;
  for (int j = 0; j < n; ++j) {
    if (start[j]) sn->first[++s] = j;
    sn->owner[j] = s;
  }
  sn->first[ns] = n;
  sn->count = ns;
  sn->row_ptr[0] = 0;
  sn->val_ptr[0] = 0;
  for (s = 0; s < ns; ++s) {
    const long long rows = len[sn->first[s]];
    const long long k = sn->first[s + 1] - sn->first[s];
    sn->row_ptr[s + 1] = sn->row_ptr[s] + rows;
    sn->val_ptr[s + 1] = sn->val_ptr[s] + rows * k;
    sn->largest = std::max(sn->largest, static_cast<int>(k));
    sn->longest = std::max(sn->longest, static_cast<int>(rows));
    sn->nnz_l += k * (k + 1) / 2 + (rows - k) * k;
    if (has_u) sn->nnz_u += k * (k - 1) / 2 + (rows - k) * k;
  }
  for (int j = 0; j < n; ++j) sn->flops += static_cast<double>(count[j]) * count[j];
  if (has_u) sn->flops *= 2;
  sn->values = sn->val_ptr[ns];
  return {};
}

// Step 6: row structures.  A supernode's rows are its own columns, the entries of A below
// them, and the rows of its children below it; children come first in the postorder.
StageStatus row_structures(WorkMemory* mem, Supernodes* sn, const int* xadj, const int* adj,
                           const int* parent) {
  const int n = sn->n, ns = sn->count;
  StageStatus st;
  WorkArray<int> mark, head, next;
  if (!get(sn->lindx, mem, static_cast<std::size_t>(sn->row_ptr[ns]), &st, kStageAfterReordering) ||
      !get(mark, mem, n, &st, kStageAfterReordering) ||
      !get(head, mem, ns, &st, kStageAfterReordering) ||
      !get(next, mem, ns, &st, kStageAfterReordering))
    return st;
  std::fill(mark.get(), mark.get() + n, -1);
  std::fill(head.get(), head.get() + ns, -1);
  for (int s = 0; s < ns; ++s) {
    const int f = sn->first[s], l = sn->first[s + 1];
    int* rows = sn->lindx.get() + sn->row_ptr[s];
    int len = 0;
    for (int j = f; j < l; ++j) {
      rows[len++] = j;
      mark[j] = s;
    }
    auto add = [&](int r) {
      if (r >= l && mark[r] != s) {
        mark[r] = s;
        rows[len++] = r;
      }
    };
    for (int j = f; j < l; ++j) {
      const int v = sn->perm[j];
      for (int k = xadj[v]; k < xadj[v + 1]; ++k) add(sn->iperm[adj[k]]);
    }
    for (int c = head[s]; c >= 0; c = next[c]) {
      const int* crow = sn->lindx.get() + sn->row_ptr[c];
      const int clen = static_cast<int>(sn->row_ptr[c + 1] - sn->row_ptr[c]);
      for (int i = 0; i < clen; ++i) add(crow[i]);
    }
    if (len != sn->row_ptr[s + 1] - sn->row_ptr[s]) return {kErrReordering, 0, 0};
    std::sort(rows + (l - f), rows + len);
    const int p = parent[l - 1];
    if (p >= 0) {
      const int t = sn->owner[p];
      next[s] = head[t];
      head[t] = s;
    }
  }
  return {};
}

// Position of row r in supernode s's structure.
int row_position(const Supernodes& sn, int s, int r) {
  const int f = sn.first[s], l = sn.first[s + 1];
  if (r < l) return r - f;
  const int* rows = sn.lindx.get() + sn.row_ptr[s];
  const int len = static_cast<int>(sn.row_ptr[s + 1] - sn.row_ptr[s]);
  return static_cast<int>(std::lower_bound(rows + (l - f), rows + len, r) - rows);
}

// Step 7: the scatter map.
StageStatus scatter_map(WorkMemory* mem, Supernodes* sn, const MatrixCopy* copy, int mtype) {
  const int n = sn->n;
  const int nnz = copy->ia[n];
  StageStatus st;
  if (!get(sn->scatter, mem, nnz, &st, kStageAfterReordering)) return st;
  const bool sym = mtype_is_symmetric_storage(mtype);
  for (int i = 0; i < n; ++i)
    for (int e = copy->ia[i]; e < copy->ia[i + 1]; ++e) {
      const int j = copy->ja[e];
      sn->scatter[e] = 0;
      if (j < 0 || j >= n || (sym && j < i)) continue;
      const int pi = sn->iperm[i], pj = sn->iperm[j];
      const int col = std::min(pi, pj), row = std::max(pi, pj);
      const int s = sn->owner[col];
      const int f = sn->first[s];
      const long long len = sn->row_ptr[s + 1] - sn->row_ptr[s];
      const long long base = sn->val_ptr[s] + (col - f) * len + row_position(*sn, s, row);
      const bool in_u = !sym && pi < pj && row >= sn->first[s + 1];
      if (!sym && pi < pj && row < sn->first[s + 1]) {
        // Inside the diagonal block, which holds both triangles: row pi, column pj.
        sn->scatter[e] = sn->val_ptr[s] + (pj - f) * len + (pi - f) + 1;
      } else {
        sn->scatter[e] = in_u ? -(base + 1) : base + 1;
      }
    }
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
StageStatus match_symmetric(ControlRecord* c, MatrixCopy* copy, const AnalysisInput& in,
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

}  // namespace

StageStatus run_analysis(ControlRecord* c, MatrixCopy* copy, const AnalysisInput& in) {
  WorkMemory* mem = &c->analysis_memory;
  Supernodes* sn = &c->sn;
  const int n = in.n;
  sn->n = n;
  StageStatus st;
  double t0 = now();
  if (!copy_pattern(copy, in, &st)) return st;
  WorkArray<int> partner;
  int pairs = 0;
  if (in.matching && in.mtype == -2) {
    st = in.single ? match_symmetric<float>(c, copy, in, &partner, &pairs)
                   : match_symmetric<double>(c, copy, in, &partner, &pairs);
    if (st.error != 0) return st;
  } else if (in.matching) {
    st = in.single ? match<float>(mem, sn, copy, in) : match<double>(mem, sn, copy, in);
    if (st.error != 0) return st;
  }
  WorkArray<int> xadj, adj;
  if (!symmetric_portrait(mem, copy, n, &xadj, &adj, &st)) return st;
  double t1 = now();
  c->timers[kTimeFulladj] = t1 - t0;
  c->timer_active[kTimeFulladj] = true;
  if (!get(sn->perm, mem, n, &st, kStageBeforeReordering) ||
      !get(sn->iperm, mem, n, &st, kStageBeforeReordering))
    return st;
  long long ordering_bytes = 0;
  const long long in_use_before = mem->in_use.load() + copy->memory.in_use.load();
  st = order(mem, in, xadj.get(), adj.get(), pairs > 0 ? partner.get() : nullptr, sn->perm.get(),
             &ordering_bytes);
  c->ordering_peak = in_use_before + ordering_bytes;
  if (st.error != 0) return st;
  if (in.stop_after_reordering) {
    if (in.user_perm == 2)
      for (int k = 0; k < n; ++k) in.perm[k] = sn->perm[k] + in.base;
    return st;
  }
  double t2 = now();
  c->timers[kTimeReorder] = t2 - t1;
  c->timer_active[kTimeReorder] = true;
  {
    WorkArray<int> parent, count;
    WorkArray<unsigned char> keep;
    if (pairs > 0 && !join_pair_neighbourhoods(mem, n, partner.get(), &xadj, &adj))
      return no_memory(kStageBeforeSymbolic, 0);
    if (!get(parent, mem, n, &st, kStageBeforeSymbolic) ||
        !get(count, mem, n, &st, kStageBeforeSymbolic))
      return st;
    st = postorder(mem, n, xadj.get(), adj.get(), sn->perm.get(), parent.get(), count.get());
    if (st.error != 0) return st;
    for (int k = 0; k < n; ++k) sn->iperm[sn->perm[k]] = k;
    if (pairs > 0) {
      if (!get(keep, mem, n, &st, kStageAfterReordering)) return st;
      for (int k = 0; k < n; ++k) keep[k] = k + 1 < n && partner[sn->perm[k]] == sn->perm[k + 1];
    }
    st = find_supernodes(mem, sn, parent.get(), count.get(), in.panel_width, mtype_has_u(in.mtype),
                         pairs > 0 ? keep.get() : nullptr);
    if (st.error != 0) return st;
    st = row_structures(mem, sn, xadj.get(), adj.get(), parent.get());
    if (st.error != 0) return st;
  }
  double t3 = now();
  c->timers[kTimeSymbfct] = t3 - t2;
  c->timer_active[kTimeSymbfct] = true;
  st = scatter_map(mem, sn, copy, in.mtype);
  if (st.error != 0) return st;
  if (in.wanted >= 0) {
    if (!get(sn->wanted, mem, n, &st, kStageAfterReordering, true) ||
        !get(sn->wanted_supernodes, mem, sn->count, &st, kStageAfterReordering, true))
      return st;
    for (int k = n - in.wanted; k < n; ++k) {
      const int v = in.perm[k] - in.base;
      if (v >= 0 && v < n) sn->wanted[sn->iperm[v]] = 1;
    }
    for (int k = 0; k < n; ++k)
      if (sn->wanted[k]) sn->wanted_supernodes[sn->owner[k]] = 1;
    mark_ancestors(*sn, sn->wanted_supernodes.get());
  }
  c->timers[kTimeParlist] = now() - t3;
  c->timer_active[kTimeParlist] = true;
  if (in.user_perm == 2)
    for (int k = 0; k < n; ++k) in.perm[k] = sn->perm[k] + in.base;
  return st;
}

}  // namespace ztr
