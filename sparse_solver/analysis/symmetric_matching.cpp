#include "sparse_solver/analysis/symmetric_matching.h"

#include <algorithm>
#include <cmath>

#include "sparse_solver/analysis/matching.h"
#include "sparse_solver/common/value_types.h"

namespace ztr {

template <typename T>
int symmetric_matching(WorkMemory* mem, int n, const int* ia, const int* ja, const T* a, double* d,
                       int* partner, int* pairs) {
  // The full matrix from the upper triangle (entries below the diagonal, possible when the
  // checker is off, are ignored as everywhere else for symmetric storage).
  WorkArray<int> fia, fja, fill, matched;
  WorkArray<T> fa;
  WorkArray<double> dr, dc;
  if (!fia.allocate(mem, n + 1, "symmetric matching", true) ||
      !fill.allocate(mem, n, "symmetric matching") ||
      !matched.allocate(mem, n, "symmetric matching") ||
      !dr.allocate(mem, n, "symmetric matching") || !dc.allocate(mem, n, "symmetric matching"))
    return -2;
  for (int i = 0; i < n; ++i)
    for (int e = ia[i]; e < ia[i + 1]; ++e) {
      const int j = ja[e];
      if (j < i || j >= n) continue;
      ++fia[i + 1];
      if (j != i) ++fia[j + 1];
    }
  for (int i = 0; i < n; ++i) fia[i + 1] += fia[i];
  if (!fja.allocate(mem, fia[n], "symmetric matching") ||
      !fa.allocate(mem, fia[n], "symmetric matching"))
    return -2;
  for (int i = 0; i < n; ++i) fill[i] = fia[i];
  // Rows are filled in increasing column order: row j first receives the entries (i, j) of
  // the rows i < j above it, then its own upper part.
  for (int i = 0; i < n; ++i)
    for (int e = ia[i]; e < ia[i + 1]; ++e) {
      const int j = ja[e];
      if (j < i || j >= n) continue;
      fja[fill[i]] = j;
      fa[fill[i]++] = a[e];
      if (j != i) {
        fja[fill[j]] = i;
        fa[fill[j]++] = a[e];
      }
    }
  int count = 0;
  const int code = weighted_matching<T>(mem, n, fia.get(), fja.get(), fa.get(), matched.get(),
                                        dr.get(), dc.get(), &count);
  if (code != 0) return code;
  for (int i = 0; i < n; ++i) {
    d[i] = std::sqrt(dr[i] * dc[i]);
    partner[i] = -1;
  }
  // Cycles of the matching: members c, matched[c], matched[matched[c]], ... are paired in
  // turn; an odd cycle leaves its last member alone.
  *pairs = 0;
  WorkArray<unsigned char> seen;
  if (!seen.allocate(mem, n, "symmetric matching", true)) return -2;
  for (int i = 0; i < n; ++i) {
    if (seen[i]) continue;
    int c = i;
    while (!seen[c]) {
      seen[c] = 1;
      const int next = matched[c];
      if (seen[next]) break;
      seen[next] = 1;
      partner[c] = next;
      partner[next] = c;
      ++*pairs;
      c = matched[next];
    }
  }
  return 0;
}

bool merge_pairs(WorkMemory* mem, int n, const int* xadj, const int* adj, const int* partner,
                 WorkArray<int>* cxadj, WorkArray<int>* cadj, WorkArray<int>* first_of, int* nc) {
  WorkArray<int> vertex_of, mark;
  if (!vertex_of.allocate(mem, n, "pair graph") || !mark.allocate(mem, n, "pair graph"))
    return false;
  int m = 0;
  for (int v = 0; v < n; ++v)
    if (partner[v] < 0 || partner[v] > v) vertex_of[v] = m++;
  for (int v = 0; v < n; ++v)
    if (partner[v] >= 0 && partner[v] < v) vertex_of[v] = vertex_of[partner[v]];
  *nc = m;
  if (!first_of->allocate(mem, m, "pair graph") || !cxadj->allocate(mem, m + 1, "pair graph") ||
      !cadj->allocate(mem, xadj[n], "pair graph"))
    return false;
  for (int v = 0; v < n; ++v)
    if (partner[v] < 0 || partner[v] > v) (*first_of)[vertex_of[v]] = v;
  std::fill(mark.get(), mark.get() + n, -1);
  int out = 0;
  for (int c = 0; c < m; ++c) {
    (*cxadj)[c] = out;
    mark[c] = c;
    const int f = (*first_of)[c];
    for (int member : {f, partner[f]}) {
      if (member < 0) continue;
      for (int k = xadj[member]; k < xadj[member + 1]; ++k) {
        const int w = vertex_of[adj[k]];
        if (mark[w] == c) continue;
        mark[w] = c;
        (*cadj)[out++] = w;
      }
    }
  }
  (*cxadj)[m] = out;
  return true;
}

void expand_pair_order(int nc, const int* cperm, const int* first_of, const int* partner,
                       int* perm) {
  int k = 0;
  for (int p = 0; p < nc; ++p) {
    const int f = first_of[cperm[p]];
    perm[k++] = f;
    if (partner[f] >= 0) perm[k++] = partner[f];
  }
}

bool join_pair_neighbourhoods(WorkMemory* mem, int n, const int* partner, WorkArray<int>* xadj,
                              WorkArray<int>* adj) {
  // v's new neighbours: its partner, and every member of the pairs (or singles) adjacent to
  // v or its partner, which keeps the graph symmetric.
  WorkArray<int> nxadj, nadj, mark;
  long long total = 0;
  for (int v = 0; v < n; ++v) {
    total += 2LL * ((*xadj)[v + 1] - (*xadj)[v]);
    if (partner[v] >= 0) total += 2LL * ((*xadj)[partner[v] + 1] - (*xadj)[partner[v]]) + 1;
  }
  if (!nxadj.allocate(mem, n + 1, "pair graph") ||
      !nadj.allocate(mem, static_cast<std::size_t>(total), "pair graph") ||
      !mark.allocate(mem, n, "pair graph"))
    return false;
  std::fill(mark.get(), mark.get() + n, -1);
  int out = 0;
  for (int v = 0; v < n; ++v) {
    nxadj[v] = out;
    mark[v] = v;
    const int p = partner[v];
    if (p >= 0) {
      mark[p] = v;
      nadj[out++] = p;
    }
    for (int member : {v, p}) {
      if (member < 0) continue;
      for (int k = (*xadj)[member]; k < (*xadj)[member + 1]; ++k) {
        for (int w : {(*adj)[k], partner[(*adj)[k]]}) {
          if (w < 0 || mark[w] == v) continue;
          mark[w] = v;
          nadj[out++] = w;
        }
      }
    }
    std::sort(nadj.get() + nxadj[v], nadj.get() + out);
  }
  nxadj[n] = out;
  *xadj = std::move(nxadj);
  *adj = std::move(nadj);
  return true;
}

#define ZTR_INSTANTIATE(T)                                                                        \
  template int symmetric_matching<T>(WorkMemory*, int, const int*, const int*, const T*, double*, \
                                     int*, int*);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
