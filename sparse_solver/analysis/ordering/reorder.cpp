// The reordering driver and the preparation of the graph for nested dissection.
#include "sparse_solver/analysis/ordering/reorder.h"

#include <algorithm>

#include "sparse_solver/analysis/ordering/minimum_degree.h"
#include "sparse_solver/analysis/ordering/nd_order.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/ordering_graph.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {
namespace {

// Graphs this small gain nothing from reordering.
constexpr int kIdentityOrderMaxN = 8;
// A row of at least n / 8 entries is dense: it would end up in every separator, so such
// vertices are pruned and ordered last.
constexpr int kDenseRowDivisor = 8;

thread_local const char* t_failed_label = nullptr;

// Fills the tree with one part covering 0 .. n - 1 (all other slots empty after it).
void one_part_tree(int n, int* tree, int* parts) {
  if (parts == nullptr) return;
  int P = 1;
  while (P < *parts && P < (1 << 29)) P *= 2;
  if (tree != nullptr) {
    tree[0] = 0;
    tree[1] = n - 1;
    for (int s = 1; s < 2 * P; ++s) {
      tree[2 * s] = n;
      tree[2 * s + 1] = n - 1;
    }
  }
  *parts = 1;
}

int minimum_degree(WorkMemory* mem, int n, const int* xadj, const int* adjncy,
                   const int* constraint, int* perm, int* tree, int* parts) {
  OrderGraph g;
  const int rc = prepare_graph(mem, n, xadj, adjncy, &g);
  if (rc != kOrderOk) return rc;
  one_part_tree(n, tree, parts);
  return MMDOrder(mem, n, g.xadj.get(), g.adjncy.get(), nullptr, constraint, nullptr, perm);
}

// Own copy without self-loops, the identity for tiny graphs, the dense-row rule, then the
// nested dissection into a private buffer copied out on success.
int nd_graph_prepare(WorkMemory* mem, int n, const int* xadj, const int* adjncy, int threads,
                     int* perm, int* tree, int* parts) {
  OrderGraph g;
  int rc = prepare_graph(mem, n, xadj, adjncy, &g);
  if (rc != kOrderOk) return rc;
  if (n <= kIdentityOrderMaxN) {
    for (int k = 0; k < n; ++k) perm[k] = k;
    one_part_tree(n, tree, parts);
    return kOrderOk;
  }
  int max_row = 0;
  for (int i = 0; i < n; ++i) max_row = std::max(max_row, xadj[i + 1] - xadj[i]);
  const int* options = max_row >= n / kDenseRowDivisor ? kNdDenseRowOptions : nullptr;
  WorkArray<int> order;
  if (!order.allocate(mem, static_cast<std::size_t>(n), "nd_graph_prepare: perm")) {
    return kOrderNoMemory;
  }
  int one = 1;
  rc = ONMETIS(mem, std::move(g), options, threads, order.get(), nullptr, tree,
               parts != nullptr ? parts : &one);
  if (rc == kOrderOk) std::copy(order.get(), order.get() + n, perm);
  return rc;
}

}  // namespace

int reorder(int n, const int* xadj, const int* adjncy, int method, int threads, int* perm,
            int* tree, int* parts, long long* bytes, const int* constraint) {
  t_failed_label = nullptr;
  if (n < 0 || (n > 0 && perm == nullptr)) return kOrderBadInput;
  if (tree != nullptr && parts == nullptr) return kOrderBadInput;
  WorkMemory mem;
  int rc;
  switch (method) {
    case kOrderMinimumDegree:
      rc = minimum_degree(&mem, n, xadj, adjncy, nullptr, perm, tree, parts);
      break;
    case kOrderConstrainedMinimumDegree:
      rc = minimum_degree(&mem, n, xadj, adjncy, constraint, perm, tree, parts);
      break;
    case kOrderNestedDissection:
      rc = nd_graph_prepare(&mem, n, xadj, adjncy, 1, perm, tree, parts);
      break;
    case kOrderParallelNestedDissection:
      rc = nd_graph_prepare(&mem, n, xadj, adjncy, std::max(threads, 1), perm, tree, parts);
      break;
    default:
      rc = kOrderBadInput;
  }
  if (bytes != nullptr) *bytes += mem.peak.load();
  t_failed_label = mem.failed_label.load();
  return rc;
}

const char* reorder_failed_allocation() {
  return t_failed_label;
}

}  // namespace ztr
