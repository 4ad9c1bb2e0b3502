#include "sparse_solver/analysis/symbolic.h"

#include <algorithm>
#include <cstring>

#include "sparse_solver/analysis/analysis_arrays.h"
#include "sparse_solver/analysis/ordering/elimination_tree.h"

namespace ztr {
namespace {

using analysis_detail::from_order_code;
using analysis_detail::get;

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

}  // namespace

// Step 7: the scatter map.

StageStatus scatter_map(WorkMemory* mem, Supernodes* sn, const int* ia, const int* ja,
                        bool symmetric_storage) {
  const int n = sn->n;
  const int nnz = ia[n];
  StageStatus st;
  if (!get(sn->scatter, mem, nnz, &st, kStageAfterReordering)) return st;
  const bool sym = symmetric_storage;
  for (int i = 0; i < n; ++i)
    for (int e = ia[i]; e < ia[i + 1]; ++e) {
      const int j = ja[e];
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
      } else if (sym && pi < pj) {
        // A symmetric-storage entry that the ordering moved above the diagonal lands in L as
        // its mirror image (conjugated for Hermitian matrices): marked by the sign.
        sn->scatter[e] = -(base + 1);
      } else {
        sn->scatter[e] = in_u ? -(base + 1) : base + 1;
      }
    }
  return {};
}

StageStatus symbolic_factorization(WorkMemory* mem, Supernodes* sn, const int* xadj, const int* adj,
                                   const int* partner, int panel_width, bool has_u) {
  const int n = sn->n;
  StageStatus st;
  WorkArray<int> parent, count;
  WorkArray<unsigned char> keep;
  if (!get(parent, mem, n, &st, kStageBeforeSymbolic) ||
      !get(count, mem, n, &st, kStageBeforeSymbolic))
    return st;
  st = postorder(mem, n, xadj, adj, sn->perm.get(), parent.get(), count.get());
  if (st.error != 0) return st;
  if (partner != nullptr) {
    if (!get(keep, mem, n, &st, kStageAfterReordering)) return st;
    for (int k = 0; k < n; ++k) keep[k] = k + 1 < n && partner[sn->perm[k]] == sn->perm[k + 1];
  }
  st = find_supernodes(mem, sn, parent.get(), count.get(), panel_width, has_u,
                       partner != nullptr ? keep.get() : nullptr);
  if (st.error != 0) return st;
  return row_structures(mem, sn, xadj, adj, parent.get());
}

}  // namespace ztr
