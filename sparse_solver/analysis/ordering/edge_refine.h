// Edge-bisection refinement: Fiduccia-Mattheyses passes over the boundary vertices of a
// two-way partition, moving the vertex whose move lowers the weight of the cut edges the most
// while the parts stay within the balance tolerance, and rolling back to the best state seen.
#pragma once

#include "sparse_solver/analysis/ordering/ordering_graph.h"
#include "sparse_solver/analysis/ordering/refine_work.h"
#include "sparse_solver/analysis/ordering/separator_refine.h"

namespace ztr {

// where[v] is 0 or 1; refined in place under the balance rule `bal`.  With nseeds >= 0
// work->cut_seeds[0 .. nseeds) lists every vertex that may have a neighbour in the other part
// (the boundary projected from a coarser level); the others are taken to be interior.
// Otherwise every vertex is examined.  On return work->list[0 .. work->nlist) holds the
// boundary vertices.  `work` has room for g.
void refine_edge_bisection(RefineWork* work, const OrderGraph& g, const Balance& bal, int* where,
                           int nseeds = -1);

}  // namespace ztr
