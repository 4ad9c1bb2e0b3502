#include "sparse_solver/ordering/elimination_tree.h"

#include "sparse_solver/ordering/ordering_codes.h"

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

int column_counts(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* perm,
                  const int* parent, int* count) {
  WorkArray<int> iperm, mark;
  if (!iperm.allocate(mem, static_cast<std::size_t>(n), "column_counts: iperm") ||
      !mark.allocate(mem, static_cast<std::size_t>(n), "column_counts: mark")) {
    return kOrderNoMemory;
  }
  const int rc = invert(n, perm, iperm.get());
  if (rc != kOrderOk) return rc;
  for (int k = 0; k < n; ++k) {
    count[k] = 1;
    mark[k] = -1;
  }
  // Row k of L has an entry in column j exactly when j lies on a path of the elimination
  // tree from an earlier neighbour of k up to k: walk each path until it meets one already
  // walked for this row.
  for (int k = 0; k < n; ++k) {
    mark[k] = k;
    const int v = perm[k];
    for (int q = xadj[v]; q < xadj[v + 1]; ++q) {
      for (int j = iperm[adjncy[q]]; j < k && mark[j] != k; j = parent[j]) {
        mark[j] = k;
        ++count[j];
      }
    }
  }
  return kOrderOk;
}

int factor_fill(int n, const int* xadj, const int* adjncy, const int* perm, FactorFill* fill) {
  WorkMemory mem;
  WorkArray<int> parent, count;
  if (!parent.allocate(&mem, static_cast<std::size_t>(n), "factor_fill: parent") ||
      !count.allocate(&mem, static_cast<std::size_t>(n), "factor_fill: count")) {
    return kOrderNoMemory;
  }
  int rc = elimination_tree(&mem, n, xadj, adjncy, perm, parent.get());
  if (rc == kOrderOk) rc = column_counts(&mem, n, xadj, adjncy, perm, parent.get(), count.get());
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
