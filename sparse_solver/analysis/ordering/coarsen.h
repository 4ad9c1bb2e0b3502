// One coarsening step of multilevel bisection: a heavy-edge matching collapses matched
// pairs of vertices into one coarse vertex (Karypis and Kumar, "A fast and high quality
// multilevel scheme for partitioning irregular graphs", SIAM J. Sci. Comput. 20, 1998).
#pragma once

#include "sparse_solver/analysis/ordering/ordering_graph.h"
#include "sparse_solver/analysis/ordering/random_stream.h"

namespace ztr {

// Builds the coarse graph of g.  cmap (g.n entries) receives the coarse vertex of every fine
// vertex.  No coarse vertex gets a weight above max_vwgt unless a fine vertex already has it.
int coarsen_graph(WorkMemory* mem, const OrderGraph& g, RandomStream* rng, int max_vwgt,
                  OrderGraph* coarse, int* cmap);

}  // namespace ztr
