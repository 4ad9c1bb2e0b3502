// Multilevel vertex bisection: coarsen by heavy-edge matching to about a hundred vertices,
// bisect the coarsest graph by greedy graph growing, and carry two partitions back up the
// levels: a vertex separator made on the coarsest graph and refined as a separator on every
// level, and an edge cut refined on every level and turned into a separator on the finest;
// the thinner separator wins.
#pragma once

#include <cstdint>

#include "sparse_solver/analysis/ordering/ordering_graph.h"

namespace ztr {

// Balance tolerance of every bisection of the nested dissection: the heavier of the two
// parts may weigh at most 1.1 times half of the two parts' total weight (the separator not
// counted; the rule and its one exception for heavy vertices are in separator_refine.h).  The
// initial bisection, the separator and edge-cut refinements and the choice among tries all
// apply it.
inline constexpr double kBisectionBalance = 1.1;

// The partitions a multilevel bisection carries through its coarse graphs (bits).
inline constexpr int kSeparatorPartition = 1;
inline constexpr int kCutPartition = 2;
inline constexpr int kBothPartitions = kSeparatorPartition | kCutPartition;

// Shortcuts a bisection takes from what its ancestors learnt about the graph.
struct BisectionHint {
  bool level_only = false;  // a balanced level-structure separator is taken, no multilevel tries
  bool skip_level = false;  // no level structure is built
  int partitions = kBothPartitions;  // what the multilevel tries carry
};

// What a bisection learnt, for its descendants.
struct BisectionOutcome {
  // +1: the level structure's separator beat the multilevel one by a wide margin (or was
  // taken alone); -1: it lost by a wide margin, or there was none; 0 otherwise.
  int level = 0;
  // The partitions whose separators the multilevel tries kept (bits; 0 without tries).
  int partitions = 0;
  // +1: every further multilevel try ended on the first one's separator weight; -1: one
  // differed; 0: fewer than two tries were made.
  int ties = 0;
};

// Computes where[v] in {kPart0, kPart1, kSeparator} for the vertices of g, such that no edge
// joins part 0 and part 1.  A separator made from a breadth-first level structure competes
// with up to `tries` multilevel bisections made from streams derived from `seed` (they share
// the first coarsening step and differ below it); the best (smallest balanced separator) is
// kept.  Once the level structure's separator beats
// the best multilevel one by a wide margin, no further try is made.  `hint` may drop the level
// structure, the multilevel tries (when the level structure gives a balanced separator) or
// one of the two partitions of the tries.
int node_bisection(WorkMemory* mem, const OrderGraph& g, std::uint64_t seed, int tries,
                   const BisectionHint& hint, int* where, BisectionOutcome* outcome);

}  // namespace ztr
