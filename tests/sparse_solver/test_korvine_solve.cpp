// The solver's numbers: every real type on generated problems, both precisions and index
// bases, several right-hand sides, transposed solves, user permutations, inertia, perturbed
// pivots and iterative refinement.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <string>

#include "sparse_solver/dense_blocks.h"
#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

struct SolveCase {
  const char* name;
  int mtype;
  Sparse (*make)();
  bool single;
  int base;
  int nrhs;
  bool no_matching = false;
  int refinement = 0;  // iparm[7]
};

Sparse laplace_3d() {
  return grid_operator(9, 8, 7, 6.0);
}
Sparse laplace_2d() {
  return grid_operator(31, 29, 1, 4.0);
}
Sparse convection() {
  return grid_operator(12, 11, 6, 6.0, 0.7);
}
Sparse shifted_indefinite() {
  return grid_operator(14, 13, 3, 3.1);
}  // many negative eigenvalues
Sparse kkt() {
  return saddle_point(18, 70, 7);
}
// Pairs [[d, 1], [1, d]] with a tiny d, coupled along a chain: stable only with 2x2 pivots or
// interchanges.
Sparse tiny_pairs() {
  std::map<std::pair<int, int>, double> m;
  const int n = 300;
  for (int p = 0; p < n; p += 2) {
    m[{p, p}] = m[{p + 1, p + 1}] = 1e-6 * (1 + p % 3);
    m[{p, p + 1}] = m[{p + 1, p}] = 1;
    if (p + 2 < n) m[{p + 1, p + 2}] = m[{p + 2, p + 1}] = 0.3;
  }
  return from_map(n, m);
}
// Random values on a 3-D grid pattern with a weak diagonal: pivoting inside the diagonal
// blocks is needed, and as it is restricted to the blocks, the growth it allows is repaired
// by a few refinement steps.
Sparse random_values() {
  Sparse s = grid_operator(8, 7, 6, 1.0);
  Rng r{99};
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      s.a[k] = s.ja[k] == i ? 0.01 * r.uniform() : r.uniform();
  return s;
}

const SolveCase kCases[] = {
    {"spd_3d", 2, laplace_3d, false, 1, 1},
    {"spd_2d_zero_based_3rhs", 2, laplace_2d, false, 0, 3},
    {"spd_single", 2, laplace_3d, true, 1, 2},
    {"structsym_convection", 1, convection, false, 1, 2},
    {"structsym_single_zero_based", 1, convection, true, 0, 1},
    {"unsym_convection", 11, convection, false, 0, 3},
    {"unsym_single", 11, convection, true, 1, 1},
    {"structsym_pivoting", 1, random_values, false, 1, 2, false, 4},
    {"structsym_pivoting_single", 1, random_values, true, 0, 1, false, 4},
    {"unsym_pivoting_without_matching", 11, random_values, false, 1, 2, true, 4},
    {"unsym_pivoting_single_without_matching", 11, random_values, true, 1, 1, true, -4},
    {"indefinite_shifted", -2, shifted_indefinite, false, 1, 2},
    {"indefinite_kkt", -2, kkt, false, 0, 1},
    {"indefinite_tiny_pairs", -2, tiny_pairs, false, 1, 1, false, 2},
    {"indefinite_kkt_single", -2, kkt, true, 1, 1},
};

template <typename T>
void run_case(const SolveCase& c) {
  const Sparse s = c.make();
  Input<T> in = solver_input<T>(s, c.mtype % 2 == 0, c.base);
  Korvine k(c.mtype);
  k.iparm[27] = c.single ? 1 : 0;
  k.iparm[34] = c.base == 0 ? 1 : 0;
  if (c.no_matching) k.iparm[12] = 0;
  k.iparm[7] = c.refinement;
  const int n = s.n;
  std::vector<T> b(static_cast<std::size_t>(n) * c.nrhs), x(b.size());
  Rng r{42};
  for (auto& v : b) v = static_cast<T>(r.uniform());
  const std::vector<T> b0 = b;
  ASSERT_EQ(k.call(11, in, b.data(), x.data(), c.nrhs), 0);
  ASSERT_EQ(k.call(22, in, b.data(), x.data(), c.nrhs), 0);
  ASSERT_EQ(k.call(33, in, b.data(), x.data(), c.nrhs), 0);
  EXPECT_EQ(b, b0) << "iparm[5] = 0 leaves b alone";
  EXPECT_LT(backward_ratio(s, x, b0, c.nrhs), 30.0);
  // The same solve again, into b.
  k.iparm[5] = 1;
  ASSERT_EQ(k.call(33, in, b.data(), x.data(), c.nrhs), 0);
  EXPECT_LT(backward_ratio(s, b, b0, c.nrhs), 30.0);
}

TEST(KorvineSolve, EveryRealTypeSolvesGeneratedProblemsToBackwardStability) {
  for (const SolveCase& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.single)
      run_case<float>(c);
    else
      run_case<double>(c);
  }
}

TEST(KorvineSolve, InertiaOfSaddlePointsIsCountedExactly) {
  for (int m : {1, 40, 90}) {
    const Sparse s = saddle_point(14, m, 3 + m);
    Input<double> in = solver_input(s, true, 1);
    Korvine k(-2);
    std::vector<double> b(s.n, 1.0), x(s.n);
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_EQ(k.iparm[21], 14 * 14) << m;
    EXPECT_EQ(k.iparm[22], m) << m;
    EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  }
}

TEST(KorvineSolve, TransposedSolveAndUserPermutation) {
  const Sparse s = convection();
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n), x(s.n);
  std::iota(b.begin(), b.end(), 1.0);
  {
    Korvine k(11);
    k.iparm[0] = 1;
    k.iparm[1] = 2;
    k.iparm[9] = 13;
    k.iparm[11] = 2;
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_LT(backward_ratio(s, x, b, 1, true), 30.0);
  }
  // The order returned with iparm[4] = 2 is a permutation, and giving it back with
  // iparm[4] = 1 (reversed, to be a different order) still solves the system.
  std::vector<int> perm(s.n);
  Korvine k(1);
  k.iparm[4] = 2;
  ASSERT_EQ(k.call(11, in, b.data(), x.data(), 1, perm.data()), 0);
  std::vector<int> sorted = perm;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < s.n; ++i) ASSERT_EQ(sorted[i], i + 1);
  std::reverse(perm.begin(), perm.end());
  Korvine u(1);
  u.iparm[4] = 1;
  ASSERT_EQ(u.call(13, in, b.data(), x.data(), 1, perm.data()), 0);
  EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  perm[0] = perm[1];  // not a permutation
  Korvine bad(1);
  bad.iparm[4] = 1;
  EXPECT_EQ(bad.call(11, in, b.data(), x.data(), 1, perm.data()), -3);
}

// A 4 x 4 block with an exact zero pivot that no interchange inside the block can avoid:
// type 11 perturbs it and refinement recovers the solution; type 1 reports the zero pivot.
TEST(KorvineSolve, ZeroPivotIsPerturbedForType11AndFatalForType1) {
  std::map<std::pair<int, int>, double> m;
  const int n = 40;
  for (int i = 0; i < n; ++i) {
    m[{i, i}] = 4;
    if (i + 1 < n) m[{i, i + 1}] = m[{i + 1, i}] = -1;
  }
  m[{7, 7}] = 0;              // a structurally present, numerically zero diagonal...
  m[{7, 6}] = m[{7, 8}] = 0;  // ...in a row that is zero apart from the diagonal block
  m[{6, 7}] = 1;
  m[{8, 7}] = 1;
  const Sparse s = from_map(n, m);
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(n, 1.0), x(n);
  Korvine single_pivot(1);
  single_pivot.msglvl = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(single_pivot.call(13, in, b.data(), x.data()), -4);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("*** Error in KORVINE  ( numerical_factorization) error_num= -1\n"
                     "*** Error in KORVINE: zero pivot\n"),
            std::string::npos)
      << out;
  EXPECT_GT(single_pivot.iparm[29], 0);
  Korvine k(11);
  k.iparm[12] = 0;  // the zero row has no entry to match: keep the diagonal as it is
  ASSERT_EQ(k.call(12, in, b.data(), x.data()), 0);
  EXPECT_GE(k.iparm[13], 1);
}

TEST(KorvineSolve, IterativeRefinementFollowsItsStoppingRule) {
  const Sparse s = grid_operator(10, 9, 4, 6.0, 0.3);
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n), x(s.n);
  Rng r{5};
  for (auto& v : b) v = r.uniform();
  {  // nothing perturbed, no steps asked: no refinement
    Korvine k(11);
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_EQ(k.iparm[13], 0);
    EXPECT_EQ(k.iparm[6], 0);
  }
  {  // a perturbed-pivot count given on phase 33 forces the automatic refinement: at most two
    // steps, and -34 in iparm[19] when it took both
    Korvine k(11);
    ASSERT_EQ(k.call(12, in, b.data(), x.data()), 0);
    k.iparm[13] = 3;
    ASSERT_EQ(k.call(33, in, b.data(), x.data()), 0);
    EXPECT_GE(k.iparm[6], 1);
    EXPECT_LE(k.iparm[6], 2);
    if (k.iparm[6] == 2) {
      EXPECT_EQ(k.iparm[19], -34);
    }
    EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  }
  for (int steps : {5, -3}) {  // a limit of M steps; -3 with the 80-bit residual
    Korvine k(11);
    k.iparm[0] = 1;
    k.iparm[1] = 2;
    k.iparm[9] = 13;
    k.iparm[7] = steps;
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_GE(k.iparm[6], 1);
    EXPECT_LE(k.iparm[6], std::abs(steps));
    EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  }
  {  // b = 0: the solution is 0 and no failure arises
    Korvine k(11);
    k.iparm[0] = 1;
    k.iparm[7] = 4;
    std::vector<double> zero(s.n, 0.0);
    ASSERT_EQ(k.call(13, in, zero.data(), x.data()), 0);
    for (double v : x) EXPECT_EQ(v, 0.0);
  }
}

// Rows of a convection-diffusion matrix shifted cyclically with badly scaled columns: every
// diagonal entry is zero, and only the matching brings large entries back onto it.
Sparse shifted_rows() {
  const Sparse s = grid_operator(9, 8, 4, 6.0, 0.5);
  std::map<std::pair<int, int>, double> m;
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      m[{(i + 5) % s.n, s.ja[k]}] = s.a[k] * std::pow(10.0, (s.ja[k] % 7) - 3);
  return from_map(s.n, m);
}

TEST(KorvineSolve, MatchingAndScalingSolveMatricesWithZeroDiagonals) {
  const Sparse s = shifted_rows();
  for (int base : {1, 0}) {
    Input<double> in = solver_input(s, false, base);
    std::vector<double> b(2 * s.n), x(b.size());
    Rng r{11};
    for (auto& v : b) v = r.uniform();
    Korvine k(11);
    k.iparm[34] = base == 0;
    ASSERT_EQ(k.call(13, in, b.data(), x.data(), 2), 0);
    EXPECT_EQ(k.iparm[13], 0) << "the matched diagonal needs no perturbation";
    EXPECT_LT(backward_ratio(s, x, b, 2), 30.0);
    k.iparm[11] = 2;  // the transposed solve goes through the same permutation and scaling
    ASSERT_EQ(k.call(13, in, b.data(), x.data(), 2), 0);
    EXPECT_LT(backward_ratio(s, x, b, 2, true), 30.0);
    Input<float> f = solver_input<float>(s, false, base);
    std::vector<float> bf(b.begin(), b.end()), xf(bf.size());
    Korvine single(11);
    single.iparm[27] = 1;
    single.iparm[34] = base == 0;
    ASSERT_EQ(single.call(13, f, bf.data(), xf.data(), 2), 0);
    EXPECT_LT(backward_ratio(s, xf, bf, 2), 30.0);
  }
  // A structurally singular matrix (an empty column) has no perfect matching: error -6.
  std::map<std::pair<int, int>, double> m{
      {{0, 0}, 1.0}, {{1, 0}, 2.0}, {{2, 2}, 3.0}, {{0, 2}, 1.0}};
  Input<double> sing = solver_input(from_map(3, m), false, 1);
  std::vector<double> b(3, 1.0), x(3);
  Korvine k(11);
  k.msglvl = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(k.call(13, sing, b.data(), x.data()), -6);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("*** Error in KORVINE: preordering failed after 2 neqns out of 3\n"
                     "structure singular or input/parameter problem (matrixtype 11,13)\n"),
            std::string::npos)
      << out;
}

// The symmetric indefinite block kernel on its own: P'AP = LDL' to working accuracy, with
// the multipliers bounded as the Bunch-Kaufman rule guarantees (|l_ij| <= 1/(1 - alpha) for
// 1x1 pivots, a modest bound for 2x2 ones), on matrices with tiny diagonals.
TEST(KorvineKernels, BlockLdltIsAccurateWithBoundedMultipliers) {
  for (int seed = 1; seed <= 4; ++seed) {
    const int k = 7;
    Rng r{static_cast<std::uint64_t>(seed)};
    std::vector<double> a(k * k), orig(k * k);
    for (int j = 0; j < k; ++j)
      for (int i = j; i < k; ++i)
        a[i + j * k] = a[j + i * k] = i == j ? 1e-9 * r.uniform() : r.uniform();
    orig = a;
    std::vector<int> ipiv(k);
    std::vector<double> d(k), e(k);
    int perturbed = 0, pos = 0, neg = 0;
    block_ldlt<double>(k, k, a.data(), k, ipiv.data(), d.data(), e.data(), 0.0, &perturbed, &pos,
                       &neg);
    EXPECT_EQ(pos + neg, k);
    double lmax = 0;
    for (int j = 0; j < k; ++j)
      for (int i = j + 1; i < k; ++i) lmax = std::max(lmax, std::abs(a[i + j * k]));
    EXPECT_LT(lmax, 10.0) << seed;
    // Rebuild L D L' and compare with P'AP, P from the interchanges in order.
    std::vector<int> p(k);
    std::iota(p.begin(), p.end(), 0);
    for (int j = 0; j<k; j += ipiv[j]> 0 ? 1 : 2)
      std::swap(p[ipiv[j] > 0 ? j : j + 1], p[std::abs(ipiv[j]) - 1]);
    auto l = [&](int i, int j) { return i == j ? 1.0 : i > j ? a[i + j * k] : 0.0; };
    auto dm = [&](int i, int j) {
      return i == j ? d[i] : i == j + 1 ? e[j] : j == i + 1 ? e[i] : 0.0;
    };
    double err = 0;
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j) {
        double v = 0;
        for (int s = 0; s < k; ++s)
          for (int t = 0; t < k; ++t) v += l(i, s) * dm(s, t) * l(j, t);
        err = std::max(err, std::abs(v - orig[p[i] + p[j] * k]));
      }
    EXPECT_LT(err, 30 * k * 2.2e-16 * 10) << seed;
  }
}

// A matrix from an application (hydrodynamics, unsymmetric, wide range of magnitudes).
TEST(KorvineSolve, ApplicationMatrixOlm1000) {
  Sparse s;
  bool sym = false, cplx = false;
  ASSERT_TRUE(read_mtx(std::string(ZTR_SOURCE_DIR) + "/tests/data/olm1000.mtx", &s, &sym, &cplx));
  ASSERT_EQ(s.n, 1000);
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b(s.n), x(s.n);
  Rng r{3};
  for (auto& v : b) v = r.uniform();
  for (int transpose : {0, 2}) {
    Korvine k(11);
    k.iparm[11] = transpose;
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_LT(backward_ratio(s, x, b, 1, transpose != 0), 30.0) << transpose;
  }
}

// Phases 331, 332 and 333 run one solve step each; chained, they give the full solve.  The
// memory figures of the parameter array are filled on the way.
TEST(KorvineSolve, SolveStepsChainToTheSolution) {
  for (int mtype : {-2, 11, 2}) {
    // (A matrix whose factorization perturbs no pivot: the steps do not refine.)
    const Sparse s = mtype == -2 ? grid_operator(7, 6, 3, 3.1)
                                 : grid_operator(7, 6, 3, 6.0, mtype == 11 ? 0.4 : 0);
    Input<double> in = solver_input(s, mtype % 2 == 0, 1);
    std::vector<double> b(s.n), y(s.n), z(s.n), x(s.n);
    Rng r{8};
    for (auto& v : b) v = r.uniform();
    Korvine k(mtype);
    ASSERT_EQ(k.call(12, in, b.data(), x.data()), 0);
    EXPECT_GT(k.iparm[14], 1);
    EXPECT_EQ(k.iparm[60], k.iparm[14]);
    EXPECT_GT(k.iparm[15], 1);
    EXPECT_GT(k.iparm[16], 1);
    ASSERT_EQ(k.call(331, in, b.data(), y.data()), 0);
    ASSERT_EQ(k.call(332, in, y.data(), z.data()), 0);
    ASSERT_EQ(k.call(333, in, z.data(), x.data()), 0);
    EXPECT_LT(backward_ratio(s, x, b, 1), 30.0) << mtype;
    if (mtype == -2) {
      EXPECT_NE(y, z) << "the diagonal step changes the data";
    }
  }
}

}  // namespace
}  // namespace ztr::test
