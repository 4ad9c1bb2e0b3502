// The solver's numbers: every real type on generated problems, both precisions and index
// bases, several right-hand sides, transposed solves, user permutations, inertia, perturbed
// pivots, weighted matching, iterative refinement and the Krylov iteration on the factors of
// a nearby matrix, and the indefinite block kernel's perturbed pivots.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <algorithm>

#include "sparse_solver/dense/dense_blocks.h"
#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

// Random values on a 3-D grid pattern with a weak diagonal: pivoting inside the diagonal
// blocks is needed, and as it is restricted to the blocks, the growth it allows is repaired
// by a few refinement steps.
Sparse random_values() {
  Sparse s = grid_operator(8, 7, 6, 1.0);
  Rng r(99);
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      s.a[k] = s.ja[k] == i ? 0.01 * uniform(r) : uniform(r);
  return s;
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
// A matrix from an application (hydrodynamics, unsymmetric, wide range of magnitudes).
const auto olm1000 = [] { return read_mtx(ZTR_SOURCE_DIR "/tests/data/olm1000.mtx"); };
const auto laplace_3d = [] { return grid_operator(9, 8, 7, 6.0); };
const auto convection = [] { return grid_operator(12, 11, 6, 6.0, 0.7); };
const auto kkt = [] { return saddle_point(18, 70, 7); };

struct SolveCase {
  const char* name;
  int mtype;
  Sparse (*make)();
  bool single;
  int base, nrhs;
  int negative = -1;   // eigenvalues below zero, where known
  int refinement = 0;  // iparm[7]
  bool no_matching = false;
  int transpose = 0;  // iparm[11]
};

const SolveCase kCases[] = {
    {"spd_3d", 2, laplace_3d, false, 1, 1},
    {"spd_2d_zero_based_3rhs", 2, [] { return grid_operator(31, 29, 1, 4.0); }, false, 0, 3},
    {"spd_single", 2, laplace_3d, true, 1, 2},
    // Separators of 256 columns: updates of whole 128-column supernodes into each other.
    {"spd_3d_wide_supernodes", 2, [] { return grid_operator(16, 16, 16, 6.0); }, false, 1, 1},
    // On two threads these share their large updates and solves below the diagonal blocks.
    {"unsym_3d_wide_supernodes_transposed", 11, [] { return grid_operator(14, 14, 14, 6.0, 0.5); },
     false, 1, 1, -1, 0, false, 2},
    {"indefinite_3d_wide_supernodes", -2, [] { return grid_operator(14, 14, 14, 3.1); }, false, 1,
     1},
    {"structsym_convection", 1, convection, false, 1, 2},
    {"structsym_single_zero_based", 1, convection, true, 0, 1},
    {"unsym_convection", 11, convection, false, 0, 3},
    {"unsym_single_transposed", 11, convection, true, 1, 1, -1, 0, false, 2},
    {"structsym_pivoting", 1, random_values, false, 1, 2, -1, 4},
    {"structsym_pivoting_single", 1, random_values, true, 0, 1, -1, 4},
    {"unsym_pivoting_without_matching", 11, random_values, false, 1, 2, -1, 4, true},
    {"unsym_pivoting_single_without_matching", 11, random_values, true, 1, 1, -1, -4, true},
    {"unsym_zero_diagonal_transposed", 11, shifted_rows, false, 1, 2, -1, 0, false, 2},
    {"unsym_zero_diagonal_single_zero_based", 11, shifted_rows, true, 0, 2},
    {"unsym_application_matrix", 11, olm1000, false, 1, 1},
    {"indefinite_shifted", -2, [] { return grid_operator(14, 13, 3, 3.1); }, false, 1, 2},
    {"indefinite_kkt", -2, kkt, false, 0, 1, 70},
    {"indefinite_one_constraint", -2, [] { return saddle_point(14, 1, 4); }, false, 1, 1, 1},
    {"indefinite_many_constraints", -2, [] { return saddle_point(14, 90, 93); }, false, 1, 1, 90},
    {"indefinite_tiny_pairs", -2, [] { return tiny_pairs(300); }, false, 1, 1, -1, 2},
    {"indefinite_kkt_single", -2, kkt, true, 1, 1, 70},
};

template <typename T>
void run_case(const SolveCase& c) {
  const Sparse s = c.make();
  Input<T> in = solver_input<T>(s, c.mtype % 2 == 0, c.base);
  Korvine k(c.mtype, {{27, c.single}, {34, c.base == 0}, {7, c.refinement}, {11, c.transpose}});
  if (c.no_matching) k.iparm[12] = 0;
  const bool tr = c.transpose != 0;
  std::vector<T> b = random_rhs<T>(static_cast<std::size_t>(s.n) * c.nrhs, 42), x(b.size()),
                 y(b.size()), z(b.size());
  const std::vector<T> b0 = b;
  ASSERT_EQ(k.call(11, in, b.data(), x.data(), c.nrhs), 0);
  ASSERT_EQ(k.call(22, in, b.data(), x.data(), c.nrhs), 0);
  // The memory figures of the parameter array are filled on the way.
  EXPECT_TRUE(k.iparm[14] > 1 && k.iparm[60] == k.iparm[14] && k.iparm[15] > 1 && k.iparm[16] > 1);
  EXPECT_TRUE(c.make != shifted_rows || k.iparm[13] == 0) << "the matched diagonal needs none";
  EXPECT_TRUE(c.negative < 0 || (k.iparm[21] == s.n - c.negative && k.iparm[22] == c.negative))
      << "inertia " << k.iparm[21] << " " << k.iparm[22];
  ASSERT_EQ(k.call(33, in, b.data(), x.data(), c.nrhs), 0);
  EXPECT_EQ(b, b0) << "iparm[5] = 0 leaves b alone";
  EXPECT_LT(backward_ratio(s, x, b0, c.nrhs, tr), 30.0);
  // Phases 331, 332 and 333 run one solve step each; chained, they give the full solve when
  // no pivot was perturbed (the steps do not refine).
  if (c.refinement == 0 && k.iparm[13] == 0) {
    ASSERT_EQ(k.call(331, in, b.data(), y.data(), c.nrhs), 0);
    ASSERT_EQ(k.call(332, in, y.data(), z.data(), c.nrhs), 0);
    ASSERT_EQ(k.call(333, in, z.data(), x.data(), c.nrhs), 0);
    EXPECT_LT(backward_ratio(s, x, b0, c.nrhs, tr), 30.0);
    EXPECT_TRUE(c.mtype != -2 || y != z) << "the diagonal step changes the data";
  }
  // Twice the values on the same analysis (the factorization reuses the storage of the one
  // before, which must start from zero again), solved into b: the solution halves.
  for (T& v : in.a) v *= 2;
  ASSERT_EQ(k.call(22, in, b.data(), x.data(), c.nrhs), 0);
  k.iparm[5] = 1;
  ASSERT_EQ(k.call(33, in, b.data(), x.data(), c.nrhs), 0);
  for (T& v : b) v *= 2;
  EXPECT_LT(backward_ratio(s, b, b0, c.nrhs, tr), 30.0);
}

TEST(KorvineSolve, EveryRealTypeSolvesGeneratedProblemsToBackwardStability) {
  // One thread updates on the packed panels in blocks of rows; two share the large updates'
  // blocks and the rows of the large solves below the diagonal blocks.
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    for (const SolveCase& c : kCases) {
      SCOPED_TRACE(std::string(c.name) + " threads " + std::to_string(threads));
      c.single ? run_case<float>(c) : run_case<double>(c);
    }
  }
}

// Reproducible results do not depend on the thread count, whichever update path one thread
// would otherwise take.
TEST(KorvineSolve, ReproducibleResultsAreTheSameOnOneAndTwoThreads) {
  const Sparse s = grid_operator(16, 16, 16, 6.0);
  Input<double> in = solver_input(s, true, 1);
  std::vector<double> b = random_rhs<double>(static_cast<std::size_t>(s.n), 7);
  std::vector<std::vector<double>> x;
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    Korvine k(2, {{33, 2}});
    x.emplace_back(b.size());
    ASSERT_EQ(k.call(13, in, b.data(), x.back().data()), 0);
  }
  EXPECT_TRUE(test::same_bits(x[0], x[1]));
}

TEST(KorvineSolve, UserPermutationIsReturnedAndTaken) {
  const Sparse s = convection();
  Input<double> in = solver_input(s, false, 1);
  std::vector<double> b = random_rhs(s.n, 3), x(s.n);
  // The order returned with iparm[4] = 2 is a permutation, and giving it back with
  // iparm[4] = 1 (reversed, to be a different order) still solves the system.
  std::vector<int> perm(s.n);
  Korvine k(1, {{4, 2}});
  ASSERT_EQ(k.call(11, in, b.data(), x.data(), 1, perm.data()), 0);
  ASSERT_TRUE(one_based_permutation(perm));
  std::reverse(perm.begin(), perm.end());
  Korvine u(1, {{4, 1}});
  ASSERT_EQ(u.call(13, in, b.data(), x.data(), 1, perm.data()), 0);
  EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
  perm[0] = perm[1];  // not a permutation
  Korvine bad(1, {{4, 1}});
  EXPECT_EQ(bad.call(11, in, b.data(), x.data(), 1, perm.data()), -3);
}

// Failures the solver cannot get around, with their codes and texts: an exact zero pivot that
// no interchange inside its block avoids (perturbed for type 11; fatal for type 1, and for
// type -2 without perturbation), and a matrix without a perfect matching.
TEST(KorvineSolve, ZeroPivotsAndStructuralSingularity) {
  // A structurally present, numerically zero diagonal in a row that is zero apart from the
  // diagonal block, in a tridiagonal matrix.
  const int n = 40;
  std::map<std::pair<int, int>, double> m{
      {{7, 7}, 0}, {{7, 6}, 0}, {{7, 8}, 0}, {{6, 7}, 1}, {{8, 7}, 1}};
  for (int i = 0; i < n; ++i)
    for (int j = std::max(i - 1, 0); j <= std::min(i + 1, n - 1); ++j)
      m.insert({{i, j}, i == j ? 4.0 : -1.0});
  Input<double> in = solver_input(from_map(n, m), false, 1);
  std::vector<double> b(n, 1.0), x(n);
  Korvine single_pivot(1, {}, 1);
  EXPECT_EQ(single_pivot.call_captured(13, in, b.data(), x.data()), -4);
  EXPECT_TRUE(
      single_pivot.printed("*** Error in KORVINE  ( numerical_factorization) error_num= -1\n"
                           "*** Error in KORVINE: zero pivot\n"))
      << single_pivot.out;
  EXPECT_GT(single_pivot.iparm[29], 0);
  // The zero row has no entry to match: the diagonal stays as it is.
  Korvine k(11, {{12, 0}});
  ASSERT_EQ(k.call(12, in, b.data(), x.data()), 0);
  EXPECT_GE(k.iparm[13], 1);
  // [4 0 1; 0 0 0; 1 0 4] without perturbation: nothing to pivot on in the second column.
  Input<double> zero{3, {1, 3, 4, 5}, {1, 3, 2, 3}, {4.0, 1.0, 0.0, 4.0}};
  Korvine ldlt(-2, {{9, 0}}, 1);
  EXPECT_EQ(ldlt.call_captured(13, zero, b.data(), x.data()), -4);
  EXPECT_TRUE(ldlt.printed("*** Error in KORVINE: zero pivot\n")) << ldlt.out;
  // An empty column: no perfect matching, error -6.
  Input<double> sing{3, {1, 3, 4, 5}, {1, 3, 1, 3}, {1.0, 1.0, 2.0, 3.0}};
  Korvine matched(11, {}, 1);
  EXPECT_EQ(matched.call_captured(13, sing, b.data(), x.data()), -6);
  EXPECT_TRUE(
      matched.printed("*** Error in KORVINE: preordering failed after 2 neqns out of 3\n"
                      "structure singular or input/parameter problem (matrixtype 11,13)\n"))
      << matched.out;
}

// Weighted matching and scaling of symmetric indefinite matrices: a saddle-point matrix
// whose zero block is coupled through its large entries only can be factored stably only
// when each constraint is pivoted together with its partner variable.

// Every constraint must be pivoted with its variable as a 2x2 block: with matching the pairs
// come from it, without it from the zero diagonal (the pairs are formed all the same, without
// the scaling).  Nothing is perturbed, the solution is backward stable and the inertia exact;
// matched and scaled, the direct solve needs no refinement.
TEST(KorvineMatching, SymmetricMatchingPivotsSaddlePointsStably) {
  // The third matrix is the first scaled symmetrically by powers of ten up to 1e+-4, which
  // only the scaling undoes.
  for (double h : {1e-9, 0.0, -1e-9}) {
    SCOPED_TRACE(h);
    // B = I plus couplings: nonsingular with inertia (256, 256) whatever h, and well
    // conditioned for small h, which puts tiny pivots wherever a variable goes before its
    // constraint.
    Sparse s = saddle_point(16, 256, 5, std::abs(h), 1);
    if (h < 0) {
      const std::vector<double> e = random_rhs(s.n, 3);  // a quarter of each exponent
      for (int i = 0; i < s.n; ++i)
        for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
          s.a[k] *= std::pow(10.0, std::round(4 * e[i]) + std::round(4 * e[s.ja[k]]));
    }
    Input<double> in = solver_input(s, true, 1);
    std::vector<double> b = random_rhs(s.n, 11), x(s.n);
    // iparm[12] = 2 matches as 1 does, but the report names only the setting 1.
    for (int matching : {0, 1, 2}) {
      Korvine k(-2, {{12, matching}, {10, matching > 0}}, 1);
      ASSERT_EQ(k.call_captured(13, in, b.data(), x.data()), 0);
      EXPECT_EQ(k.printed("Matching is turned ON\n"), matching == 1);
      EXPECT_EQ(k.printed("Scaling is turned ON\n"), matching > 0);
      EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
      EXPECT_TRUE(k.iparm[21] == s.n / 2 && k.iparm[22] == s.n / 2 && k.iparm[13] == 0 &&
                  (matching == 0 || k.iparm[6] == 0))
          << k.iparm[21] << " " << k.iparm[22] << " " << k.iparm[13] << " " << k.iparm[6];
    }
  }
}

// Iterations on the factorization of a nearby matrix.  The Krylov iteration (iparm[3] =
// 10*L + K) must reach the tolerance 10^-L on the matrix it is given, and report a failure it
// cannot avoid with error -4 and iparm[19] < 0; refinement stopped by its step limit while
// still converging reports error -4 (-111).

// s with every entry scaled by 1 + spread * sin(i + j + ij / 10): symmetric in i and j.
Sparse nearby(Sparse s, double spread) {
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      s.a[k] *= 1 + spread * std::sin(i + s.ja[k] + 0.1 * i * s.ja[k]);
  return s;
}

TEST(KorvineIterations, KrylovAndRefinementOnTheFactorsOfANearbyMatrix) {
  for (const auto& [mtype, s] :
       {std::pair{2, grid_operator(8, 8, 4, 8.0)}, std::pair{11, grid_operator(8, 8, 4, 6.0, 0.4)},
        std::pair{-2, grid_operator(8, 8, 4, 2.5)}}) {
    SCOPED_TRACE(mtype);
    Input<double> first = solver_input(s, mtype != 11, 1);
    const Sparse changed = nearby(s, 0.05);
    Input<double> second = solver_input(changed, mtype != 11, 1);
    std::vector<double> b = random_rhs(s.n, 5), x(s.n);
    Korvine k(mtype);
    ASSERT_EQ(k.call(12, first, b.data(), x.data()), 0);
    // K < 0: 150 iterations whatever the timings.  Tolerance 1e-10.
    k.iparm[3] = -101;
    ASSERT_EQ(k.call(33, second, b.data(), x.data()), 0);
    EXPECT_GT(k.iparm[19], 0);
    // Preconditioned CG gains more than a digit per step on this matrix; unpreconditioned
    // it takes about 20 steps.
    EXPECT_TRUE(mtype != 2 || k.iparm[19] <= 12) << k.iparm[19];
    // The tolerance bounds ||r||_2 / ||b||_2, so the normwise backward error as well.
    EXPECT_LT(backward_ratio(changed, x, b, 1) * s.n * std::numeric_limits<double>::epsilon(),
              1e-9);

    // An unreachable tolerance: the iteration stops and says why (K > 0: the report names
    // the hybrid solver).
    k.iparm[3] = 301;
    k.msglvl = 1;
    EXPECT_EQ(k.call_captured(33, second, b.data(), x.data()), -4);
    EXPECT_LT(k.iparm[19], 0);
    EXPECT_TRUE(k.printed("*** Error in KORVINE: cgs error iparam(20) " +
                          std::to_string(k.iparm[19]) + "\n"))
        << k.out;
    EXPECT_TRUE(k.printed("< Hybrid Solver KORVINE with CGS/CG Iteration >\n"));
    if (mtype != 11) continue;
    // Refinement: none when nothing is perturbed and no steps are asked, automatic when
    // pivots were perturbed.  With the factors of the nearby matrix it contracts by a fixed
    // rate per step: two steps leave it short of convergence (-111, naming the limit), forty
    // let it converge and stop on its own; b = 0 gives 0.
    std::vector<double> zero(s.n, 0.0);
    b.assign(s.n, 1.0);
    k.release();  // a fresh start from the defaults
    korvine_defaults(11, k.iparm);
    k.msglvl = 0;
    ASSERT_EQ(k.call(13, first, b.data(), x.data()), 0);  // nothing perturbed, nothing asked
    EXPECT_TRUE(k.iparm[13] == 0 && k.iparm[6] == 0) << k.iparm[13] << " " << k.iparm[6];
    // A perturbed-pivot count given on phase 33 forces the automatic refinement: at most two
    // steps, and -34 in iparm[19] when it took both.
    k.iparm[13] = 3;
    ASSERT_EQ(k.call(33, first, b.data(), x.data()), 0);
    EXPECT_TRUE(k.iparm[6] == 1 || (k.iparm[6] == 2 && k.iparm[19] == -34)) << k.iparm[6];
    EXPECT_LT(backward_ratio(s, x, b, 1), 30.0);
    k.msglvl = 1;
    for (int limit : {2, -2}) {
      k.iparm[7] = limit;
      EXPECT_EQ(k.call_captured(33, second, b.data(), x.data()), -4);
      EXPECT_EQ(k.iparm[6], 2);
      EXPECT_TRUE(
          k.printed("*** error KORVINE: iterative refinement\n"
                    " exceeds maximum iteration number 2\n"))
          << k.out;
    }
    k.msglvl = 0, k.iparm[7] = 40;
    EXPECT_EQ(k.call(33, second, b.data(), x.data()), 0);
    EXPECT_LT(k.iparm[6], 40);
    EXPECT_LT(backward_ratio(changed, x, b, 1), 30.0);
    ASSERT_EQ(k.call(33, second, zero.data(), x.data()), 0);  // b = 0: x = 0, no failure
    EXPECT_EQ(x, zero);
  }
}

// The symmetric indefinite block kernel on a block whose leading columns hold only rounding
// residue inside the block while the rows below the block are of normal size: a 2x2 pivot
// on that residue would divide the rows below by its determinant (residue squared); the
// columns must get perturbed 1x1 pivots of at least the threshold instead.

TEST(KorvineKernels, BlockLdltPerturbsColumnsOfResidueInsteadOfPairingThem) {
  const int k = 3, len = 5;
  const double threshold = 1e-8;
  for (double residue : {1e-20, 1e-12}) {
    // Block rows 0..2: columns 0 and 1 are zero apart from the residue between them; row 2
    // and the rows below are ordinary.
    std::vector<double> a(static_cast<std::size_t>(len) * k, 0.0);
    auto at = [&](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * len]; };
    at(1, 0) = residue, at(2, 2) = 2.0;
    at(3, 0) = 0.5, at(4, 0) = -0.25, at(3, 1) = 0.75, at(4, 1) = 0.5, at(3, 2) = at(4, 2) = 1.0;
    std::vector<int> ipiv(k);
    std::vector<double> d(k), e(k);
    int perturbed = 0, pos = 0, neg = 0;
    block_ldlt<double>(k, len, a.data(), len, ipiv.data(), d.data(), e.data(), threshold, nullptr,
                       false, &perturbed, &pos, &neg);
    EXPECT_EQ(perturbed, 2) << residue;
    EXPECT_EQ(pos + neg, k) << residue;
    for (int j = 0; j < k; ++j) {
      EXPECT_GT(ipiv[j], 0) << residue << " column " << j << " took a 2x2 pivot";
      EXPECT_GE(std::abs(d[j]), threshold) << residue;
    }
  }
}

// Partial solve: the components marked in perm are ordered last, and the solve computes only
// what they need; they must equal the components of a full solve.
void expect_wanted_match(const std::vector<double>& x, const std::vector<double>& full,
                         const std::vector<int>& marks) {
  double scale = 0;
  for (double v : full) scale = std::max(scale, std::abs(v));
  for (std::size_t i = 0; i < x.size(); ++i)
    EXPECT_NEAR(x[i], marks[i] == 1 ? full[i] : 0.0, marks[i] == 1 ? 1e-10 * scale : 0.0) << i;
}

TEST(KorvinePartialSolve, WantedComponentsEqualTheFullSolve) {
  for (int mtype : {11, -2}) {
    SCOPED_TRACE(mtype);
    // No pivot of these is perturbed, so the full solve needs no refinement either; the
    // matching of the unsymmetric one moves columns, and the components wanted are still the
    // caller's unknowns.
    const Sparse s = mtype == 11 ? shifted_rows() : grid_operator(9, 8, 4, 2.5);
    Input<double> in = solver_input(s, mtype == -2, 1);
    std::vector<double> dense = random_rhs(s.n, 7), sparse(s.n, 0.0), full(s.n), full_sparse(s.n),
                        x(s.n);
    sparse[3] = 1.0;
    Korvine f(mtype);
    ASSERT_EQ(f.call(13, in, dense.data(), full.data()), 0);
    ASSERT_EQ(f.call(33, in, sparse.data(), full_sparse.data()), 0);

    std::vector<int> marks(s.n, 0);
    int m = 0;
    for (int i = 5; i < s.n; i += 17, ++m) marks[i] = 1;
    std::vector<int> perm = marks;
    Korvine k(mtype, {{30, 1}}, 1);
    ASSERT_EQ(k.call_captured(13, in, dense.data(), x.data(), 1, perm.data()), 0);
    EXPECT_TRUE(k.iparm[47] == m && k.iparm[4] == 1);
    EXPECT_EQ(k.iparm[6], 0) << "no refinement in a partial solve";
    // The marked components come last in the permutation handed back.
    ASSERT_TRUE(one_based_permutation(perm));
    for (int p = 0; p < s.n; ++p) EXPECT_EQ(marks[perm[p] - 1], p >= s.n - m ? 1 : 0) << p;
    EXPECT_TRUE(k.printed("Number of unknowns computed in forward solving step\n 100 %\n"));
    EXPECT_TRUE(k.printed("Number of unknowns computed in backward solving step\n"));
    EXPECT_FALSE(k.printed("backward solving step\n 100 %"));
    expect_wanted_match(x, full, marks);

    // A right-hand side with one non-zero: the forward step computes less, same answer.
    ASSERT_EQ(k.call_captured(33, in, sparse.data(), x.data()), 0);
    EXPECT_FALSE(k.printed("forward solving step\n 100 %"));
    expect_wanted_match(x, full_sparse, marks);

    // The three steps one by one.
    k.msglvl = 0;
    std::vector<double> y(s.n), z(s.n);
    ASSERT_EQ(k.call(331, in, dense.data(), y.data()), 0);
    ASSERT_EQ(k.call(332, in, y.data(), z.data()), 0);
    ASSERT_EQ(k.call(333, in, z.data(), x.data()), 0);
    expect_wanted_match(x, full, marks);
    // The transposed solve, whose unknowns are the rows, which a matching leaves in place.
    Korvine ft(mtype, {{11, 2}}), kt(mtype, {{11, 2}, {30, 1}});
    perm = marks;
    ASSERT_EQ(ft.call(13, in, dense.data(), full.data()), 0);
    ASSERT_EQ(kt.call(13, in, dense.data(), x.data(), 1, perm.data()), 0);
    expect_wanted_match(x, full, marks);
    // Without a component list (or a permutation to read or write) nothing is read from null.
    for (int setting : {30, 4}) {
      Korvine bad(mtype, {{setting, setting == 30 ? 1 : 2}}, 1);
      EXPECT_EQ(bad.call_captured(11, in, dense.data(), x.data()), -1);
      EXPECT_TRUE(bad.printed("*** Error in KORVINE: unclassified error\n"));
    }
    // Decreasing row starts are the input check's to report, before any row is read through
    // them (the sanitizer sees a read before the first entry).
    Input<double> broken = in;
    broken.ia[2] = broken.ia[0] - 1;
    perm = marks;
    Korvine rows(mtype, {{30, 1}}, 1);
    EXPECT_EQ(rows.call_captured(13, broken, dense.data(), x.data(), 1, perm.data()), -1);
    EXPECT_TRUE(rows.printed("error_num= 21\n")) << rows.out;
  }
}

}  // namespace
}  // namespace ztr::test
