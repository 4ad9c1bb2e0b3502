// How the factorization and the solve share the supernodes among threads.
//
// The supernodes are numbered in a postorder of the assembly tree, so every subtree is a run
// of consecutive supernodes ending at its root.  The plan takes independent subtrees as
// units of wave 0: no supernode of one unit updates a supernode of another, so threads factor
// them at the same time, each with the one-thread kernel and buffers of its own.  Above them,
// wave w > 0 holds the supernodes whose children all lie in earlier waves: several in a wave
// are independent again and run as units of one supernode each.  The waves from the last one
// with several units on (the chain up to the root) form the tail, which one thread walks
// while the team shares the large steps of each supernode.
//
// A unit's root is the supernode whose rows below its columns hold every row that the unit
// updates outside itself (the subtree's root, or the single supernode).  Updates that cross a
// unit's boundary are handed over between waves in the plan's unit order, so results depend
// on the plan only, never on which thread ran a unit or how many threads there were.
#pragma once

#include <atomic>

#include "sparse_solver/common/status.h"
#include "sparse_solver/common/supernodes.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {

struct SubtreePlan {
  int units = 0;  // 0: no plan, every supernode is walked in order (the tail is everything)
  int waves = 0;  // waves before the tail
  bool static_owners = false;     // each unit runs on its owner (two-level); else taken in turn
  WorkArray<int> wave_start;      // waves + 1: the units of wave w
  WorkArray<int> unit_start;      // units + 1: unit u holds order[unit_start[u] .. unit_start[u+1])
  WorkArray<int> unit_root;       // units
  WorkArray<double> unit_weight;  // units: the measured work of each
  WorkArray<int> order;           // count: the units' supernodes (ascending in each), then the tail
  int tail_start = 0;             // order[tail_start .. count) is the tail, ascending
  WorkArray<int> unit_of;         // count: each supernode's unit, or -1 in the tail
  int max_width = 0;              // widest supernode of the units
  int max_len = 0;                // longest row structure among them
  // units + 1: the rows below each unit's root, as offsets (their sum at the end)
  WorkArray<long long> below_start;

  bool empty() const { return units == 0; }
  // The thread of `threads` that owns unit u with static owners: the units of its wave dealt
  // largest first, each to the thread least loaded so far.
  int owner(int u, int threads) const;
  // run(u) for the units of wave w that thread tid of nt runs: its own with static owners,
  // otherwise those it takes from `next` (the wave's first unit when the wave starts).
  template <class Run>
  void run_wave(int w, int tid, int nt, std::atomic<int>* next, Run&& run) const {
    const int begin = wave_start[w], end = wave_start[w + 1];
    if (static_owners) {
      for (int u = begin; u < end; ++u)
        if (owner(u, nt) == tid) run(u);
    } else {
      for (int u = next->fetch_add(1); u < end; u = next->fetch_add(1)) run(u);
    }
  }
  int unit_size(int u) const { return unit_start[u + 1] - unit_start[u]; }
  const int* unit_nodes(int u) const { return order.get() + unit_start[u]; }
  int below_root(const Supernodes& sn, int u) const {
    const int r = unit_root[u];
    return sn.len(r) - sn.width(r);
  }
};

// The number of independent subgraphs for a count c (threads, or the reproducible count):
// the smallest power of two >= c, at most half of the smallest power of two above n.
int subgraph_count(int c, int n);

// Operations of supernode s's own columns (factorization and the updates they send), the
// work measure of the plan.
double supernode_work(const Supernodes& sn, int s);

// Builds the plan for `parts` parts (a power of two; 1 or less leaves the plan empty).  With
// `levels` (two-level factorization) the subtrees are those below the top branchings of the
// tree (the separators), four per part where the tree has them, each owned by one thread;
// otherwise the heaviest subtree is split until there are four per part and they, taken
// largest first, share out among `parts` threads within 10 % of the mean by their measured
// work.  Failure: error -2 with the bytes asked.
StageStatus build_subtree_plan(const Supernodes& sn, int parts, bool levels, WorkMemory* mem,
                               SubtreePlan* plan);

}  // namespace ztr
