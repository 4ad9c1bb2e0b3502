// The reordering driver: every method returns a permutation on every kind of graph, the
// separator tree covers and separates, constrained minimum degree keeps its stages, orders are
// reproducible, the fill stays near the tuned orders, bad input is refused and every
// allocation failure unwinds with -2 and nothing leaked.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <string>
#include <vector>

#include "sparse_solver/analysis/ordering/elimination_tree.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/reorder.h"
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
  int dofs = 1;  // unknowns per grid point
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
          {"identical_rows", test::multi_dof_grid(14, 12, 3), -1, 3},
          {"no_edges", test::from_edges(500, {})},
          {"diagonal_only", test::from_edges(300, {}, true)},
          {"n1", test::from_edges(1, {}, true)},
          {"n5", test::grid(5, 1, 1)},
          {"n8", test::grid(2, 2, 2)},
          {"n9", test::grid(3, 3, 1)},
          {"n0", Graph{}}};
}

// Every method gives a permutation, the same one again, and the threaded dissection the
// serial one; up to 8 vertices the dissection is the identity.
TEST(Reorder, EveryMethodReturnsAReproduciblePermutation) {
  for (const Case& c : all_graphs()) {
    const Result serial = order(c.g, 2, 1, 4);
    for (auto [method, threads] : {std::pair{0, 1}, {1, 1}, {2, 1}, {3, 1}, {3, 3}}) {
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
      // Nested dissection compresses the unknowns of one grid point (identical rows) into one
      // vertex, so they take consecutive positions.
      for (int k = 0; k < c.g.n && c.dofs > 1; k += c.dofs)
        for (int a = 1; a < c.dofs; ++a) ASSERT_EQ(r.perm[k + a] / c.dofs, r.perm[k] / c.dofs);
      if (c.g.n > 8) continue;
      for (int k = 0; k < c.g.n; ++k) EXPECT_EQ(r.perm[k], k) << c.name;
    }
  }
}

// The separator tree of P parts (the two-level factorization gives each thread one): in
// position order, for node k, its left subtree, its right subtree, its separator; the slots
// cover 0..n-1 in that order, the unused slot is the empty range at the end, every bisection
// that split its graph is balanced (a difference of one group of identical rows allowed), and
// no edge joins the positions of a separator's two subtrees.
void check_tree(const Graph& g, const Result& r, int P, const std::string& what, int group) {
  const int* t = r.tree.data();
  std::vector<int> slots;
  auto walk = [&](auto&& self, int node) -> void {
    if (node >= P) return slots.push_back(node - P);
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
  EXPECT_EQ(next, g.n) << what;
  EXPECT_EQ(t[2 * (2 * P - 1)], g.n) << what;
  std::vector<int> pos(static_cast<std::size_t>(g.n));
  for (int k = 0; k < g.n; ++k) pos[r.perm[k]] = k;
  auto span = [&](int node) {  // from the leftmost leaf's first position to the root slot's last
    int leaf = node;
    while (leaf < P) leaf *= 2;
    return std::pair{t[2 * (leaf - P)], t[2 * (node >= P ? node - P : P + node - 1) + 1]};
  };
  for (int node = 1; node < P; ++node) {
    const auto [l0, l1] = span(2 * node);
    const auto [r0, r1] = span(2 * node + 1);
    const long long a = l1 - l0 + 1, b = r1 - r0 + 1;
    if (a > 0 && b > 0) {
      EXPECT_TRUE(2 * std::max(a, b) <= 1.1 * (a + b) || std::abs(a - b) <= group)
          << what << ": node " << node << " parts " << a << " and " << b;
    }
    for (int k = l0; k <= l1; ++k)
      for (int q = g.xadj[r.perm[k]]; q < g.xadj[r.perm[k] + 1]; ++q)
        ASSERT_FALSE(pos[g.adjncy[q]] >= r0 && pos[g.adjncy[q]] <= r1)
            << what << ": node " << node << " does not separate";
  }
}

TEST(Reorder, SeparatorTreeCoversAndSeparates) {
  const Case cases[] = {{"grid2d", test::grid(40, 40, 1, false, true)},
                        {"grid3d", test::grid(14, 13, 12)},
                        {"random", test::random_graph(3000, 6000, 5)},
                        {"identical_rows", test::multi_dof_grid(25, 25, 3), -1, 3},
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
      check_tree(c.g, r, r.parts, c.name + " parts " + std::to_string(requested), c.dofs);
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

// Fails the k-th allocation of an ordering (and, when `persist`, every one after it) for
// k = 1, 2, ... until a call succeeds: every failing call must return -2 and leave nothing
// allocated, and the run that succeeds must still give a permutation.
void sweep(const Graph& g, int method, int threads, int parts, const std::string& what,
           int persist = 0) {
  test::Disarm disarm;
  const long live = ztr_testalloc_live();
  std::vector<int> perm(static_cast<std::size_t>(g.n)), tree(4 * 4);
  long k = 1;
  for (; k < 100000 && !::testing::Test::HasFailure(); ++k) {
    const long failures = ztr_testalloc_failures();
    ztr_testalloc_fail_nth(k, persist);
    int p = parts;
    const int rc =
        reorder(g.n, g.x(), g.a(), method, threads, perm.data(), tree.data(), &p, nullptr);
    const bool failed = ztr_testalloc_failures() > failures;
    ztr_testalloc_reset();
    EXPECT_EQ(ztr_testalloc_live(), live) << what << ": leak after failing allocation " << k;
    if (!failed) {
      EXPECT_EQ(rc, kOrderOk) << what;
      break;
    }
    EXPECT_EQ(rc, kOrderNoMemory) << what << ": allocation " << k;
  }
  EXPECT_GT(k, 5) << what;
  EXPECT_TRUE(test::is_permutation(perm, g.n)) << what;
}

TEST(Reorder, AllocationFailuresUnwindWithoutLeaks) {
  sweep(test::grid(23, 21, 1), 0, 1, 1, "mmd");
  sweep(test::grid(17, 15, 1, false, true), 2, 1, 4, "nd");
  sweep(test::multi_dof_grid(15, 15, 2), 2, 1, 4, "nd compressed");
  sweep(test::arrow(300, 5), 3, 2, 4, "nd pruned, 2 threads");
  sweep(test::grid(8, 8, 7), 3, 4, 4, "nd 3-D, 4 threads");
  sweep(test::grid(12, 12, 12), 3, 4, 1, "nd 3-D, 4 threads, failures persisting", 1);
}

}  // namespace
}  // namespace ztr
