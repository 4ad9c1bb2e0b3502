// Partial solve: the components marked in perm are ordered last, and the solve computes only
// what they need; they must equal the components of a full solve.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

void expect_wanted_match(const std::vector<double>& x, const std::vector<double>& full,
                         const std::vector<int>& marks) {
  double scale = 0;
  for (double v : full) scale = std::max(scale, std::abs(v));
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (marks[i] == 1)
      EXPECT_NEAR(x[i], full[i], 1e-10 * scale) << i;
    else
      EXPECT_EQ(x[i], 0.0) << i;
  }
}

TEST(KorvinePartialSolve, WantedComponentsEqualTheFullSolve) {
  for (int mtype : {11, -2}) {
    SCOPED_TRACE(mtype);
    // No pivot of these is perturbed, so the full solve needs no refinement either.
    const Sparse s = grid_operator(9, 8, 4, mtype == 11 ? 6.0 : 2.5, mtype == 11 ? 0.4 : 0.0);
    Input<double> in = solver_input(s, mtype == -2, 1);
    std::vector<double> dense(s.n), sparse(s.n, 0.0), full(s.n), full_sparse(s.n), x(s.n);
    Rng r{7};
    for (double& v : dense) v = r.uniform();
    sparse[3] = 1.0;
    Korvine f(mtype);
    ASSERT_EQ(f.call(13, in, dense.data(), full.data()), 0);
    ASSERT_EQ(f.call(33, in, sparse.data(), full_sparse.data()), 0);

    std::vector<int> marks(s.n, 0);
    int m = 0;
    for (int i = 5; i < s.n; i += 17, ++m) marks[i] = 1;
    std::vector<int> perm = marks;
    Korvine k(mtype);
    k.iparm[30] = 1;
    k.msglvl = 1;
    CaptureStdout();
    const int error = k.call(13, in, dense.data(), x.data(), 1, perm.data());
    const std::string out = GetCapturedStdout();
    ASSERT_EQ(error, 0);
    EXPECT_EQ(k.iparm[47], m);
    EXPECT_EQ(k.iparm[4], 1);
    EXPECT_EQ(k.iparm[6], 0) << "no refinement in a partial solve";
    // The marked components come last in the permutation handed back.
    std::vector<int> sorted = perm;
    std::sort(sorted.begin(), sorted.end());
    for (int p = 0; p < s.n; ++p) {
      ASSERT_EQ(sorted[p], p + 1);
      EXPECT_EQ(marks[perm[p] - 1], p >= s.n - m ? 1 : 0) << p;
    }
    EXPECT_NE(out.find("Number of unknowns computed in forward solving step\n 100 %\n"
                       "Number of unknowns computed in backward solving step\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("backward solving step\n 100 %"), std::string::npos);
    expect_wanted_match(x, full, marks);

    // A right-hand side with one non-zero: the forward step computes less, same answer.
    CaptureStdout();
    ASSERT_EQ(k.call(33, in, sparse.data(), x.data()), 0);
    const std::string sparse_out = GetCapturedStdout();
    EXPECT_EQ(sparse_out.find("forward solving step\n 100 %"), std::string::npos);
    expect_wanted_match(x, full_sparse, marks);

    // The three steps one by one.
    k.msglvl = 0;
    std::vector<double> y(s.n), z(s.n);
    ASSERT_EQ(k.call(331, in, dense.data(), y.data()), 0);
    ASSERT_EQ(k.call(332, in, y.data(), z.data()), 0);
    ASSERT_EQ(k.call(333, in, z.data(), x.data()), 0);
    expect_wanted_match(x, full, marks);
  }
  // Without a component list (or a permutation to read or write) nothing is read from null.
  const Sparse s = grid_operator(5, 5, 1, 4.0);
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  for (int setting : {30, 4}) {
    Korvine k(11);
    k.iparm[setting] = setting == 30 ? 1 : 2;
    k.msglvl = 1;
    CaptureStdout();
    EXPECT_EQ(k.call(11, in, b.data(), x.data()), -1);
    EXPECT_NE(GetCapturedStdout().find("*** Error in KORVINE: unclassified error\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace ztr::test
