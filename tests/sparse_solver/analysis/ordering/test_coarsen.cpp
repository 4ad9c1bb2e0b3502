// Coarsening of the multilevel bisection: every coarse graph is the exact contraction of its
// fine graph under a maximal matching, level after level (unit weights first, then weighted).
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "sparse_solver/analysis/ordering/coarsen.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "tests/sparse_solver/graphs.h"

namespace ztr {
namespace {

TEST(Coarsening, CoarseGraphIsTheContractionUnderAMaximalMatching) {
  WorkMemory mem;
  {
    // A 27-point grid and a 2-D grid with isolated vertices appended.
    test::Graph grids[2] = {test::grid(9, 8, 7, true), test::grid(30, 20, 1)};
    grids[1].n += 40;
    grids[1].xadj.resize(static_cast<std::size_t>(grids[1].n) + 1, grids[1].xadj.back());
    for (const test::Graph& t : grids) {
      OrderGraph g;
      ASSERT_EQ(prepare_graph(&mem, t.n, t.x(), t.a(), &g), kOrderOk);
      RandomStream rng(t.n);
      const int max_vwgt = 12;
      for (int level = 0; level < 4 && g.n > 1; ++level) {
        OrderGraph c;
        std::vector<int> cmap(static_cast<std::size_t>(g.n));
        ASSERT_EQ(coarsen_graph(&mem, g, &rng, max_vwgt, &c, cmap.data()), kOrderOk);
        std::vector<std::vector<int>> members(static_cast<std::size_t>(c.n));
        for (int v = 0; v < g.n; ++v) members[cmap[v]].push_back(v);
        std::map<std::pair<int, int>, long long> ref;  // coarse edge -> summed fine weight
        for (int v = 0; v < g.n; ++v)
          for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k)
            if (cmap[v] != cmap[g.adjncy[k]]) ref[{cmap[v], cmap[g.adjncy[k]]}] += g.edge_weight(k);
        std::map<std::pair<int, int>, long long> got;
        long long total = 0;
        for (int cv = 0; cv < c.n; ++cv) {
          const std::vector<int>& m = members[cv];
          ASSERT_TRUE(m.size() == 1 || m.size() == 2) << "coarse vertex " << cv;
          long long w = 0, wd = 0;
          for (int v : m) w += g.weight(v);
          EXPECT_EQ(c.weight(cv), w);
          EXPECT_TRUE(m.size() == 1 || w <= max_vwgt) << w;
          total += w;
          for (int k = c.xadj[cv]; k < c.xadj[cv + 1]; ++k) {
            EXPECT_TRUE(got.emplace(std::pair{cv, c.adjncy[k]}, c.edge_weight(k)).second)
                << "repeated or self entry in row " << cv;
            wd += c.edge_weight(k);
          }
          EXPECT_EQ(c.weighted_degree(cv), wd);
          if (m.size() == 2) {  // a pair is joined by an edge, or both halves are isolated
            bool joined = false;
            for (int k = g.xadj[m[0]]; k < g.xadj[m[0] + 1]; ++k) joined |= g.adjncy[k] == m[1];
            const bool isolated =
                g.xadj[m[0] + 1] == g.xadj[m[0]] && g.xadj[m[1] + 1] == g.xadj[m[1]];
            EXPECT_TRUE(joined || isolated) << m[0] << " " << m[1];
          } else {  // maximal: an unmatched vertex has no unmatched neighbour it could take
            for (int k = g.xadj[m[0]]; k < g.xadj[m[0] + 1]; ++k) {
              const int u = g.adjncy[k];
              EXPECT_FALSE(members[cmap[u]].size() == 1 && g.weight(m[0]) + g.weight(u) <= max_vwgt)
                  << m[0] << " and " << u << " both left alone";
            }
          }
        }
        EXPECT_EQ(got, ref) << "level " << level;
        EXPECT_EQ(total, g.total_vwgt);
        EXPECT_EQ(c.total_vwgt, g.total_vwgt);
        g = std::move(c);
      }
    }
  }
  EXPECT_EQ(mem.in_use.load(), 0);
}

}  // namespace
}  // namespace ztr
