// The refinement passes of the multilevel bisection: the gain queue in both its forms, and
// separator and edge-cut refinement started from candidates projected from a coarser level,
// with one set of work arrays reused across graphs of different sizes and weights.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "sparse_solver/analysis/ordering/edge_refine.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/separator_refine.h"
#include "tests/sparse_solver/graphs.h"

namespace ztr {
namespace {

TEST(Refinement, GainQueueKeepsTheLargestKeyInBothForms) {
  WorkMemory mem;
  GainQueue q;
  const int n = 60;
  ASSERT_TRUE(q.allocate(&mem, n, "test"));
  test::Rng rng(11);
  // A narrow key range gets buckets, a wide one the heap; the queue is reused between them.
  for (const int max_key : {8, 100000, 3}) {
    q.prepare(n, max_key);
    std::map<int, int> ref;  // vertex -> key
    for (int op = 0; op < 4000; ++op) {
      const int v = test::below(rng, n);
      const int k = test::below(rng, 2 * max_key + 1) - max_key;
      if (!q.contains(v)) {
        q.insert(v, k);
        ref[v] = k;
      } else if (op % 3 == 0) {
        q.remove(v);
        ref.erase(v);
      } else {
        q.update(v, k);
        ref[v] = k;
      }
      ASSERT_EQ(q.empty(), ref.empty());
      if (ref.empty()) continue;
      int best = -max_key - 1;
      for (auto [u, key] : ref) best = std::max(best, key);
      ASSERT_EQ(q.top_key(), best) << "max key " << max_key << ", op " << op;
      ASSERT_EQ(ref.at(q.top()), best);
      ASSERT_TRUE(!ref.count(v) || q.key(v) == ref[v]) << v;
    }
    q.clear();
    for (int v = 0; v < n; ++v) ASSERT_FALSE(q.contains(v));
  }
}

// A grid split by a jagged line, with vertex weights when `heavy` (wide enough for the
// separator refinement to take the heap form).
struct Case {
  OrderGraph g;
  std::vector<int> part;
};

Case jagged_grid(WorkMemory* mem, int nx, int ny, bool heavy, unsigned seed) {
  const test::Graph t = test::grid(nx, ny, 1);
  Case c;
  EXPECT_EQ(prepare_graph(mem, t.n, t.x(), t.a(), &c.g), kOrderOk);
  test::Rng rng(seed);
  if (heavy) {
    EXPECT_TRUE(c.g.vwgt.allocate(mem, static_cast<std::size_t>(t.n), "test"));
    c.g.total_vwgt = 0;
    for (int v = 0; v < t.n; ++v) c.g.total_vwgt += c.g.vwgt[v] = 1 + test::below(rng, 400);
  }
  for (int v = 0; v < t.n; ++v) c.part.push_back(v % nx < nx / 2 + test::below(rng, 5) - 2);
  return c;
}

bool on_boundary(const OrderGraph& g, const int* where, int v) {
  for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k)
    if (where[g.adjncy[k]] != where[v]) return true;
  return false;
}

TEST(Refinement, ProjectedCandidatesGiveValidRefinedPartitions) {
  WorkMemory mem;
  {
    RefineWork work;
    ASSERT_TRUE(work.allocate(&mem, 40 * 40, "test"));
    for (const auto& [nx, heavy] : {std::pair{40, false}, std::pair{25, true}, {17, false}}) {
      Case c = jagged_grid(&mem, nx, nx, heavy, static_cast<unsigned>(nx));
      const OrderGraph& g = c.g;
      const Balance bal = make_balance(g, 1.1);
      test::Rng rng(3);

      // Edge cut: candidates are the boundary and some interior vertices.
      std::vector<int> cut = c.part;
      auto cut_size = [&] {
        long long s = 0;
        for (int v = 0; v < g.n; ++v)
          for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) s += cut[g.adjncy[k]] != cut[v];
        return s;
      };
      const long long start_cut = cut_size();
      int ncand = 0;
      for (int v = 0; v < g.n; ++v)
        if (on_boundary(g, cut.data(), v) || test::below(rng, 4) == 0) work.cut_seeds[ncand++] = v;
      refine_edge_bisection(&work, g, bal, cut.data(), ncand);
      long long w[2] = {0, 0};
      std::vector<char> listed(g.n, 0);
      for (int a = 0; a < work.nlist; ++a) listed[work.list[a]] += 1;
      for (int v = 0; v < g.n; ++v) {
        w[cut[v]] += g.weight(v);
        ASSERT_EQ(listed[v], on_boundary(g, cut.data(), v) ? 1 : 0) << "vertex " << v;
      }
      EXPECT_LT(cut_size(), start_cut) << nx;
      EXPECT_TRUE(bal.ok(w[0], w[1])) << w[0] << " " << w[1];

      // Separator: part-0 side of the cut, listed with some vertices that are not in it.
      std::vector<int> sep = c.part;
      int nseeds = 0;
      for (int v = 0; v < g.n; ++v) {
        if (c.part[v] == kPart0 && on_boundary(g, c.part.data(), v)) sep[v] = kSeparator;
        if (sep[v] == kSeparator || test::below(rng, 8) == 0) work.sep_seeds[nseeds++] = v;
      }
      long long pwgt[3], check[3];
      separator_weights(g, sep.data(), pwgt);
      const long long start_sep = pwgt[2];
      refine_separator(&work, g, bal, sep.data(), pwgt, nseeds);
      separator_weights(g, sep.data(), check);
      for (int s = 0; s < 3; ++s) EXPECT_EQ(pwgt[s], check[s]);
      EXPECT_LT(pwgt[2], start_sep) << nx;
      EXPECT_TRUE(bal.ok(pwgt[0], pwgt[1]));
      for (int v = 0; v < g.n; ++v)
        for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k)
          ASSERT_FALSE(sep[v] != kSeparator && sep[g.adjncy[k]] == 1 - sep[v]) << "edge at " << v;
    }
  }
  EXPECT_EQ(mem.in_use.load(), 0);
}

}  // namespace
}  // namespace ztr
