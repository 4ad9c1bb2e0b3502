#include "sparse_solver/analysis/ordering/coarsen.h"

#include "sparse_solver/analysis/ordering/ordering_codes.h"

namespace ztr {
namespace {

// The visiting order of the matching: vertices of low degree first (they have the fewest
// chances to find a partner), ties in random order.
void visit_order(const OrderGraph& g, RandomStream* rng, int* perm, int* count, int* order) {
  const int n = g.n;
  for (int i = 0; i < n; ++i) perm[i] = i;
  for (int i = n - 1; i > 0; --i) {
    const int j = rng->below(i + 1);
    const int t = perm[i];
    perm[i] = perm[j];
    perm[j] = t;
  }
  int maxdeg = 0;
  for (int v = 0; v < n; ++v) {
    const int d = g.xadj[v + 1] - g.xadj[v];
    if (d > maxdeg) maxdeg = d;
  }
  // Degrees above n are impossible in a simple graph; count[] has n + 1 buckets.
  for (int d = 0; d <= maxdeg + 1; ++d) count[d] = 0;
  for (int v = 0; v < n; ++v) ++count[g.xadj[v + 1] - g.xadj[v] + 1];
  for (int d = 0; d < maxdeg; ++d) count[d + 1] += count[d];
  for (int i = 0; i < n; ++i) {
    const int v = perm[i];
    order[count[g.xadj[v + 1] - g.xadj[v]]++] = v;
  }
}

}  // namespace

int coarsen_graph(WorkMemory* mem, const OrderGraph& g, RandomStream* rng, int max_vwgt,
                  OrderGraph* coarse, int* cmap) {
  const int n = g.n;
  const std::size_t un = static_cast<std::size_t>(n);
  WorkArray<int> perm, order, match, count;
  if (!perm.allocate(mem, un, "coarsen_graph: perm") ||
      !order.allocate(mem, un, "coarsen_graph: order") ||
      !match.allocate(mem, un, "coarsen_graph: match") ||
      !count.allocate(mem, un + 2, "coarsen_graph: count")) {
    return kOrderNoMemory;
  }
  visit_order(g, rng, perm.get(), count.get(), order.get());

  // Heavy-edge matching.  Isolated vertices are paired with each other, which lets graphs
  // with many of them coarsen at all.
  for (int v = 0; v < n; ++v) match[v] = -1;
  int lone = -1;
  // With unit edge weights the first free neighbour within the weight limit is the heaviest
  // edge the scan would settle on (later ones only tie), so the scan stops there.
  const bool unit_edges = g.adjwgt.get() == nullptr;
  for (int i = 0; i < n; ++i) {
    const int v = order[i];
    if (match[v] >= 0) continue;
    int best = -1;
    int best_w = -1;
    if (g.xadj[v + 1] == g.xadj[v]) {
      if (lone >= 0 && g.weight(lone) + g.weight(v) <= max_vwgt) {
        best = lone;
        lone = -1;
      } else {
        if (lone >= 0) match[lone] = lone;  // too heavy to pair: the waiting one stays alone
        lone = v;
      }
    } else {
      // The edge weight, read in order, is tested first: past the first few edges it rarely
      // beats the best, which spares the neighbour's match, a random load and a branch as
      // often taken as not.
      for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
        const int u = g.adjncy[k];
        if (g.edge_weight(k) > best_w && match[u] < 0 && g.weight(v) + g.weight(u) <= max_vwgt) {
          best = u;
          best_w = g.edge_weight(k);
          if (unit_edges) break;
        }
      }
    }
    if (best >= 0) {
      match[v] = best;
      match[best] = v;
    } else if (lone != v) {
      match[v] = v;
    }
  }
  if (lone >= 0 && match[lone] < 0) match[lone] = lone;
  // Coarse vertices are numbered in the order of their first fine vertex, not in the random
  // visiting order: neighbours stay close in memory on every level, which the passes over the
  // coarse graphs, all of them random access along edges, need to run from cache.
  int cn = 0;
  for (int v = 0; v < n; ++v) {
    if (match[v] >= v) cmap[v] = cmap[match[v]] = cn++;
  }

  // The coarse graph: the adjacency of both halves of each pair, merged, edge weights
  // summed, the edge inside the pair dropped.  One entry past the fine graph's edges is a
  // discard slot that takes the edges inside the pair.
  coarse->n = cn;
  const std::size_t ucn = static_cast<std::size_t>(cn);
  const std::size_t room = static_cast<std::size_t>(g.nnz()) + 1;
  if (!coarse->xadj.allocate(mem, ucn + 1, "coarsen_graph: xadj") ||
      !coarse->adjncy.allocate(mem, room, "coarsen_graph: adjncy") ||
      !coarse->adjwgt.allocate(mem, room, "coarsen_graph: adjwgt") ||
      !coarse->vwgt.allocate(mem, ucn, "coarsen_graph: vwgt") ||
      !coarse->wdeg.allocate(mem, ucn, "coarsen_graph: wdeg")) {
    return kOrderNoMemory;
  }
  // count[] is reused for the representative of each coarse vertex, perm[] for the position
  // of a coarse neighbour in its latest row: a position before the current row's start is
  // stale, so the rows need no sweep to clear their entries, and a row's weighted degree is
  // its members' less the weight of the edges inside the pair (those the discard slot took).
  int* rep = count.get();
  for (int v = 0; v < n; ++v) {
    if (match[v] == v || v < match[v]) rep[cmap[v]] = v;
  }
  int* slot = perm.get();
  for (int c = 0; c < cn; ++c) slot[c] = -1;
  int* cadj = coarse->adjncy.get();
  int* cwgt = coarse->adjwgt.get();
  const int* fadj = g.adjncy.get();
  const int* fwgt = g.adjwgt.get();
  const int discard = g.nnz();
  int cnt = 0;
  coarse->xadj[0] = 0;
  for (int c = 0; c < cn; ++c) {
    const int v = rep[c];
    const int row_start = cnt;
    const int pair[2] = {v, match[v]};
    const int members = match[v] == v ? 1 : 2;
    int w = 0;
    int wd = 0;
    slot[c] = discard;
    cwgt[discard] = 0;
    for (int m = 0; m < members; ++m) {
      const int x = pair[m];
      w += g.weight(x);
      wd += g.weighted_degree(x);
      // Without branches on whether the neighbour is new to the row: that test is a coin
      // flip on most graphs, and its mispredictions were the contraction's largest cost.
      for (int k = g.xadj[x]; k < g.xadj[x + 1]; ++k) {
        const int cu = cmap[fadj[k]];
        const int s = slot[cu];
        const bool seen = s >= row_start;
        const int pos = seen ? s : cnt;
        cwgt[cnt] = 0;
        cadj[pos] = cu;
        cwgt[pos] += fwgt != nullptr ? fwgt[k] : 1;
        slot[cu] = pos;
        cnt += seen ? 0 : 1;
      }
    }
    slot[c] = -1;
    coarse->wdeg[c] = wd - cwgt[discard];
    coarse->vwgt[c] = w;
    coarse->xadj[c + 1] = cnt;
  }
  coarse->total_vwgt = g.total_vwgt;
  return kOrderOk;
}

}  // namespace ztr
