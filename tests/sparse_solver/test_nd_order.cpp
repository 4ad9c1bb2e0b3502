// The nested-dissection entry with explicit options: per-component ordering, several
// separators per bisection, pruning, the inverse permutation.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sparse_solver/ordering/nd_order.h"
#include "sparse_solver/ordering/ordering_codes.h"
#include "testalloc.h"
#include "tests/sparse_solver/graphs.h"

namespace ztr {
namespace {

using test::Graph;

OrderGraph own_copy(WorkMemory* mem, const Graph& t) {
  OrderGraph g;
  EXPECT_EQ(prepare_graph(mem, t.n, t.x(), t.a(), &g), kOrderOk);
  return g;
}

// Per-component ordering: each component takes one contiguous range of positions.  The k-th
// allocation is made to fail for k = 1, 2, ... until a call succeeds: each failure returns -2,
// names the allocation and leaves nothing behind.
TEST(NdOrder, ComponentsAreOrderedOneAfterAnotherAndUnwindFromAllocationFailures) {
  // Three graphs of different kinds, their vertices shuffled together.
  const Graph parts[3] = {test::grid(20, 15, 1), test::grid(7, 7, 6), test::path(150)};
  const int n = parts[0].n + parts[1].n + parts[2].n;
  std::vector<int> shuffle(n), comp(n);
  std::iota(shuffle.begin(), shuffle.end(), 0);
  test::Rng rng(5);
  std::shuffle(shuffle.begin(), shuffle.end(), rng);
  std::vector<std::pair<int, int>> edges;
  for (int k = 0, base = 0; k < 3; base += parts[k].n, ++k)
    for (int i = 0; i < parts[k].n; ++i) {
      comp[shuffle[base + i]] = k;
      for (int q = parts[k].xadj[i]; q < parts[k].xadj[i + 1]; ++q)
        edges.emplace_back(shuffle[base + i], shuffle[base + parts[k].adjncy[q]]);
    }
  const Graph t = test::from_edges(n, edges);
  const int options[kNdOptionCount] = {1, 3, 1, 2, 0, kNdFlagComponents, -1, 1};
  std::set<std::string> labels;
  const long long live = ztr_testalloc_live();
  for (long k = 1;; ++k) {
    WorkMemory mem;
    OrderGraph g = own_copy(&mem, t);
    std::vector<int> perm(n), iperm(n), tree(16, 0);
    int P = 4;
    const long failures = ztr_testalloc_failures();
    ztr_testalloc_fail_nth(k, 0);
    const int rc =
        ONMETIS(&mem, std::move(g), options, 2, perm.data(), iperm.data(), tree.data(), &P);
    const bool failed = ztr_testalloc_failures() > failures;
    ztr_testalloc_reset();
    ASSERT_EQ(mem.in_use.load(), 0) << "allocation " << k;
    ASSERT_EQ(ztr_testalloc_live(), live) << "allocation " << k;
    if (failed) {
      ASSERT_EQ(rc, kOrderNoMemory) << "allocation " << k;
      ASSERT_NE(mem.failed_label.load(), nullptr);
      labels.insert(mem.failed_label.load());
      ASSERT_LT(k, 100000);
      continue;
    }
    ASSERT_EQ(rc, kOrderOk);
    ASSERT_TRUE(test::is_permutation(perm, n));
    for (int q = 0; q < n; ++q) EXPECT_EQ(iperm[perm[q]], q);
    EXPECT_EQ(P, 1);
    EXPECT_EQ(tree[0], 0);
    EXPECT_EQ(tree[1], n - 1);
    int changes = 0;
    for (int q = 1; q < n; ++q) changes += comp[perm[q]] != comp[perm[q - 1]];
    EXPECT_EQ(changes, 2);
    break;
  }
  EXPECT_EQ(labels.count("MlevelNestedDissectionCC: sgraphs"), 1u);
  EXPECT_EQ(labels.count("MMDOrder: perm"), 1u);
}

TEST(NdOrder, OptionsChangeTheSearchNotTheContract) {
  const Graph t = test::grid(60, 45, 1, true);
  WorkMemory mem;
  for (const auto& options :
       {std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0}, std::vector<int>{1, 3, 1, 2, 0, 0, -1, 3},
        std::vector<int>{1, 3, 1, 2, 0, 1, 200, 1}, std::vector<int>{1, 3, 1, 2, 0, 1, 5, 2}}) {
    std::vector<int> perm(t.n), tree(32);
    int P = 8;
    ASSERT_EQ(
        ONMETIS(&mem, own_copy(&mem, t), options.data(), 1, perm.data(), nullptr, tree.data(), &P),
        kOrderOk);
    EXPECT_TRUE(test::is_permutation(perm, t.n));
    // Pruning with a small factor removes most vertices and leaves too few to split.
    ASSERT_TRUE(P == 8 || (P == 1 && options[6] > 0 && options[6] < 20)) << P;
    // The slot that comes last in position order ends at n - 1.
    EXPECT_EQ(tree[P == 1 ? 1 : 2 * P + 1], t.n - 1);
  }
  EXPECT_EQ(mem.in_use.load(), 0);
  std::vector<int> perm(t.n);
  int huge = (1 << 29) + 1;
  EXPECT_EQ(ONMETIS(&mem, own_copy(&mem, t), nullptr, 1, perm.data(), nullptr, nullptr, &huge),
            kOrderBadInput);
}

}  // namespace
}  // namespace ztr
