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
// columns; the tree of the postordered matrix is the same tree relabelled), then the column
// counts of L.
StageStatus postorder(WorkMemory* mem, int n, const int* xadj, const int* adj, int* perm,
                      int* parent, int* count) {
  int code = elimination_tree(mem, n, xadj, adj, perm, parent);
  if (code == kOrderOk) code = postorder_relabel(mem, n, perm, parent);
  if (code == kOrderOk) code = column_counts(mem, n, xadj, adj, perm, parent, count);
  if (code != kOrderOk) return from_order_code(code, kStageBeforeSymbolic);
  return {};
}

// Relaxed supernodes (amalgamation of the assembly tree): a supernode absorbs a child when
// the merged block stores few explicit zeros, so that the dense kernels work on wider blocks
// and fewer, larger updates.  Up to kRelaxAlways columns merge regardless; up to
// kRelaxMedium columns while at most kRelaxMediumZeros of the stored entries are zero; wider
// ones (to the panel width) only below kRelaxWideZeros.
constexpr int kRelaxAlways = 4;
constexpr int kRelaxMedium = 32;
constexpr double kRelaxMediumZeros = 0.3;
constexpr double kRelaxWideZeros = 0.05;

bool worth_merging(double width, double rows, double actual) {
  const double stored = width * rows - width * (width - 1) / 2;
  const double zeros = (stored - actual) / stored;
  return width <= kRelaxAlways || (width <= kRelaxMedium && zeros <= kRelaxMediumZeros) ||
         zeros <= kRelaxWideZeros;
}

// Step 5: supernodes.  Fundamental ones first (a column joins its predecessor when it is the
// predecessor's parent and holds exactly one entry less), at most w columns.  Then, bottom
// up, each supernode absorbs those of its children that pass worth_merging, within w
// columns.  The columns of a merged supernode are not consecutive in the postorder, so the
// columns are renumbered: merged supernodes in the order of their top piece, each one's
// columns in their previous order.  That order is again a postorder of the elimination tree
// (every subtree stays contiguous), so the tree and the column counts only change labels and
// the fill is unchanged; perm, parent and count are renumbered in place.  A merged
// supernode's rows are its columns and the rows of its top piece below them.
// keep[j] != 0 (when given) asks not to end a piece at column j: it is the first column of a
// 2x2 pair, whose two columns then stay together through the renumbering.
StageStatus find_supernodes(WorkMemory* mem, Supernodes* sn, int* parent, int* count, int w,
                            bool has_u, const unsigned char* keep) {
  const int n = sn->n;
  StageStatus st;
  // Per piece q (numbered in column order): its first column, its tree parent, the piece
  // that absorbed it (-1: none), and the merged supernode it heads: width, row count, true
  // entries.  piece[j] is the piece of column j.
  WorkArray<int> piece, pfirst, pparent, into, width, rows, head, next;
  WorkArray<double> actual;
  if (!get(piece, mem, n, &st, kStageAfterReordering) ||
      !get(pfirst, mem, n + 1, &st, kStageAfterReordering))
    return st;
  int np = 0;
  for (int j = 0; j < n; ++j) {
    const int at = j - (np > 0 ? pfirst[np - 1] : 0);  // columns already in the piece
    const bool joins = j > 0 && parent[j - 1] == j && count[j] == count[j - 1] - 1 && at < w &&
                       !(keep != nullptr && keep[j] && at == w - 1 && at > 0);
    if (!joins) pfirst[np++] = j;
    piece[j] = np - 1;
  }
  pfirst[np] = n;
  if (!get(pparent, mem, np, &st, kStageAfterReordering) ||
      !get(into, mem, np, &st, kStageAfterReordering) ||
      !get(width, mem, np, &st, kStageAfterReordering) ||
      !get(rows, mem, np, &st, kStageAfterReordering) ||
      !get(head, mem, np, &st, kStageAfterReordering) ||
      !get(next, mem, np, &st, kStageAfterReordering) ||
      !get(actual, mem, np, &st, kStageAfterReordering))
    return st;
  std::fill(head.get(), head.get() + np, -1);
  for (int q = np - 1; q >= 0; --q) {
    const int p = parent[pfirst[q + 1] - 1];
    pparent[q] = p < 0 ? -1 : piece[p];
    into[q] = -1;
    width[q] = pfirst[q + 1] - pfirst[q];
    rows[q] = count[pfirst[q]];
    actual[q] = 0;
    for (int j = pfirst[q]; j < pfirst[q + 1]; ++j) actual[q] += count[j];
    if (pparent[q] >= 0) {
      next[q] = head[pparent[q]];
      head[pparent[q]] = q;
    }
  }
  // Children are finished before their parent: the pieces are in postorder.
  for (int q = 0; q < np; ++q)
    for (int c = head[q]; c >= 0; c = next[c]) {
      const int wide = width[q] + width[c];
      if (wide > w || !worth_merging(wide, rows[q] + width[c], actual[q] + actual[c])) continue;
      into[c] = q;
      width[q] = wide;
      rows[q] += width[c];
      actual[q] += actual[c];
    }
  // Resolve every piece to the top piece of its merged supernode (parents come later).
  for (int q = np - 1; q >= 0; --q)
    if (into[q] >= 0) into[q] = into[into[q]] >= 0 ? into[into[q]] : into[q];
  // New position of every column: offsets of the merged supernodes in the order of their top
  // piece (reusing `head`), then the columns in their order.
  int at = 0;
  for (int q = 0; q < np; ++q)
    if (into[q] < 0) {
      head[q] = at;
      at += width[q];
    }
  WorkArray<int> pos, tmp;
  if (!get(pos, mem, n, &st, kStageAfterReordering) ||
      !get(tmp, mem, n, &st, kStageAfterReordering))
    return st;
  for (int j = 0; j < n; ++j) {
    const int q = piece[j], top = into[q] >= 0 ? into[q] : q;
    pos[j] = head[top]++;
  }
  for (int j = 0; j < n; ++j) tmp[pos[j]] = sn->perm[j];
  std::memcpy(sn->perm.get(), tmp.get(), sizeof(int) * static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) tmp[pos[j]] = parent[j] < 0 ? -1 : pos[parent[j]];
  std::memcpy(parent, tmp.get(), sizeof(int) * static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) tmp[pos[j]] = count[j];
  std::memcpy(count, tmp.get(), sizeof(int) * static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) sn->iperm[sn->perm[k]] = k;
  // start[j] = 1 when column j begins a supernode; len at the first column: its row count.
  WorkArray<int> start, len;
  if (!get(start, mem, n, &st, kStageAfterReordering, true) ||
      !get(len, mem, n, &st, kStageAfterReordering))
    return st;
  for (int q = 0; q < np; ++q)
    if (into[q] < 0) {
      const int f = head[q] - width[q];
      start[f] = 1;
      len[f] = rows[q];
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
  // A zero diagonal entry of a symmetric indefinite matrix (the constraint rows of a saddle
  // point) is a pivot that only a 2x2 block with a neighbour can take; unless the ordering
  // keeps such a pair in one supernode, the block kernel finds nothing acceptable and must
  // perturb.  So the 2x2 pairs of the matching are formed for such a matrix even when the
  // caller did not ask for matching (its scaling then stays off).
  const bool pair_zero_diagonals = !in.matching && in.mtype == -2 && in.values != nullptr &&
                                   in.user_perm != 1 &&
                                   (in.single ? has_zero_diagonal<float>(copy, n, in.values)
                                              : has_zero_diagonal<double>(copy, n, in.values));
  if ((in.matching || pair_zero_diagonals) && in.mtype == -2) {
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
  c->timers[kTimeParlist] = now() - t3;
  c->timer_active[kTimeParlist] = true;
  if (in.user_perm == 2)
    for (int k = 0; k < n; ++k) in.perm[k] = sn->perm[k] + in.base;
  return st;
}

}  // namespace ztr
