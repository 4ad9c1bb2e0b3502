// Edge-bisection refinement: Fiduccia-Mattheyses passes over the boundary vertices of a
// two-way partition, moving the vertex whose move lowers the weight of the cut edges the most
// while the parts stay within the balance tolerance, and rolling back to the best state seen.
#pragma once

#include "sparse_solver/ordering/ordering_graph.h"

namespace ztr {

// where[v] is 0 or 1; refined in place.
int refine_edge_bisection(WorkMemory* mem, const OrderGraph& g, double ub, int* where);

}  // namespace ztr
