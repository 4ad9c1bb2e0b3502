#include "sparse_solver/ordering/edge_refine.h"

#include <algorithm>

#include "sparse_solver/ordering/gain_heap.h"
#include "sparse_solver/ordering/ordering_codes.h"
#include "sparse_solver/ordering/separator_refine.h"

namespace ztr {
namespace {

constexpr int kEdgePasses = 4;

struct EdgeRefiner {
  const OrderGraph& g;
  int* where;
  long long pwgt[2];
  Balance bal;
  GainHeap heap[2];  // boundary vertices of each part, keyed by the gain of moving them out
  WorkArray<int> inside, outside, locked, log;

  // Internal and external edge weight of v.
  void degrees(int v) {
    int in = 0, out = 0;
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
      if (where[g.adjncy[k]] == where[v]) {
        in += g.edge_weight(k);
      } else {
        out += g.edge_weight(k);
      }
    }
    inside[v] = in;
    outside[v] = out;
  }
  // Moves v to the other part, keeping the part weights and the degrees of v and its
  // neighbours exact; a move undone is the same move again.
  void move(int v) {
    const int from = where[v];
    where[v] = 1 - from;
    pwgt[from] -= g.weight(v);
    pwgt[1 - from] += g.weight(v);
    std::swap(inside[v], outside[v]);
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
      const int u = g.adjncy[k];
      const int w = g.edge_weight(k);
      if (where[u] == where[v]) {
        inside[u] += w;
        outside[u] -= w;
      } else {
        inside[u] -= w;
        outside[u] += w;
      }
    }
  }
  void requeue(int v, int pass_id) {
    GainHeap& h = heap[where[v]];
    const bool boundary = outside[v] > 0 && locked[v] != pass_id;
    if (h.contains(v)) {
      if (boundary) {
        h.update(v, outside[v] - inside[v]);
      } else {
        h.remove(v);
      }
    } else if (boundary) {
      h.insert(v, outside[v] - inside[v]);
    }
  }
  bool pass(int pass_id);
};

bool EdgeRefiner::pass(int pass_id) {
  const int n = g.n;
  for (int v = 0; v < n; ++v) requeue(v, pass_id);
  long long cut = 0;
  for (int v = 0; v < n; ++v) cut += outside[v];
  cut /= 2;
  const long long start_cut = cut;
  const bool start_ok = bal.ok(pwgt[0], pwgt[1]);
  long long best_cut = cut;
  long long best_excess = std::max(pwgt[0], pwgt[1]);
  bool best_ok = start_ok;
  const int max_fruitless = fruitless_move_limit(n);
  int nmoves = 0, best_moves = 0;
  for (;;) {
    // The best move into a part that can take it; from the heavier part when both could.
    int from = -1;
    for (int s = 0; s < 2; ++s) {
      if (heap[s].empty()) continue;
      // The move must keep the bisection balanced, or at least bring the parts closer.
      const long long w = g.weight(heap[s].top());
      const long long a = pwgt[s] - w, b = pwgt[1 - s] + w;
      const long long before =
          pwgt[s] > pwgt[1 - s] ? pwgt[s] - pwgt[1 - s] : pwgt[1 - s] - pwgt[s];
      if (!bal.ok(a, b) && (a > b ? a - b : b - a) >= before) continue;
      if (from < 0 || heap[s].top_key() > heap[from].top_key() ||
          (heap[s].top_key() == heap[from].top_key() && pwgt[s] > pwgt[from])) {
        from = s;
      }
    }
    if (from < 0) break;
    const int v = heap[from].top();
    heap[from].remove(v);
    locked[v] = pass_id;
    cut -= outside[v] - inside[v];
    move(v);
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) requeue(g.adjncy[k], pass_id);
    log[nmoves++] = v;
    const bool ok = bal.ok(pwgt[0], pwgt[1]);
    const long long excess = std::max(pwgt[0], pwgt[1]);
    if ((ok && !best_ok) ||
        (ok == best_ok && (cut < best_cut || (cut == best_cut && excess < best_excess)))) {
      best_cut = cut;
      best_excess = excess;
      best_ok = ok;
      best_moves = nmoves;
    } else if (nmoves - best_moves > max_fruitless) {
      break;
    }
  }
  heap[0].clear();
  heap[1].clear();
  for (int m = nmoves - 1; m >= best_moves; --m) move(log[m]);
  return best_cut < start_cut || (best_ok && !start_ok);
}

}  // namespace

int refine_edge_bisection(WorkMemory* mem, const OrderGraph& g, double ub, int* where) {
  const int n = g.n;
  if (n == 0) return kOrderOk;
  const std::size_t un = static_cast<std::size_t>(n);
  EdgeRefiner r{g, where, {0, 0}, make_balance(g, ub), {}, {}, {}, {}, {}};
  if (!r.heap[0].allocate(mem, n, "refine_edge_bisection: heap") ||
      !r.heap[1].allocate(mem, n, "refine_edge_bisection: heap") ||
      !r.inside.allocate(mem, un, "refine_edge_bisection: degrees") ||
      !r.outside.allocate(mem, un, "refine_edge_bisection: degrees") ||
      !r.locked.allocate(mem, un, "refine_edge_bisection: locked", true) ||
      !r.log.allocate(mem, un, "refine_edge_bisection: moves")) {
    return kOrderNoMemory;
  }
  for (int v = 0; v < n; ++v) {
    r.pwgt[where[v]] += g.weight(v);
    r.degrees(v);
  }
  for (int p = 1; p <= kEdgePasses; ++p) {
    if (!r.pass(p)) break;
  }
  return kOrderOk;
}

}  // namespace ztr
