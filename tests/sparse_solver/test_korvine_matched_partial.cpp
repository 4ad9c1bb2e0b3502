// A partial solve of a matrix whose weighted matching moves columns: the components wanted
// are the caller's unknowns, in the plain and in the transposed solve.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

TEST(KorvinePartialSolve, WantedComponentsAfterAColumnMatching) {
  // The rows of a dominant tridiagonal matrix moved cyclically: only the matching brings the
  // large entries back onto the diagonal.
  const int n = 12;
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < n; ++i) {
    const int r = (i + 5) % n;
    e[{r, i}] = 4.0 + i;
    if (i > 0) e[{r, i - 1}] = -1;
    if (i + 1 < n) e[{r, i + 1}] = -1;
  }
  Input<double> in = solver_input(from_map(n, e), false, 1);
  std::vector<double> b = random_rhs(n, 3), full(n), x(n);
  std::vector<int> marks(n, 0);
  for (int i = 1; i < n; i += 3) marks[i] = 1;
  for (int transpose : {0, 2}) {
    SCOPED_TRACE(transpose);
    Korvine whole(11, {{11, transpose}});
    ASSERT_EQ(whole.call(13, in, b.data(), full.data()), 0);
    Korvine part(11, {{11, transpose}, {30, 1}});
    std::vector<int> perm = marks;
    ASSERT_EQ(part.call(13, in, b.data(), x.data(), 1, perm.data()), 0);
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(x[i], marks[i] == 1 ? full[i] : 0.0, 1e-13) << i;
  }
}

}  // namespace
}  // namespace ztr::test
