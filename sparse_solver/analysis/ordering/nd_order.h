// Multilevel nested-dissection ordering of a whole graph, with vertex compression, pruning
// of dense vertices, the per-component option and the separator tree of the top levels.
#pragma once

#include "sparse_solver/analysis/ordering/ordering_graph.h"

namespace ztr {

// The eight-entry option vector.
//   [0] 0: use the defaults below; 1: use the entries that follow
//   [1] coarsening type, [2] initial-partition type, [3] refinement type, [4] debug level:
//       accepted for compatibility; there is one scheme of each (heavy-edge matching,
//       greedy graph growing, refinement of both a vertex separator and an edge cut, see
//       node_bisection.h) and no debug output
//   [5] flags: bit 0 compress vertices with identical adjacency; bit 1 order each connected
//       component separately
//   [6] pruning factor: > 0 prunes vertices of degree >= 0.1 * factor * average degree and
//       orders them last; <= 0 no pruning
//   [7] separators tried per bisection: complete multilevel bisections, at least two
//       whatever the option says (see nested_dissection.cpp), each bisection also trying a
//       level-structure separator
inline constexpr int kNdOptionCount = 8;
inline constexpr int kNdDefaultOptions[kNdOptionCount] = {0, 3, 1, 2, 0, 1, -1, 1};
// The options used when the graph has dense rows: the defaults with pruning factor 200.
inline constexpr int kNdDenseRowOptions[kNdOptionCount] = {1, 3, 1, 2, 0, 1, 200, 1};
inline constexpr int kNdFlagCompress = 1;
inline constexpr int kNdFlagComponents = 2;

// Orders the simple symmetric graph g (owned) by nested dissection.
//
//   options   the option vector above, or null for the defaults
//   threads   T: with T > 1 the top log2(P) levels run concurrently in nested parallel
//             regions of two threads (nested parallelism is enabled for the call and the
//             caller's setting restored); the result does not depend on T
//   perm      out, n entries: perm[k] is the vertex placed at position k
//   iperm     out, n entries, or null: iperm[perm[k]] = k
//   tree      4 * P entries (P = *parts rounded up to a power of two, at least 1), or null.
//             Slots of two entries (first, last) of positions: slot j < P is leaf part j
//             (left to right), slot P + k - 1 the separator of internal node k = 1 .. P - 1
//             of the dissection tree (root 1, children of k are 2k and 2k + 1; leaves are
//             nodes P .. 2P - 1); the last slot is unused and holds (n, n - 1).  The parts
//             of node k's two children and then its separator occupy consecutive positions.
//             A subgraph above the leaf level that is too small to dissect is recorded in the
//             leftmost leaf of its subtree.  A part or separator that the dissection did not
//             produce is the empty range (e + 1, e) just after the slot that precedes it in
//             that order.  Vertices removed by pruning come last,
//             in the root's separator (in leaf 0 when P = 1).
//   parts     in: the requested part count; out: P, or 1 when the graph was not split
//             (then slot 0 covers 0 .. n - 1 and every other slot is empty)
// Returns kOrderOk, kOrderNoMemory, kOrderBadInput (P too large) or kOrderOverflow.
int ONMETIS(WorkMemory* mem, OrderGraph g, const int* options, int threads, int* perm, int* iperm,
            int* tree, int* parts);

}  // namespace ztr
