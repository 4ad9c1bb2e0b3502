// The graph the orderings work on: compressed adjacency lists (zero-based), symmetric,
// without self-loops or repeated entries, with optional vertex and edge weights.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

struct OrderGraph {
  int n = 0;
  WorkArray<int> xadj;    // n + 1
  WorkArray<int> adjncy;  // xadj[n]
  WorkArray<int> vwgt;    // n, or empty for unit weights
  WorkArray<int> adjwgt;  // xadj[n], or empty for unit weights
  WorkArray<int> wdeg;    // n, the sum of each vertex's edge weights, or empty (then counted)
  long long total_vwgt = 0;

  int nnz() const { return xadj[static_cast<std::size_t>(n)]; }
  int weight(int v) const { return vwgt.get() ? vwgt[v] : 1; }
  int edge_weight(int k) const { return adjwgt.get() ? adjwgt[k] : 1; }
  int weighted_degree(int v) const {
    if (adjwgt.get() == nullptr) return xadj[v + 1] - xadj[v];
    if (wdeg.get() != nullptr) return wdeg[v];
    int d = 0;
    for (int k = xadj[v]; k < xadj[v + 1]; ++k) d += adjwgt[k];
    return d;
  }
};

// Checks a caller's graph (xadj[0] = 0, non-decreasing, indices in 0..n-1) and builds the
// ordering's own copy without self-loops, each row in its stored order.  A pattern that is
// not symmetric or repeats entries is replaced by the symmetric pattern of the union, so the
// orderings always see an undirected simple graph.  Returns kOrderOk, kOrderBadInput,
// kOrderNoMemory or kOrderOverflow.
int prepare_graph(WorkMemory* mem, int n, const int* xadj, const int* adjncy, OrderGraph* g);

// The subgraph induced by the vertices `verts[0..nv)`, numbered in that order, keeping vertex
// and edge weights.  `map` is a work array of g.n entries set to -1 on entry and restored on
// return.
int induced_subgraph(WorkMemory* mem, const OrderGraph& g, const int* verts, int nv, int* map,
                     OrderGraph* sub, const char* label);

// Connected components: comp[v] gets the component number of v; returns the number of
// components, or a negative code.
int connected_components(WorkMemory* mem, const OrderGraph& g, int* comp);

}  // namespace ztr
