#include "sparse_solver/analysis/ordering/elimination_tree.h"

#include <cstring>

#include "sparse_solver/analysis/ordering/ordering_codes.h"

namespace ztr {
namespace {

// iperm[v] = position of v; fails when perm repeats or leaves out a vertex.
int invert(int n, const int* perm, int* iperm) {
  for (int v = 0; v < n; ++v) iperm[v] = -1;
  for (int k = 0; k < n; ++k) {
    if (perm[k] < 0 || perm[k] >= n || iperm[perm[k]] >= 0) return kOrderBadInput;
    iperm[perm[k]] = k;
  }
  return kOrderOk;
}

}  // namespace

int elimination_tree(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* perm,
                     int* parent) {
  WorkArray<int> iperm, ancestor;
  if (!iperm.allocate(mem, static_cast<std::size_t>(n), "elimination_tree: iperm") ||
      !ancestor.allocate(mem, static_cast<std::size_t>(n), "elimination_tree: ancestor")) {
    return kOrderNoMemory;
  }
  const int rc = invert(n, perm, iperm.get());
  if (rc != kOrderOk) return rc;
  for (int k = 0; k < n; ++k) {
    parent[k] = -1;
    ancestor[k] = -1;
    const int v = perm[k];
    for (int q = xadj[v]; q < xadj[v + 1]; ++q) {
      // Climb from each earlier neighbour to the root of its current subtree, pointing the
      // path at k on the way (path compression); that root becomes a child of k.
      for (int r = iperm[adjncy[q]]; r < k;) {
        const int next = ancestor[r];
        ancestor[r] = k;
        if (next < 0) {
          parent[r] = k;
          break;
        }
        r = next;
      }
    }
  }
  return kOrderOk;
}

int tree_postorder(WorkMemory* mem, int n, const int* parent, int* post) {
  WorkArray<int> head, next, stack;
  if (!head.allocate(mem, static_cast<std::size_t>(n), "tree_postorder: head") ||
      !next.allocate(mem, static_cast<std::size_t>(n), "tree_postorder: next") ||
      !stack.allocate(mem, static_cast<std::size_t>(n), "tree_postorder: stack")) {
    return kOrderNoMemory;
  }
  for (int k = 0; k < n; ++k) head[k] = -1;
  // Children pushed in decreasing order so that each list runs in increasing order.
  for (int k = n - 1; k >= 0; --k) {
    if (parent[k] >= 0) {
      next[k] = head[parent[k]];
      head[parent[k]] = k;
    }
  }
  int cnt = 0;
  for (int root = 0; root < n; ++root) {
    if (parent[root] >= 0) continue;
    int top = 0;
    stack[top++] = root;
    while (top > 0) {
      const int k = stack[top - 1];
      if (head[k] >= 0) {
        const int child = head[k];
        head[k] = next[child];
        stack[top++] = child;
      } else {
        post[cnt++] = k;
        --top;
      }
    }
  }
  return kOrderOk;
}

int postorder_relabel(WorkMemory* mem, int n, int* perm, int* parent) {
  WorkArray<int> post, tmp;
  if (!post.allocate(mem, static_cast<std::size_t>(n), "postorder_relabel: post") ||
      !tmp.allocate(mem, static_cast<std::size_t>(n), "postorder_relabel: tmp")) {
    return kOrderNoMemory;
  }
  const int rc = tree_postorder(mem, n, parent, post.get());
  if (rc != kOrderOk) return rc;
  for (int k = 0; k < n; ++k) tmp[k] = perm[post[k]];
  std::memcpy(perm, tmp.get(), sizeof(int) * static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) tmp[post[k]] = k;
  for (int k = 0; k < n; ++k) post[k] = parent[post[k]] < 0 ? -1 : tmp[parent[post[k]]];
  std::memcpy(parent, post.get(), sizeof(int) * static_cast<std::size_t>(n));
  return kOrderOk;
}

// The columns where row i of L has entries form the subtree S_i spanned by i and its earlier
// neighbours.  Each S_i puts +1 on its leaves, -1 on the lowest common ancestor of each two
// leaves that follow each other in postorder, and -1 on the parent of i; summed over the
// subtree of column j, these weights count the S_i that contain j.  An earlier neighbour j
// of i is a leaf of S_i unless a neighbour before it lies in j's subtree [first[j], j); the
// common ancestors come from a disjoint-set forest in which every finished column points at
// its parent.
int column_counts(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* perm,
                  const int* parent, int* count) {
  WorkArray<int> iperm, first, prev_leaf, prev_nbr, set;
  if (!iperm.allocate(mem, static_cast<std::size_t>(n), "column_counts: iperm") ||
      !first.allocate(mem, static_cast<std::size_t>(n), "column_counts: first") ||
      !prev_leaf.allocate(mem, static_cast<std::size_t>(n), "column_counts: prev_leaf") ||
      !prev_nbr.allocate(mem, static_cast<std::size_t>(n), "column_counts: prev_nbr") ||
      !set.allocate(mem, static_cast<std::size_t>(n), "column_counts: set")) {
    return kOrderNoMemory;
  }
  const int rc = invert(n, perm, iperm.get());
  if (rc != kOrderOk) return rc;
  for (int j = 0; j < n; ++j) {
    first[j] = prev_leaf[j] = prev_nbr[j] = -1;
    set[j] = j;
    count[j] = 0;
  }
  for (int k = 0; k < n; ++k)
    for (int j = k; j >= 0 && first[j] < 0; j = parent[j]) first[j] = k;
  for (int j = 0; j < n; ++j) {
    if (prev_nbr[j] < 0) ++count[j];  // S_j is j alone
    if (parent[j] >= 0) --count[parent[j]];
    const int v = perm[j];
    for (int q = xadj[v]; q < xadj[v + 1]; ++q) {
      const int i = iperm[adjncy[q]];
      if (i <= j) continue;
      if (first[j] > prev_nbr[i]) {
        ++count[j];
        const int p = prev_leaf[i];
        if (p >= 0) {
          int root = p;
          while (set[root] != root) root = set[root];
          for (int x = p; x != root;) {
            const int up = set[x];
            set[x] = root;
            x = up;
          }
          --count[root];
        }
        prev_leaf[i] = j;
      }
      prev_nbr[i] = j;
    }
    if (parent[j] >= 0) set[j] = parent[j];
  }
  for (int j = 0; j < n; ++j)
    if (parent[j] >= 0) count[parent[j]] += count[j];
  return kOrderOk;
}

int factor_fill(int n, const int* xadj, const int* adjncy, const int* perm, FactorFill* fill) {
  WorkMemory mem;
  WorkArray<int> order, parent, count;
  if (!order.allocate(&mem, static_cast<std::size_t>(n), "factor_fill: order") ||
      !parent.allocate(&mem, static_cast<std::size_t>(n), "factor_fill: parent") ||
      !count.allocate(&mem, static_cast<std::size_t>(n), "factor_fill: count")) {
    return kOrderNoMemory;
  }
  // The postordered matrix has the same fill.
  std::memcpy(order.get(), perm, sizeof(int) * static_cast<std::size_t>(n));
  int rc = elimination_tree(&mem, n, xadj, adjncy, order.get(), parent.get());
  if (rc == kOrderOk) rc = postorder_relabel(&mem, n, order.get(), parent.get());
  if (rc == kOrderOk)
    rc = column_counts(&mem, n, xadj, adjncy, order.get(), parent.get(), count.get());
  if (rc != kOrderOk) return rc;
  fill->nnz_l = 0;
  fill->flops = 0;
  for (int k = 0; k < n; ++k) {
    fill->nnz_l += count[k];
    fill->flops += static_cast<double>(count[k]) * count[k];
  }
  return kOrderOk;
}

}  // namespace ztr
