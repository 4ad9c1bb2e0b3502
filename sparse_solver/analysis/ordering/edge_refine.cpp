#include "sparse_solver/analysis/ordering/edge_refine.h"

#include <algorithm>

namespace ztr {
namespace {

constexpr int kEdgePasses = 4;

struct EdgeRefiner {
  const OrderGraph& g;
  int* where;
  long long pwgt[2];
  const Balance& bal;
  RefineWork& w;
  GainQueue* heap;  // boundary vertices of each part, keyed by the gain of moving them out
  int* inside;
  int* outside;
  int list_tag;  // w.mark[v] == list_tag: v is in w.list

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
  void enlist(int v) {
    if (outside[v] > 0 && w.mark[v] != list_tag) {
      w.mark[v] = list_tag;
      w.list[w.nlist++] = v;
    }
  }
  // Moves v to the other part, keeping the part weights and the degrees of v and its
  // neighbours exact; a move undone is the same move again.  With kRequeue (a move of the
  // pass, not of the rollback) each neighbour also takes its new place in the queues as soon
  // as its degrees are known, in the one sweep over v's edges.
  template <bool kRequeue>
  void move(int v, int pass_id = 0) {
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
        enlist(u);
      }
      if (kRequeue) requeue(u, pass_id);
    }
    enlist(v);
  }
  void requeue(int v, int pass_id) {
    GainQueue& h = heap[where[v]];
    const bool boundary = outside[v] > 0 && w.locked[v] != pass_id;
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
  bool pass();
};

bool EdgeRefiner::pass() {
  const int n = g.n;
  const int pass_id = w.next_stamp();
  long long cut = 0;
  for (int a = 0; a < w.nlist; ++a) {
    requeue(w.list[a], pass_id);
    cut += outside[w.list[a]];
  }
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
    w.locked[v] = pass_id;
    cut -= outside[v] - inside[v];
    move<true>(v, pass_id);
    w.log_v[nmoves++] = v;
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
  for (int m = nmoves - 1; m >= best_moves; --m) move<false>(w.log_v[m]);
  // Only the boundary stays listed.
  int kept = 0;
  for (int a = 0; a < w.nlist; ++a) {
    const int v = w.list[a];
    if (outside[v] > 0) {
      w.list[kept++] = v;
    } else {
      w.mark[v] = 0;
    }
  }
  w.nlist = kept;
  return best_cut < start_cut || (best_ok && !start_ok);
}

}  // namespace

void refine_edge_bisection(RefineWork* work, const OrderGraph& g, const Balance& bal, int* where,
                           int nseeds) {
  const int n = g.n;
  work->nlist = 0;
  if (n == 0) return;
  EdgeRefiner r{g,
                where,
                {0, 0},
                bal,
                *work,
                work->queue,
                work->inside.get(),
                work->outside.get(),
                work->next_stamp()};
  // Interior vertices first (all their edge weight inside), then the candidates exactly.
  long long max_gain = 0;  // a gain lies between minus and plus the vertex's edge weight
  for (int v = 0; v < n; ++v) {
    r.pwgt[where[v]] += g.weight(v);
    r.inside[v] = g.weighted_degree(v);
    r.outside[v] = 0;
    max_gain = std::max<long long>(max_gain, r.inside[v]);
  }
  for (int a = 0; a < (nseeds >= 0 ? nseeds : n); ++a) {
    const int v = nseeds >= 0 ? work->cut_seeds[a] : a;
    r.degrees(v);
    r.enlist(v);
  }
  work->queue[0].prepare(n, max_gain);
  work->queue[1].prepare(n, max_gain);
  for (int p = 0; p < kEdgePasses; ++p) {
    if (!r.pass()) break;
  }
}

}  // namespace ztr
