// Weighted matching and scaling of a symmetric indefinite matrix (upper triangle stored).
// The maximum product transversal of the full matrix gives row and column scales dr, dc; the
// symmetric scale d = sqrt(dr*dc) keeps every scaled entry at most 1 in magnitude and the
// matched ones at 1.  The matching's permutation splits into cycles; each 2-cycle, and
// consecutive members of longer cycles, become a pair that the factorization should pivot
// on as one 2x2 block (a zero or tiny diagonal next to a large off-diagonal entry).  To keep
// a pair together the ordering runs on the graph with each pair merged into one vertex, and
// the symbolic factorization sees both members with the union of their neighbours, which
// makes them adjacent columns of one supernode.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

// For the upper-triangle matrix (ia, ja, a) zero-based: d (n) the symmetric scale and
// partner[i] the other member of i's pair or -1; *pairs the number of pairs.  Returns 0, 1
// when the matrix is structurally singular (nothing is written then), -2 when work memory
// could not be allocated.
template <typename T>
int symmetric_matching(WorkMemory* mem, int n, const int* ia, const int* ja, const T* a, double* d,
                       int* partner, int* pairs);

// The graph (xadj, adj) of n vertices with every pair merged into its first member:
// *nc vertices, vertex_of[v] the merged vertex of v, first_of[c] its first member.  Returns
// false when memory could not be allocated.
bool merge_pairs(WorkMemory* mem, int n, const int* xadj, const int* adj, const int* partner,
                 WorkArray<int>* cxadj, WorkArray<int>* cadj, WorkArray<int>* first_of, int* nc);

// Expands an order of the merged graph (cperm, nc entries) into perm (n entries), each pair's
// members at consecutive positions.
void expand_pair_order(int nc, const int* cperm, const int* first_of, const int* partner,
                       int* perm);

// Gives both members of every pair the union of their neighbourhoods (and each other), in
// place of (xadj, adj).  Returns false when memory could not be allocated.
bool join_pair_neighbourhoods(WorkMemory* mem, int n, const int* partner, WorkArray<int>* xadj,
                              WorkArray<int>* adj);

}  // namespace ztr
