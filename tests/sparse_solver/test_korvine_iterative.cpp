// Iterations on the factorization of a nearby matrix.  The Krylov iteration (iparm[3] =
// 10*L + K) must reach the tolerance 10^-L on the matrix it is given, and report a failure it
// cannot avoid with error -4 and iparm[19] < 0; refinement stopped by its step limit while
// still converging reports error -4 (-111).
#include <gtest/gtest.h>

#include <string>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// s with every entry scaled by 1 + spread * sin(i + j + ij / 10): symmetric in i and j.
Sparse nearby(Sparse s, double spread) {
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      s.a[k] *= 1 + spread * std::sin(i + s.ja[k] + 0.1 * i * s.ja[k]);
  return s;
}

double relative_residual(const Sparse& s, const std::vector<double>& x,
                         const std::vector<double>& b) {
  double rr = 0, bb = 0;
  for (int i = 0; i < s.n; bb += b[i] * b[i], ++i) {
    double r = b[i];
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) r -= s.a[k] * x[s.ja[k]];
    rr += r * r;
  }
  return std::sqrt(rr / bb);
}

struct Case {
  int mtype;
  Sparse s;
};

TEST(KorvineKrylov, ConvergesWithTheFactorsOfANearbyMatrix) {
  const Case cases[] = {{2, grid_operator(8, 8, 4, 8.0)},
                        {11, grid_operator(8, 8, 4, 6.0, 0.4)},
                        {-2, grid_operator(8, 8, 4, 2.5)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mtype);
    const bool upper = c.mtype != 11;
    Input<double> first = solver_input(c.s, upper, 1);
    const Sparse changed = nearby(c.s, 0.05);
    Input<double> second = solver_input(changed, upper, 1);
    std::vector<double> b(c.s.n), x(c.s.n);
    Rng r{5};
    for (double& v : b) v = r.uniform();
    Korvine k(c.mtype);
    ASSERT_EQ(k.call(12, first, b.data(), x.data()), 0);
    // K < 0: 150 iterations whatever the timings.  Tolerance 1e-10.
    k.iparm[3] = -101;
    ASSERT_EQ(k.call(33, second, b.data(), x.data()), 0);
    EXPECT_GT(k.iparm[19], 0);
    // Preconditioned CG gains more than a digit per step on this matrix; unpreconditioned
    // it takes about 20 steps.
    if (c.mtype == 2) {
      EXPECT_LE(k.iparm[19], 12);
    }
    EXPECT_LT(relative_residual(changed, x, b), 1e-9);

    // An unreachable tolerance: the iteration stops and says why (K > 0: the report names
    // the hybrid solver).
    k.iparm[3] = 301;
    k.msglvl = 1;
    CaptureStdout();
    EXPECT_EQ(k.call(33, second, b.data(), x.data()), -4);
    const std::string out = GetCapturedStdout();
    EXPECT_LT(k.iparm[19], 0);
    EXPECT_NE(out.find("*** Error in KORVINE: cgs error iparam(20) " + std::to_string(k.iparm[19]) +
                       "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("< Hybrid Solver KORVINE with CGS/CG Iteration >\n"), std::string::npos);
  }
}

// Refinement with the factors of a matrix 5% away contracts by a fixed rate per step: two
// steps leave it short of convergence (-111, naming the limit), forty let it converge and
// stop on its own.
TEST(KorvineRefinement, StepLimitWhileStillConvergingIsAnError) {
  const Sparse s = grid_operator(8, 8, 4, 6.0, 0.4);
  Input<double> first = solver_input(s, false, 1);
  const Sparse changed = nearby(s, 0.05);
  Input<double> second = solver_input(changed, false, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(11);
  ASSERT_EQ(k.call(12, first, b.data(), x.data()), 0);
  k.msglvl = 1;
  for (int limit : {2, -2}) {
    k.iparm[7] = limit;
    CaptureStdout();
    EXPECT_EQ(k.call(33, second, b.data(), x.data()), -4);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(k.iparm[6], 2);
    EXPECT_NE(out.find("*** error KORVINE: iterative refinement\n"
                       " exceeds maximum iteration number 2\n"),
              std::string::npos)
        << out;
  }
  k.msglvl = 0;
  k.iparm[7] = 40;
  EXPECT_EQ(k.call(33, second, b.data(), x.data()), 0);
  EXPECT_LT(k.iparm[6], 40);
  EXPECT_LT(backward_ratio(changed, x, b, 1), 30.0);
}

}  // namespace
}  // namespace ztr::test
