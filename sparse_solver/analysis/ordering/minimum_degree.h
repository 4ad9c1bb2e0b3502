// Multiple minimum degree ordering (Liu, "Modification of the minimum-degree algorithm by
// multiple elimination", ACM TOMS 11, 1985) on a quotient graph, with an optional constraint
// that makes it a constrained minimum-degree ordering.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

// Orders the graph with n vertices given by xadj/adjncy (zero-based, symmetric, without
// self-loops or repeated entries).
//
//   vwgt   optional (null: all 1) positive vertex weights: a vertex of weight w stands for w
//          vertices with identical adjacency, and degrees count weights.
//   stage  optional (null: unconstrained) constraint: every vertex of a lower stage value is
//          eliminated before any vertex of a higher one, and within a stage the order is
//          minimum degree.  This is the constrained minimum-degree ordering of method 1.
//   label  optional (null: the vertex numbers themselves): the number written to `order` for
//          each vertex, so that a subgraph's order lands directly in its parent's numbering.
//   order  out: order[k] is (the label of) the vertex eliminated k-th.
//
// Returns kOrderOk, kOrderNoMemory or kOrderOverflow (a total weight beyond int).  The
// workspace is O(|adjncy| + n) integers, grown when the quotient graph needs more room.
int MMDOrder(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* vwgt,
             const int* stage, const int* label, int* order);

}  // namespace ztr
