#include "sparse_solver/analysis/ordering/ordering_graph.h"

#include <climits>
#include <cstring>

#include "sparse_solver/analysis/ordering/ordering_codes.h"

namespace ztr {
namespace {

// True when every row of the copy is free of repeats and the pattern is symmetric.  Uses the
// transpose: row i of the transpose, marked, must contain exactly row i.
int is_simple_symmetric(WorkMemory* mem, const OrderGraph& g, bool* ok) {
  const int n = g.n;
  const std::size_t un = static_cast<std::size_t>(n);
  WorkArray<int> tptr, tadj, mark;
  if (!tptr.allocate(mem, un + 1, "prepare_graph: tptr", true) ||
      !tadj.allocate(mem, static_cast<std::size_t>(g.nnz()), "prepare_graph: tadj") ||
      !mark.allocate(mem, un, "prepare_graph: mark")) {
    return kOrderNoMemory;
  }
  for (int k = 0; k < g.nnz(); ++k) ++tptr[g.adjncy[k] + 1];
  for (int i = 0; i < n; ++i) tptr[i + 1] += tptr[i];
  for (int i = 0; i < n; ++i) {
    mark[i] = -1;
    for (int k = g.xadj[i]; k < g.xadj[i + 1]; ++k) tadj[tptr[g.adjncy[k]]++] = i;
  }
  for (int i = n; i > 0; --i) tptr[i] = tptr[i - 1];
  tptr[0] = 0;
  *ok = true;
  for (int i = 0; i < n && *ok; ++i) {
    if (tptr[i + 1] - tptr[i] != g.xadj[i + 1] - g.xadj[i]) *ok = false;
    for (int k = tptr[i]; k < tptr[i + 1] && *ok; ++k) {
      if (mark[tadj[k]] == i) *ok = false;  // a repeated entry in the transpose
      mark[tadj[k]] = i;
    }
    for (int k = g.xadj[i]; k < g.xadj[i + 1] && *ok; ++k) {
      if (mark[g.adjncy[k]] != i) *ok = false;
    }
  }
  return kOrderOk;
}

// Replaces g by the symmetric pattern of g + g', without repeats (rows sorted).
int symmetrize(WorkMemory* mem, OrderGraph* g) {
  const int n = g->n;
  const std::size_t un = static_cast<std::size_t>(n);
  const long long nnz2 = 2LL * g->nnz();
  if (nnz2 > INT_MAX) return kOrderOverflow;
  // Row i of the result lists, in increasing order, the j with (i,j) or (j,i) in g: gather
  // both directions by a counting sort on i, then drop repeats with a marker.
  WorkArray<int> ptr, adj, mark, out_ptr, out_adj;
  if (!ptr.allocate(mem, un + 1, "prepare_graph: sptr", true) ||
      !adj.allocate(mem, static_cast<std::size_t>(nnz2), "prepare_graph: sadj") ||
      !mark.allocate(mem, un, "prepare_graph: mark") ||
      !out_ptr.allocate(mem, un + 1, "prepare_graph: xadj")) {
    return kOrderNoMemory;
  }
  for (int i = 0; i < n; ++i) {
    for (int k = g->xadj[i]; k < g->xadj[i + 1]; ++k) {
      ++ptr[i + 1];
      ++ptr[g->adjncy[k] + 1];
    }
  }
  for (int i = 0; i < n; ++i) ptr[i + 1] += ptr[i];
  for (int j = 0; j < n; ++j) {  // in increasing j, so every row comes out sorted
    for (int k = g->xadj[j]; k < g->xadj[j + 1]; ++k) {
      const int i = g->adjncy[k];
      adj[ptr[i]++] = j;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int k = g->xadj[i]; k < g->xadj[i + 1]; ++k) adj[ptr[i]++] = g->adjncy[k];
  }
  for (int i = n; i > 0; --i) ptr[i] = ptr[i - 1];
  ptr[0] = 0;
  int cnt = 0;
  for (int i = 0; i < n; ++i) mark[i] = -1;
  for (int i = 0; i < n; ++i) {
    out_ptr[i] = cnt;
    for (int k = ptr[i]; k < ptr[i + 1]; ++k) {
      if (mark[adj[k]] != i) {
        mark[adj[k]] = i;
        adj[cnt++] = adj[k];
      }
    }
  }
  out_ptr[n] = cnt;
  if (!out_adj.allocate(mem, static_cast<std::size_t>(cnt), "prepare_graph: adjncy")) {
    return kOrderNoMemory;
  }
  std::memcpy(out_adj.get(), adj.get(), sizeof(int) * static_cast<std::size_t>(cnt));
  g->xadj = std::move(out_ptr);
  g->adjncy = std::move(out_adj);
  return kOrderOk;
}

}  // namespace

int prepare_graph(WorkMemory* mem, int n, const int* xadj, const int* adjncy, OrderGraph* g) {
  if (n < 0 || (n > 0 && xadj == nullptr)) return kOrderBadInput;
  if (n > 0 && xadj[0] != 0) return kOrderBadInput;
  for (int i = 0; i < n; ++i) {
    if (xadj[i + 1] < xadj[i]) return kOrderBadInput;
  }
  const int nnz = n > 0 ? xadj[n] : 0;
  if (nnz > 0 && adjncy == nullptr) return kOrderBadInput;
  for (int k = 0; k < nnz; ++k) {
    if (adjncy[k] < 0 || adjncy[k] >= n) return kOrderBadInput;
  }
  const std::size_t un = static_cast<std::size_t>(n);
  g->n = n;
  g->vwgt.release();
  g->adjwgt.release();
  g->total_vwgt = n;
  if (!g->xadj.allocate(mem, un + 1, "prepare_graph: xadj") ||
      !g->adjncy.allocate(mem, static_cast<std::size_t>(nnz), "prepare_graph: adjncy")) {
    return kOrderNoMemory;
  }
  int cnt = 0;
  g->xadj[0] = 0;
  for (int i = 0; i < n; ++i) {
    for (int k = xadj[i]; k < xadj[i + 1]; ++k) {
      if (adjncy[k] != i) g->adjncy[cnt++] = adjncy[k];
    }
    g->xadj[i + 1] = cnt;
  }
  bool ok = false;
  int rc = is_simple_symmetric(mem, *g, &ok);
  if (rc == kOrderOk && !ok) rc = symmetrize(mem, g);
  return rc;
}

int induced_subgraph(WorkMemory* mem, const OrderGraph& g, const int* verts, int nv, int* map,
                     OrderGraph* sub, const char* label) {
  long long nnz = 0;
  for (int a = 0; a < nv; ++a) {
    map[verts[a]] = a;
    nnz += g.xadj[verts[a] + 1] - g.xadj[verts[a]];
  }
  const std::size_t un = static_cast<std::size_t>(nv);
  int rc = kOrderOk;
  sub->n = nv;
  if (!sub->xadj.allocate(mem, un + 1, label) ||
      !sub->adjncy.allocate(mem, static_cast<std::size_t>(nnz), label) ||
      !sub->vwgt.allocate(mem, un, label) ||
      (g.adjwgt.get() && !sub->adjwgt.allocate(mem, static_cast<std::size_t>(nnz), label))) {
    rc = kOrderNoMemory;
  } else {
    int cnt = 0;
    long long total = 0;
    sub->xadj[0] = 0;
    for (int a = 0; a < nv; ++a) {
      const int v = verts[a];
      for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
        const int u = map[g.adjncy[k]];
        if (u < 0) continue;
        if (g.adjwgt.get()) sub->adjwgt[cnt] = g.adjwgt[k];
        sub->adjncy[cnt++] = u;
      }
      sub->xadj[a + 1] = cnt;
      sub->vwgt[a] = g.weight(v);
      total += sub->vwgt[a];
    }
    sub->total_vwgt = total;
  }
  for (int a = 0; a < nv; ++a) map[verts[a]] = -1;
  return rc;
}

int connected_components(WorkMemory* mem, const OrderGraph& g, int* comp) {
  WorkArray<int> queue;
  if (!queue.allocate(mem, static_cast<std::size_t>(g.n), "connected_components: queue")) {
    return kOrderNoMemory;
  }
  for (int v = 0; v < g.n; ++v) comp[v] = -1;
  int ncomp = 0;
  for (int s = 0; s < g.n; ++s) {
    if (comp[s] >= 0) continue;
    int head = 0, tail = 0;
    queue[tail++] = s;
    comp[s] = ncomp;
    while (head < tail) {
      const int v = queue[head++];
      for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
        const int u = g.adjncy[k];
        if (comp[u] < 0) {
          comp[u] = ncomp;
          queue[tail++] = u;
        }
      }
    }
    ++ncomp;
  }
  return ncomp;
}

}  // namespace ztr
