// The reordering driver: every method returns a permutation on every kind of graph, the
// separator tree covers and separates, orders are reproducible, the fill stays near the tuned
// orders, bad input is refused and every allocation failure unwinds with -2 and nothing leaked;
// the nested-dissection entry with explicit options.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <functional>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "sparse_solver/ordering/elimination_tree.h"
#include "sparse_solver/ordering/nd_order.h"
#include "sparse_solver/ordering/ordering_codes.h"
#include "sparse_solver/ordering/reorder.h"
#include "testalloc.h"
#include "tests/sparse_solver/graphs.h"

namespace ztr {
namespace {

using test::Graph;

struct Result {
  int rc = 0;
  std::vector<int> perm, tree;
  int parts = 0;
  long long bytes = 0;
};

Result order(const Graph& g, int method, int threads = 1, int parts = 1,
             const int* constraint = nullptr) {
  Result r;
  const int P = static_cast<int>(std::bit_ceil(static_cast<unsigned>(parts)));
  r.perm.assign(static_cast<std::size_t>(g.n) + 1, -7);
  r.tree.assign(4 * static_cast<std::size_t>(P) + 1, -7);  // one guard entry
  r.parts = parts;
  r.rc = reorder(g.n, g.x(), g.a(), method, threads, r.perm.data(), r.tree.data(), &r.parts,
                 &r.bytes, constraint);
  EXPECT_EQ(r.perm[g.n], -7) << "wrote past the permutation";
  EXPECT_EQ(r.tree[4 * P], -7) << "wrote past the separator tree";
  return r;
}

long long fill_of(const Graph& g, const std::vector<int>& perm) {
  FactorFill f;
  EXPECT_EQ(factor_fill(g.n, g.x(), g.a(), perm.data(), &f), kOrderOk);
  return f.nnz_l;
}

struct Case {
  std::string name;
  Graph g;
  int hub = -1;  // a dense row's vertex
};

std::vector<Case> all_graphs() {
  return {{"grid2d", test::grid(37, 23, 1, false, true)},
          {"grid3d", test::grid(9, 8, 7)},
          {"grid3d27", test::grid(7, 7, 6, true, true)},
          {"random", test::random_graph(900, 2500, 11)},
          {"random_dense", test::random_graph(300, 6000, 12, true)},
          {"components", test::copies(test::grid(13, 11, 1), 5)},
          {"arrow", test::arrow(2000, 1234), 1234},
          {"star", test::arrow(600, 0, false)},
          {"path", test::grid(1000, 1, 1)},
          {"identical_rows", test::multi_dof_grid(14, 12, 3)},
          {"no_edges", test::from_edges(500, {})},
          {"diagonal_only", test::from_edges(300, {}, true)},
          {"n1", test::from_edges(1, {}, true)},
          {"n5", test::grid(5, 1, 1)},
          {"n8", test::grid(2, 2, 2)},
          {"n9", test::grid(3, 3, 1)},
          {"n0", Graph{}}};
}

// Every method gives a permutation, the same one again, and the threaded dissection the
// serial one; up to 8 vertices the dissection is the identity in one part.
TEST(Reorder, EveryMethodReturnsAReproduciblePermutation) {
  for (const Case& c : all_graphs()) {
    const Result serial = order(c.g, 2, 1, 4);
    for (int method = 0; method <= 3; ++method)
      for (int threads : {1, 3}) {
        if (method != 3 && threads != 1) continue;
        const Result r = order(c.g, method, threads, 4);
        ASSERT_EQ(r.rc, 0) << c.name << " method " << method;
        EXPECT_TRUE(test::is_permutation(r.perm, c.g.n)) << c.name << " method " << method;
        EXPECT_GT(r.bytes, 0) << c.name;
        EXPECT_EQ(order(c.g, method, threads, 4).perm, r.perm) << c.name << " method " << method;
        // A dense row is pruned and ordered last.  L then holds the diagonal, the two paths left
        // without the hub and the hub's row: 3n - 4 entries, which minimum degree attains;
        // dissecting the paths adds at most one entry per column.
        if (c.hub >= 0) {
          EXPECT_EQ(r.perm[c.g.n - 1], c.hub) << method;
          const long long f = fill_of(c.g, r.perm);
          EXPECT_TRUE(method < 2 ? f == 3LL * c.g.n - 4 : f <= 4LL * c.g.n) << method << ": " << f;
        }
        if (method < 2) continue;
        EXPECT_EQ(r.perm, serial.perm) << c.name << " threads " << threads;
        EXPECT_EQ(r.tree, serial.tree) << c.name << " threads " << threads;
        if (c.g.n > 8) continue;
        for (int k = 0; k < c.g.n; ++k) EXPECT_EQ(r.perm[k], k) << c.name;
        EXPECT_TRUE(r.parts == 1 && r.tree[1] == c.g.n - 1) << c.name;
        for (int s = 0; s < 8; ++s) EXPECT_EQ(r.tree[2 * s], s == 0 ? 0 : c.g.n);
      }
  }
  // Above 8 vertices but small enough to be ordered by minimum degree in one piece.
  for (int method = 0; method <= 2; ++method) {
    const Result r = order(test::grid(10, 10, 1), method, 1, 8);
    EXPECT_TRUE(r.parts == 1 && r.tree[1] == 99) << method;
  }
}

// Checks the tree layout of a result and returns the position ranges of the P leaf parts.
void check_tree(const Graph& g, const Result& r, int P, const std::string& what,
                int max_group = 1) {
  const int n = g.n;
  const int* t = r.tree.data();
  // Position order: for node k, left subtree, right subtree, separator.
  std::vector<int> slots;
  auto walk = [&](auto&& self, int node) -> void {
    if (node >= P) {
      slots.push_back(node - P);
      return;
    }
    self(self, 2 * node);
    self(self, 2 * node + 1);
    slots.push_back(P + node - 1);
  };
  walk(walk, 1);
  int next = 0;
  for (int s : slots) {
    EXPECT_EQ(t[2 * s], next) << what << " slot " << s;
    EXPECT_GE(t[2 * s + 1], t[2 * s] - 1) << what << " slot " << s;
    next = t[2 * s + 1] + 1;
  }
  EXPECT_EQ(next, n) << what;
  EXPECT_EQ(t[2 * (2 * P - 1)], n) << what << ": the unused slot is an empty range at the end";
  // Every separator separates: no edge joins the positions of its two subtrees.
  std::vector<int> pos(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) pos[r.perm[k]] = k;
  // A subtree's positions run from its leftmost leaf's first to its root slot's last.
  auto span = [&](int node) {
    int leaf = node;
    while (leaf < P) leaf *= 2;
    return std::pair{t[2 * (leaf - P)], t[2 * (node >= P ? node - P : P + node - 1) + 1]};
  };
  for (int node = 1; node < P; ++node) {
    const auto [l0, l1] = span(2 * node);
    const auto [r0, r1] = span(2 * node + 1);
    // Every bisection that split its graph is balanced: the heavier part holds at most 1.1
    // times half of the two parts together (vertices of identical rows count together, so a
    // difference of one such group is allowed too).  The root's parts exclude vertices that
    // pruning placed after everything.
    const long long a = l1 - l0 + 1, b = r1 - r0 + 1;
    const int sep = P + node - 1;
    if (a > 0 && b > 0) {
      EXPECT_TRUE(2 * std::max(a, b) <= 1.1 * (a + b) || std::abs(a - b) <= max_group)
          << what << ": node " << node << " parts " << a << " and " << b;
    } else {
      EXPECT_EQ(t[2 * sep + 1], t[2 * sep] - 1) << what << ": node " << node << " not split";
    }
    for (int k = l0; k <= l1; ++k) {
      const int v = r.perm[k];
      for (int q = g.xadj[v]; q < g.xadj[v + 1]; ++q) {
        const int p = pos[g.adjncy[q]];
        ASSERT_FALSE(p >= r0 && p <= r1) << what << ": node " << node << " does not separate";
      }
    }
  }
}

TEST(Reorder, SeparatorTreeCoversAndSeparates) {
  // Both nested-dissection methods lay out the same tree (their orders are equal, tested
  // below); more parts than the dissection can fill leave most leaves empty ranges.
  const Case cases[] = {{"grid2d", test::grid(40, 40, 1, false, true)},
                        {"grid3d", test::grid(14, 13, 12)},
                        {"random", test::random_graph(3000, 6000, 5)},
                        {"identical_rows", test::multi_dof_grid(25, 25, 3)},
                        {"arrow", test::arrow(3000, 17)},
                        {"few vertices", test::grid(45, 44, 1)}};
  for (const auto& c : cases) {
    const bool few = c.name == "few vertices";
    for (int requested : few ? std::vector<int>{64, 1000} : std::vector<int>{1, 2, 3, 8}) {
      const int method = requested < 3 ? 2 : 3;
      const Result r = order(c.g, method, method == 3 ? 4 : 1, requested);
      ASSERT_EQ(r.rc, 0);
      ASSERT_TRUE(test::is_permutation(r.perm, c.g.n));
      EXPECT_EQ(r.parts, static_cast<int>(std::bit_ceil(static_cast<unsigned>(requested))));
      const int dofs = c.name == "identical_rows" ? 3 : 1;
      check_tree(c.g, r, r.parts, c.name + " parts " + std::to_string(requested), dofs);
      // Nested dissection compresses the unknowns of one grid point (identical rows) into one
      // vertex, so they take consecutive positions.
      for (int k = 0; k < c.g.n; k += dofs)
        for (int a = 1; a < dofs; ++a) ASSERT_EQ(r.perm[k + a] / dofs, r.perm[k] / dofs) << k;
    }
  }
}

TEST(Reorder, ConstrainedMinimumDegreeRespectsStages) {
  const Graph g = test::grid(31, 27, 1, false, true);
  std::vector<int> stage(static_cast<std::size_t>(g.n));
  for (int v = 0; v < g.n; ++v) stage[v] = (v * 7) % 3 == 0 ? 5 : ((v % 31) < 15 ? -1 : 2);
  const Result r = order(g, 1, 1, 1, stage.data());
  ASSERT_EQ(r.rc, 0);
  ASSERT_TRUE(test::is_permutation(r.perm, g.n));
  for (int k = 1; k < g.n; ++k) EXPECT_LE(stage[r.perm[k - 1]], stage[r.perm[k]]) << k;
  EXPECT_EQ(order(g, 1).perm, order(g, 0).perm) << "no constraint is plain minimum degree";
}

TEST(Reorder, BadInputIsRefused) {
  const Graph g = test::grid(5, 5, 1);
  Graph bad_column = g, bad_start = g;
  bad_column.adjncy[7] = 25;
  bad_start.xadj[3] = bad_start.xadj[4] + 1;
  std::vector<int> perm(25), tree(4);
  int parts = 1;
  auto refused = [&](int n, int method, const Graph& h, const int* x, int* p, int* t, int* np) {
    return reorder(n, x, h.a(), method, 1, p, t, np, nullptr) == kOrderBadInput;
  };
  EXPECT_TRUE(refused(25, 4, g, g.x(), perm.data(), tree.data(), &parts));  // method
  EXPECT_TRUE(refused(25, -1, g, g.x(), perm.data(), nullptr, nullptr));
  EXPECT_TRUE(refused(-1, 2, g, g.x(), perm.data(), nullptr, nullptr));
  EXPECT_TRUE(refused(25, 2, g, g.x(), nullptr, nullptr, nullptr));
  EXPECT_TRUE(refused(25, 0, g, nullptr, perm.data(), nullptr, nullptr));
  EXPECT_TRUE(refused(25, 2, g, g.x(), perm.data(), tree.data(), nullptr));  // a tree needs parts
  EXPECT_TRUE(refused(25, 2, bad_column, bad_column.x(), perm.data(), nullptr, nullptr));
  EXPECT_TRUE(refused(25, 0, bad_start, bad_start.x(), perm.data(), nullptr, nullptr));
  // An unsymmetric pattern with repeated entries is ordered as its symmetric hull.
  std::vector<int> xadj = {0, 3, 3, 4, 4}, adj = {1, 1, 3, 0};
  for (int method = 0; method <= 3; ++method) {
    std::vector<int> p(4, -1);
    EXPECT_EQ(reorder(4, xadj.data(), adj.data(), method, 2, p.data(), nullptr, nullptr, nullptr),
              0);
    EXPECT_TRUE(test::is_permutation(p, 4));
  }
  const Graph u = test::random_graph(600, 1500, 9);
  Graph half{u.n, {0}, {}};  // upper triangle only
  for (int i = 0; i < u.n; ++i) {
    for (int k = u.xadj[i]; k < u.xadj[i + 1]; ++k)
      if (u.adjncy[k] > i) half.adjncy.push_back(u.adjncy[k]);
    half.xadj.push_back(static_cast<int>(half.adjncy.size()));
  }
  EXPECT_EQ(order(half, 2).perm, order(u, 2).perm);
  // The elimination tree refuses an order that is not a permutation.
  const Graph p4 = test::grid(4, 1, 1);
  std::vector<int> repeated = {0, 1, 1, 3}, parent(4);
  WorkMemory mem;
  EXPECT_EQ(elimination_tree(&mem, 4, p4.x(), p4.a(), repeated.data(), parent.data()),
            kOrderBadInput);
}

// Ordering quality: the fill of minimum degree and of nested dissection on model problems and
// a structural pattern stays within 3 % of what the orders gave when last tuned (both are
// deterministic), so a broken separator, refinement or degree update shows up as fill.
constexpr double kFillSlack = 1.03;

TEST(OrderingQuality, FillStaysNearTheTunedOrders) {
  const struct {
    const char* name;
    test::Graph g;
    long long md, nd;  // nnz(L) of minimum degree and nested dissection when last tuned
  } cases[] = {
      {"3-D grid 20^3", test::grid(20, 20, 20), 810043, 613364},
      {"2-D grid 100^2", test::grid(100, 100, 1), 198426, 197935},
      {"plate, 3 unknowns per node", test::multi_dof_grid(26, 26, 3, true), 104163, 108933},
      {"3-D 27-point grid 16^3", test::grid(16, 16, 16, true), 765681, 521217}};
  for (const auto& c : cases)
    for (int method : {0, 2})
      EXPECT_LE(fill_of(c.g, order(c.g, method).perm), kFillSlack * (method == 0 ? c.md : c.nd))
          << c.name << " method " << method;
}

// Fails the k-th allocation of `call` for k = 1, 2, ... until a call succeeds; every failing
// call must return -2, leave nothing allocated and name the failed allocation (`label()`) as
// "routine: array", so that a failure report says where the memory ran out.  Adds the labels
// to `labels`; returns the number of allocations of a whole run (0 after a failed check).
// `setup` runs before each call, outside the count.
long sweep(
    const std::string& what, const std::function<int()>& call,
    const std::function<const char*()>& label, std::set<std::string>* labels = nullptr,
    const std::function<void()>& setup = [] {}) {
  test::Disarm disarm;
  const long live = ztr_testalloc_live();
  for (long k = 1; k < 100000 && !::testing::Test::HasFailure(); ++k) {
    setup();
    const long failures = ztr_testalloc_failures();
    ztr_testalloc_fail_nth(k, 0);
    const int rc = call();
    const bool failed = ztr_testalloc_failures() > failures;
    ztr_testalloc_reset();
    EXPECT_EQ(ztr_testalloc_live(), live) << what << ": leak after failing allocation " << k;
    if (!failed) {
      EXPECT_EQ(rc, kOrderOk) << what;
      return rc == kOrderOk ? k : 0;
    }
    EXPECT_EQ(rc, kOrderNoMemory) << what << ": allocation " << k;
    const std::string name = label() ? label() : "(none)";
    const std::size_t colon = name.find(": ");
    EXPECT_TRUE(colon != std::string::npos && test::name_like(name.substr(0, colon)) &&
                test::name_like(name.substr(colon + 2)))
        << what << ": " << name;
    if (labels != nullptr) labels->insert(name);
  }
  return 0;
}

void sweep(const Graph& g, int method, int threads, int parts, const std::string& what,
           std::set<std::string>* labels = nullptr) {
  std::vector<int> perm(static_cast<std::size_t>(g.n)), tree(4 * 4);
  int p = parts;
  const auto call = [&] {
    p = parts;
    return reorder(g.n, g.x(), g.a(), method, threads, perm.data(), tree.data(), &p, nullptr);
  };
  EXPECT_GT(sweep(what, call, reorder_failed_allocation, labels), 5) << what;
  EXPECT_TRUE(test::is_permutation(perm, g.n)) << what;
}

TEST(Reorder, AllocationFailuresUnwindWithoutLeaks) {
  sweep(test::grid(23, 21, 1), 0, 1, 1, "mmd");
  sweep(test::grid(23, 21, 1), 1, 1, 1, "constrained mmd");
  std::set<std::string> labels;
  sweep(test::grid(17, 15, 1, false, true), 2, 1, 4, "nd", &labels);
  sweep(test::multi_dof_grid(15, 15, 2), 2, 1, 4, "nd compressed", &labels);
  for (const char* expected :
       {"ONMETIS: cptr", "MMDOrder: perm", "ztr_pds_metis_mlevelnesteddissection_korvine: where",
        "nd_graph_prepare: perm"}) {
    EXPECT_EQ(labels.count(expected), 1u) << expected;
  }
  sweep(test::arrow(300, 5), 3, 2, 4, "nd pruned, 2 threads");
  sweep(test::grid(8, 8, 7), 3, 4, 4, "nd 3-D, 4 threads");
  // A failure that persists: every allocation from some point on fails.
  test::Disarm disarm;
  const Graph g = test::grid(12, 12, 12);
  const long long live = ztr_testalloc_live();
  // Early, middle and last allocations of a run, whatever their number.
  std::vector<int> perm(static_cast<std::size_t>(g.n));
  const long before = ztr_testalloc_requests();
  ASSERT_EQ(reorder(g.n, g.x(), g.a(), 3, 4, perm.data(), nullptr, nullptr, nullptr), 0);
  const long total = ztr_testalloc_requests() - before;
  for (long k : {3L, total / 4, total}) {
    ztr_testalloc_fail_nth(k, 1);
    EXPECT_EQ(reorder(g.n, g.x(), g.a(), 3, 4, perm.data(), nullptr, nullptr, nullptr),
              kOrderNoMemory);
    ztr_testalloc_reset();
    EXPECT_EQ(ztr_testalloc_live(), live);
  }
}

// The nested-dissection entry with explicit options: per-component ordering, several
// separators per bisection, pruning, the inverse permutation.
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
  const Graph parts[3] = {test::grid(20, 15, 1), test::grid(7, 7, 6), test::grid(150, 1, 1)};
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
  std::vector<int> perm(n), iperm(n), tree(16, 0);
  int P = 4;
  std::unique_ptr<WorkMemory> mem;
  OrderGraph g;
  const auto setup = [&] {
    g = OrderGraph();  // before the memory it was counted in goes
    mem = std::make_unique<WorkMemory>();
    g = own_copy(mem.get(), t);
    P = 4;
  };
  const auto call = [&] {
    const int rc =
        ONMETIS(mem.get(), std::move(g), options, 2, perm.data(), iperm.data(), tree.data(), &P);
    EXPECT_EQ(mem->in_use.load(), 0);
    return rc;
  };
  const auto label = [&] { return mem->failed_label.load(); };
  ASSERT_GT(sweep("components", call, label, &labels, setup), 0);
  ASSERT_TRUE(test::is_permutation(perm, n));
  for (int q = 0; q < n; ++q) EXPECT_EQ(iperm[perm[q]], q);
  EXPECT_TRUE(P == 1 && tree[0] == 0 && tree[1] == n - 1) << P;
  int changes = 0;
  for (int q = 1; q < n; ++q) changes += comp[perm[q]] != comp[perm[q - 1]];
  EXPECT_EQ(changes, 2);
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
    ASSERT_EQ(P, options[6] > 0 && options[6] < 20 ? 1 : 8);
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
