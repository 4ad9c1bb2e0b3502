// The fill the orders give on model problems, counted by the elimination tree and column
// counts (a wrong tree also breaks the solver's factorization, which its tests catch).
#include <gtest/gtest.h>

#include <vector>

#include "sparse_solver/ordering/elimination_tree.h"
#include "sparse_solver/ordering/ordering_codes.h"
#include "tests/sparse_solver/graphs.h"
#include "sparse_solver/ordering/reorder.h"

namespace ztr {
namespace {

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
  for (const auto& c : cases) {
    for (int method : {0, 2}) {
      std::vector<int> perm(static_cast<std::size_t>(c.g.n));
      ASSERT_EQ(reorder(c.g.n, c.g.x(), c.g.a(), method, 1, perm.data(), nullptr, nullptr, nullptr),
                0);
      FactorFill f;
      ASSERT_EQ(factor_fill(c.g.n, c.g.x(), c.g.a(), perm.data(), &f), kOrderOk);
      EXPECT_LE(f.nnz_l, kFillSlack * (method == 0 ? c.md : c.nd))
          << c.name << " method " << method;
    }
  }
}

}  // namespace
}  // namespace ztr
