// Multilevel vertex bisection: coarsen by heavy-edge matching to about a hundred vertices,
// bisect the coarsest graph by greedy graph growing, turn the cut into a vertex separator,
// and refine the separator on every level on the way back up.
#pragma once

#include <cstdint>

#include "sparse_solver/ordering/ordering_graph.h"

namespace ztr {

// Balance tolerance of every bisection of the nested dissection.
inline constexpr double kBisectionBalance = 1.2;

// Computes where[v] in {kPart0, kPart1, kSeparator} for the vertices of g, such that no edge
// joins part 0 and part 1.  `tries` complete multilevel bisections are made from streams
// derived from `seed`, and the best (smallest balanced separator) is kept.
int node_bisection(WorkMemory* mem, const OrderGraph& g, std::uint64_t seed, int tries, int* where);

}  // namespace ztr
