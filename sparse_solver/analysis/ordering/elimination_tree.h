// Elimination tree, postorder and column counts of the Cholesky factor L of P A P' for a
// symmetric pattern A and an ordering P: the symbolic quantities the analysis builds on, and
// the measure of an ordering's quality (fill = nnz(L)).
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

// All routines take the pattern as zero-based compressed rows (xadj, adjncy) of a symmetric
// matrix (diagonal entries allowed and ignored) and perm, n entries, perm[k] = the vertex at
// position k.  Vertices are numbered by position in the results.  Each returns kOrderOk,
// kOrderNoMemory or kOrderBadInput (perm not a permutation).

// parent[k] = the parent of column k in the elimination tree of L, or -1 for a root
// (Liu's algorithm with path compression, O(|A| log n)).
int elimination_tree(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* perm,
                     int* parent);

// post[k] = the column visited k-th by a depth-first postorder of the forest (children in
// increasing order).
int tree_postorder(WorkMemory* mem, int n, const int* parent, int* post);

// Renumbers the columns in that postorder: perm and parent are rewritten so that the tree is
// the same tree relabelled, every subtree a run of consecutive columns ending at its root.
int postorder_relabel(WorkMemory* mem, int n, int* perm, int* parent);

// count[k] = entries in column k of L, diagonal included, for a postordered tree (as
// postorder_relabel leaves it), in time nearly linear in the entries of A (the row-subtree
// skeleton of Gilbert, Ng and Peyton, with a disjoint-set forest for common ancestors).
int column_counts(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* perm,
                  const int* parent, int* count);

// Fill of an ordering: nnz(L) (diagonal included) and the floating-point operations of the
// factorization, sum over columns of count^2.
struct FactorFill {
  long long nnz_l = 0;
  double flops = 0;
};
int factor_fill(int n, const int* xadj, const int* adjncy, const int* perm, FactorFill* fill);

}  // namespace ztr
