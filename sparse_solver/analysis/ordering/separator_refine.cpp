#include "sparse_solver/analysis/ordering/separator_refine.h"

#include <algorithm>

namespace ztr {
namespace {

// Refinement passes per level.
constexpr int kRefinePasses = 4;

struct Refiner {
  const OrderGraph& g;
  int* where;
  long long* pwgt;
  const Balance& bal;
  RefineWork& w;
  GainQueue* heap;

  // Gain of moving separator vertex x into part s: its own weight leaves the separator, its
  // neighbours in the other part enter it.
  void refresh(int x) {
    long long in[2] = {0, 0};
    for (int k = g.xadj[x]; k < g.xadj[x + 1]; ++k) {
      const int u = g.adjncy[k];
      if (where[u] != kSeparator) in[where[u]] += g.weight(u);
    }
    for (int s = 0; s < 2; ++s) {
      const int gain = static_cast<int>(g.weight(x) - in[1 - s]);
      if (heap[s].contains(x)) {
        heap[s].update(x, gain);
      } else {
        heap[s].insert(x, gain);
      }
    }
  }

  // Whether moving the best separator vertex into part s keeps the bisection balanced, or
  // at least brings the parts closer.  The key of the move is its gain, the vertex's weight
  // less the weight it pulls from the other part into the separator, so the parts' weights
  // after the move are known before it is made.
  bool allowed(int s) const {
    const int v = heap[s].top();
    const long long pulled = g.weight(v) - heap[s].top_key();
    const long long a = pwgt[s] + g.weight(v), b = pwgt[1 - s] - pulled;
    if (bal.ok(a, b)) return true;
    const long long before = pwgt[0] > pwgt[1] ? pwgt[0] - pwgt[1] : pwgt[1] - pwgt[0];
    return (a > b ? a - b : b - a) < before;
  }

  // Appends separator vertex x to the list (once per tag).
  void keep(int x, int tag, int* m) {
    if (where[x] != kSeparator || w.mark[x] == tag) return;
    w.mark[x] = tag;
    w.list[(*m)++] = x;
  }

  bool pass();
};

bool Refiner::pass() {
  const int n = g.n;
  const int pass_id = w.next_stamp();
  int* locked = w.locked.get();
  int* fresh = w.mark.get();
  int* ustack = w.pulled.get();
  int* log_v = w.log_v.get();
  int* log_start = w.log_start.get();
  unsigned char* log_s = w.log_s.get();
  for (int a = 0; a < w.nlist; ++a) refresh(w.list[a]);
  long long best[3] = {pwgt[0], pwgt[1], pwgt[2]};
  const long long start_sep = pwgt[2];
  const bool start_balanced = bal.ok(pwgt[0], pwgt[1]);
  const int max_fruitless = fruitless_move_limit(n);
  int nmoves = 0, best_moves = 0, nu = 0;
  while (!heap[0].empty()) {
    int s;
    if (heap[0].top_key() != heap[1].top_key()) {
      s = heap[0].top_key() > heap[1].top_key() ? 0 : 1;
    } else {
      s = pwgt[0] <= pwgt[1] ? 0 : 1;
    }
    if (!allowed(s)) {
      s = 1 - s;
      if (!allowed(s)) break;
    }
    const int v = heap[s].top();
    heap[0].remove(v);
    heap[1].remove(v);
    locked[v] = pass_id;
    where[v] = s;
    pwgt[kSeparator] -= g.weight(v);
    pwgt[s] += g.weight(v);
    log_v[nmoves] = v;
    log_s[nmoves] = static_cast<unsigned char>(s);
    log_start[nmoves] = nu;
    ++nmoves;
    const int first_u = nu;
    // Gains change only around the move: v's separator neighbours can no longer move to
    // the far side for free (v would be pulled back), and the separator neighbours of each
    // vertex pulled in gain its weight towards side s.  The vertices pulled in get fresh
    // gains.  One sweep over v's edges pulls its neighbours on the far side into the
    // separator and updates the gains of those already in it.
    const int stamp = w.next_stamp();
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
      const int x = g.adjncy[k];
      const int part = where[x];
      if (part == 1 - s) {
        where[x] = kSeparator;
        pwgt[1 - s] -= g.weight(x);
        pwgt[kSeparator] += g.weight(x);
        ustack[nu++] = x;
        fresh[x] = stamp;
      } else if (part == kSeparator && locked[x] != pass_id) {
        heap[1 - s].update(x, heap[1 - s].key(x) - g.weight(v));
      }
    }
    for (int a = first_u; a < nu; ++a) {
      const int u = ustack[a];
      for (int k = g.xadj[u]; k < g.xadj[u + 1]; ++k) {
        const int x = g.adjncy[k];
        if (where[x] == kSeparator && locked[x] != pass_id && fresh[x] != stamp) {
          heap[s].update(x, heap[s].key(x) + g.weight(u));
        }
      }
    }
    for (int a = first_u; a < nu; ++a) {
      if (locked[ustack[a]] != pass_id) refresh(ustack[a]);
    }
    if (better_bisection(pwgt, best, bal)) {
      best[0] = pwgt[0];
      best[1] = pwgt[1];
      best[2] = pwgt[2];
      best_moves = nmoves;
    } else if (nmoves - best_moves > max_fruitless) {
      break;
    }
  }
  heap[0].clear();
  heap[1].clear();
  // Undo the moves after the best state, newest first.
  int end = nu;
  for (int m = nmoves - 1; m >= best_moves; --m) {
    const int v = log_v[m];
    const int s = log_s[m];
    for (int a = log_start[m]; a < end; ++a) {
      const int u = ustack[a];
      where[u] = 1 - s;
      pwgt[kSeparator] -= g.weight(u);
      pwgt[1 - s] += g.weight(u);
    }
    end = log_start[m];
    where[v] = kSeparator;
    pwgt[s] -= g.weight(v);
    pwgt[kSeparator] += g.weight(v);
  }
  // The separator now: the listed vertices still in it and those pulled in to stay.
  const int tag = w.next_stamp();
  int m = 0;
  for (int a = 0; a < w.nlist; ++a) keep(w.list[a], tag, &m);
  for (int a = 0; a < nu; ++a) keep(ustack[a], tag, &m);
  w.nlist = m;
  const bool balanced = bal.ok(pwgt[0], pwgt[1]);
  return pwgt[2] < start_sep || (balanced && !start_balanced);
}

}  // namespace

void separator_weights(const OrderGraph& g, const int* where, long long pwgt[3]) {
  pwgt[0] = pwgt[1] = pwgt[2] = 0;
  for (int v = 0; v < g.n; ++v) pwgt[where[v]] += g.weight(v);
}

Balance make_balance(const OrderGraph& g, double ub) {
  Balance b;
  b.ub = ub;
  for (int v = 0; v < g.n; ++v) b.heaviest = std::max<long long>(b.heaviest, g.weight(v));
  return b;
}

bool better_bisection(const long long a[3], const long long b[3], const Balance& bal) {
  const bool a_ok = bal.ok(a[0], a[1]);
  const bool b_ok = bal.ok(b[0], b[1]);
  if (a_ok != b_ok) return a_ok;
  const long long da = a[0] > a[1] ? a[0] - a[1] : a[1] - a[0];
  const long long db = b[0] > b[1] ? b[0] - b[1] : b[1] - b[0];
  if (!a_ok) return da < db;
  if (a[2] != b[2]) return a[2] < b[2];
  return da < db;
}

void refine_separator(RefineWork* work, const OrderGraph& g, const Balance& bal, int* where,
                      long long pwgt[3], int nseeds) {
  const int n = g.n;
  if (n == 0) return;
  Refiner r{g, where, pwgt, bal, *work, work->queue};
  // A gain lies between minus the weight of the vertex's neighbours and its own weight.
  int max_degree = 1;
  for (int v = 0; v < n; ++v) max_degree = std::max(max_degree, g.xadj[v + 1] - g.xadj[v]);
  const long long max_gain = bal.heaviest * max_degree;
  work->queue[0].prepare(n, max_gain);
  work->queue[1].prepare(n, max_gain);
  const int tag = work->next_stamp();
  int m = 0;
  if (nseeds >= 0) {
    for (int a = 0; a < nseeds; ++a) r.keep(work->sep_seeds[a], tag, &m);
  } else {
    for (int v = 0; v < n; ++v) r.keep(v, tag, &m);
  }
  work->nlist = m;
  for (int p = 0; p < kRefinePasses; ++p) {
    if (!r.pass()) break;
  }
}

}  // namespace ztr
