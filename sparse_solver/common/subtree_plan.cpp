#include "sparse_solver/common/subtree_plan.h"

#include <algorithm>

namespace ztr {
namespace {

// The largest share of one thread, over the mean share, below which the split stops.
constexpr double kBalance = 1.1;
// At least this many units per part, where the tree has them: a thread that finishes early
// takes another, so that the parts' actual times (not only their measured work) even out.
constexpr int kMinUnitsPerPart = 4;
// At most this many units per part are made by splitting: beyond it the tail grows faster
// than the balance improves.
constexpr int kUnitsPerPart = 16;

// The finishing time of the busiest of `parts` threads taking the `count` works (sorted
// descending) largest first, each to the thread that is free first.  `load` holds parts
// values of work.
double largest_first_makespan(const double* works, int count, int parts, double* load) {
  std::fill(load, load + parts, 0.0);
  double most = 0;
  for (int i = 0; i < count; ++i) {
    double* free_first = std::min_element(load, load + parts);
    *free_first += works[i];
    most = std::max(most, *free_first);
  }
  return most;
}

// The plan's scratch: the tree and the frontier of units, freed before the plan returns.
struct PlanScratch {
  WorkArray<int> child_head, sibling, first_desc, parent, frontier, next, wave, per_wave;
  WorkArray<double> work, total, works, load;
  bool allocate(WorkMemory* mem, int ns, int parts) {
    const std::size_t n = static_cast<std::size_t>(ns);
    const char* label = "korvine plan";
    return child_head.allocate(mem, n, label) && sibling.allocate(mem, n, label) &&
           first_desc.allocate(mem, n, label) && parent.allocate(mem, n, label) &&
           frontier.allocate(mem, n, label) && next.allocate(mem, n, label) &&
           wave.allocate(mem, n, label) && per_wave.allocate(mem, n + 2, label, true) &&
           work.allocate(mem, n, label) && total.allocate(mem, n, label) &&
           works.allocate(mem, n, label) &&
           load.allocate(mem, static_cast<std::size_t>(parts), label);
  }
  static long long bytes(int ns, int parts) {
    return 8LL * ns * static_cast<long long>(sizeof(int)) + 8 +
           4LL * ns * static_cast<long long>(sizeof(double)) + 8LL * parts;
  }
};

}  // namespace

double supernode_work(const Supernodes& sn, int s) {
  const double k = sn.width(s), l = sn.len(s);
  // sum over the columns j < k of (l - j)^2
  double w = 0;
  for (int j = 0; j < static_cast<int>(k); ++j) w += (l - j) * (l - j);
  return w;
}

int SubtreePlan::owner(int u, int threads) const {
  if (threads <= 1) return 0;
  int w = 0;
  while (wave_start[w + 1] <= u) ++w;
  // Largest first onto the least loaded thread (the units of a wave are sorted by weight in
  // wave 0 and come in tree order above it).
  constexpr int kMostThreads = 256;
  if (threads > kMostThreads) return (u - wave_start[w]) % threads;
  double load[kMostThreads] = {};
  int t = 0;
  for (int v = wave_start[w]; v <= u; ++v) {
    t = static_cast<int>(std::min_element(load, load + threads) - load);
    load[t] += unit_weight[v];
  }
  return t;
}

StageStatus build_subtree_plan(const Supernodes& sn, int parts, bool levels, WorkMemory* mem,
                               SubtreePlan* plan) {
  *plan = SubtreePlan();
  const int ns = sn.count;
  if (parts <= 1 || ns < 2) return {};
  PlanScratch t;
  if (!t.allocate(mem, ns, parts))
    return {kErrMemory, kStageBeforeParallel, PlanScratch::bytes(ns, parts)};
  int* child_head = t.child_head.get();
  int* sibling = t.sibling.get();
  int* first_desc = t.first_desc.get();
  int* parent = t.parent.get();
  int* frontier = t.frontier.get();
  double* work = t.work.get();
  double* total = t.total.get();
  for (int s = 0; s < ns; ++s) {
    parent[s] = sn.parent(s);
    first_desc[s] = s;
    child_head[s] = sibling[s] = -1;
    work[s] = supernode_work(sn, s);
    total[s] = work[s];
  }
  for (int s = ns - 1; s >= 0; --s)
    if (parent[s] >= 0) {
      sibling[s] = child_head[parent[s]];
      child_head[parent[s]] = s;
    }
  for (int s = 0; s < ns; ++s)
    if (parent[s] >= 0) {
      first_desc[parent[s]] = std::min(first_desc[parent[s]], first_desc[s]);
      total[parent[s]] += total[s];
    }
  int count = 0;  // frontier[0 .. count)
  for (int s = 0; s < ns; ++s)
    if (parent[s] < 0) frontier[count++] = s;
  if (levels) {
    // The top branchings: each round replaces every frontier subtree by the subtrees below
    // the chain at its top (the separator), until there are parts of them.
    int* next = t.next.get();
    for (int round = 0; count < kMinUnitsPerPart * parts && round < 64; ++round) {
      int kept = 0;
      bool split = false;
      for (int i = 0; i < count; ++i) {
        int x = frontier[i];
        while (child_head[x] >= 0 && sibling[child_head[x]] < 0) x = child_head[x];
        if (child_head[x] < 0) {
          // A chain down to a leaf: it stays one unit.
          next[kept++] = frontier[i];
          continue;
        }
        for (int c = child_head[x]; c >= 0; c = sibling[c]) next[kept++] = c;
        split = true;
      }
      std::copy(next, next + kept, frontier);
      count = kept;
      if (!split) break;
    }
  } else {
    // (beyond the roots the tree already has)
    const int most = count + kUnitsPerPart * parts;
    double* works = t.works.get();
    for (;;) {
      double sum = 0;
      for (int i = 0; i < count; ++i) {
        works[i] = total[frontier[i]];
        sum += works[i];
      }
      std::sort(works, works + count, std::greater<double>());
      if (sum <= 0 ||
          (count >= kMinUnitsPerPart * parts &&
           largest_first_makespan(works, count, parts, t.load.get()) <= kBalance * sum / parts))
        break;
      if (count >= most) break;
      // Split the heaviest subtree that has children: its root goes above the units.
      int at = -1;
      for (int i = 0; i < count; ++i)
        if (child_head[frontier[i]] >= 0 && (at < 0 || total[frontier[i]] > total[frontier[at]]))
          at = i;
      if (at < 0) break;
      const int r = frontier[at];
      std::copy(frontier + at + 1, frontier + count, frontier + at);
      --count;
      for (int c = child_head[r]; c >= 0; c = sibling[c]) frontier[count++] = c;
    }
    // Taken largest first; equal works keep the tree's order.
    std::stable_sort(frontier, frontier + count, [&](int a, int b) { return total[a] > total[b]; });
  }
  if (count < 2) return {};
  // Wave 0 holds the frontier subtrees; a supernode above them waits for its children.
  int* wave = t.wave.get();
  std::fill(wave, wave + ns, -1);
  for (int i = 0; i < count; ++i)
    for (int s = first_desc[frontier[i]]; s <= frontier[i]; ++s) wave[s] = 0;
  int waves_above = 0;
  for (int s = 0; s < ns; ++s) {
    if (wave[s] == 0) continue;
    int w = 1;
    for (int k = child_head[s]; k >= 0; k = sibling[k]) w = std::max(w, wave[k] + 1);
    wave[s] = w;
    waves_above = std::max(waves_above, w);
  }
  int* per_wave = t.per_wave.get();
  for (int s = 0; s < ns; ++s)
    if (wave[s] > 0) ++per_wave[wave[s]];
  // The tail: the waves of one supernode from the last wave of several on.
  int tail_wave = waves_above + 1;
  while (tail_wave - 1 >= 1 && per_wave[tail_wave - 1] == 1) --tail_wave;
  const int units_above = [&] {
    int u = 0;
    for (int w = 1; w < tail_wave; ++w) u += per_wave[w];
    return u;
  }();
  const int units = count + units_above;
  plan->waves = tail_wave;
  plan->units = units;
  plan->static_owners = levels;
  if (!plan->wave_start.allocate(mem, static_cast<std::size_t>(tail_wave) + 1, "korvine plan") ||
      !plan->unit_start.allocate(mem, static_cast<std::size_t>(units) + 1, "korvine plan") ||
      !plan->unit_root.allocate(mem, static_cast<std::size_t>(units), "korvine plan") ||
      !plan->unit_weight.allocate(mem, static_cast<std::size_t>(units), "korvine plan") ||
      !plan->below_start.allocate(mem, static_cast<std::size_t>(units) + 1, "korvine plan") ||
      !plan->order.allocate(mem, static_cast<std::size_t>(ns), "korvine plan") ||
      !plan->unit_of.allocate(mem, static_cast<std::size_t>(ns), "korvine plan")) {
    const long long bytes =
        static_cast<long long>(sizeof(int)) * (2LL * ns + 2LL * units + tail_wave + 2) +
        static_cast<long long>(sizeof(double) + sizeof(long long)) * units + 8;
    *plan = SubtreePlan();
    return {kErrMemory, kStageBeforeParallel, bytes};
  }
  std::fill(plan->unit_of.get(), plan->unit_of.get() + ns, -1);
  int u = 0, at = 0;
  auto add_node = [&](int s) {
    plan->order[at++] = s;
    plan->unit_of[s] = u;
    plan->max_width = std::max(plan->max_width, sn.width(s));
    plan->max_len = std::max(plan->max_len, sn.len(s));
  };
  plan->wave_start[0] = 0;
  for (int i = 0; i < count; ++i) {
    const int r = frontier[i];
    plan->unit_start[u] = at;
    plan->unit_root[u] = r;
    plan->unit_weight[u] = total[r];
    for (int s = first_desc[r]; s <= r; ++s) add_node(s);
    ++u;
  }
  for (int w = 1; w < tail_wave; ++w) {
    plan->wave_start[w] = u;
    for (int s = 0; s < ns; ++s)
      if (wave[s] == w) {
        plan->unit_start[u] = at;
        plan->unit_root[u] = s;
        plan->unit_weight[u] = work[s];
        add_node(s);
        ++u;
      }
  }
  plan->wave_start[tail_wave] = u;
  plan->unit_start[u] = at;
  plan->tail_start = at;
  for (int s = 0; s < ns; ++s)
    if (plan->unit_of[s] < 0) plan->order[at++] = s;
  plan->below_start[0] = 0;
  for (int v = 0; v < units; ++v)
    plan->below_start[v + 1] = plan->below_start[v] + plan->below_root(sn, v);
  return {};
}

int subgraph_count(int c, int n) {
  // In 64 bits: a count or an order near the largest int has no power of two above it in 32.
  long long above = 1;
  while (above <= n) above *= 2;
  long long p = 1;
  while (p < c && p < above / 2) p *= 2;
  return static_cast<int>(std::max(1LL, std::min(p, above / 2)));
}

}  // namespace ztr
