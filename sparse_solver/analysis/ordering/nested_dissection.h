// Recursive multilevel nested dissection of an owned graph, writing into a shared order
// array and separator tree; the two halves of the top levels are ordered concurrently.
#pragma once

#include <cstdint>

#include "sparse_solver/analysis/ordering/ordering_graph.h"

namespace ztr {

// Subgraphs of at most this many vertices are not dissected further but ordered by MMDOrder
// on their own: below that size a separator saves less fill than it costs.
inline constexpr int kMmdPartSize = 200;

// What every subproblem of one dissection shares.  Each subproblem writes only its own range
// of `order` and its own entries of `tree`, so concurrent subproblems never write the same
// word.
struct NdShared {
  WorkMemory* mem;
  int* order;  // order[position] = vertex of the graph being dissected
  int* tree;   // separator tree (see nd_order.h), or null
  int parts;   // P, a power of two
  int levels;  // log2(P); subproblems deeper than this record nothing
  int tries;   // bisections tried per separator
};

// What the closest ancestors of a subgraph found, in a row, counted from its parent upwards:
// a subgraph is a piece of its parent, and a graph that gave one kind of separator over a
// few levels gives it again.  Each count is positive for a run of one answer and negative
// for a run of the other.
struct NdHistory {
  // +k: the level structure's separator beat the multilevel one widely k times; -k: it lost
  // widely (or there was none) k times.
  int level = 0;
  // +k: the multilevel tries kept only separators refined as separators k times; -k: only
  // separators from edge cuts.
  int partition = 0;
  // Bisections in a row whose further multilevel tries all ended on the first try's separator
  // weight.
  int ties = 0;
};

// Places the vertices of g into positions first .. first + g.n - 1: a separator found by
// multilevel bisection takes the last positions of the range, and each of the two parts the
// positions before it, a part of at most kMmdPartSize vertices ordered by MMDOrder on its own
// subgraph, a larger one by recursion.  label[v] is the vertex number written to `order` for
// vertex v (null: v itself).  `node` is the heap index of this subproblem in the separator
// tree (root 1) and `depth` its depth (root 0); `threads` the threads it may use; `seed` its
// random stream; `history` what its ancestors learnt (empty at the root).
int ztr_pds_metis_mlevelnesteddissection_korvine(const NdShared& sh, const OrderGraph& g,
                                                 const int* label, int first, int node, int depth,
                                                 int threads, std::uint64_t seed,
                                                 NdHistory history);

// Dissects each connected component of g separately, one after the other in positions
// 0 .. g.n - 1, recording nothing in a separator tree.
int MlevelNestedDissectionCC(const NdShared& sh, const OrderGraph& g);

}  // namespace ztr
