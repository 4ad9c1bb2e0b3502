// Pivoting and honest results of the solver on the classes of matrices that defeat a pivot
// search confined to a diagonal block: positive definite matrices of badly scaled rows given
// as indefinite, saddle points, unsymmetric blocks with element growth, values that are not
// finite; in double and single precision.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "sparse_solver/dense/dense_blocks.h"
#include "sparse_solver/analysis/matching.h"
#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

const std::string kData = ZTR_SOURCE_DIR "/tests/data/";

// A stored test matrix with its full pattern.
Sparse read_full(const std::string& name) {
  return read_mtx(kData + name);
}

// s with every value rounded to T: the matrix the solver sees in that precision.
template <typename T>
Sparse rounded(Sparse s) {
  for (double& v : s.a) v = static_cast<T>(v);
  return s;
}

// The normwise backward error ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf).
template <typename T>
double backward_error(const Sparse& s, const std::vector<T>& x, const std::vector<T>& b) {
  return backward_ratio(s, x, b, 1) * s.n * std::numeric_limits<T>::epsilon();
}

template <typename T>
std::vector<T> times_ones(const Sparse& s) {
  std::vector<T> b(s.n, T(0));
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) b[i] += static_cast<T>(s.a[k]);
  return b;
}

// S*A*S with S = diag(10^u), u uniform in [-spread, spread]: the rows of a structural matrix
// whose unknowns have different units.  Positive definite when A is.
Sparse badly_scaled(Sparse s, double spread, std::uint64_t seed) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<double> d(s.n);
  for (double& v : d) v = std::pow(10.0, uniform(r, -spread, spread));
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) s.a[k] *= d[i] * d[s.ja[k]];
  return s;
}

struct Outcome {
  int error, perturbed, steps, positive, negative, detail;
  double omega;
};

// Phase 13 with the type's defaults (single precision with `single`) on b = A*1.
template <typename T>
Outcome solve_ones(const Sparse& s, int mtype,
                   std::initializer_list<std::pair<int, int>> set = {}) {
  Korvine k(mtype, set);
  if (sizeof(T) == sizeof(float)) k.iparm[27] = 1;
  const bool sym = mtype == 2 || mtype == -2;
  Input<T> in = solver_input<T>(s, sym, 1);
  std::vector<T> b = times_ones<T>(s), x(s.n);
  const int e = k.call(13, in, b.data(), x.data());
  return {e,
          k.iparm[13],
          k.iparm[6],
          k.iparm[21],
          k.iparm[22],
          k.iparm[29],
          e == 0 ? backward_error(s, x, b) : 0.0};
}

// Within a few rounding units of the precision: what a backward stable solve reaches.
template <typename T>
double rounding_level() {
  return 4 * std::numeric_limits<T>::epsilon();
}

template <typename T>
void positive_definite_needs_no_perturbed_pivot() {
  // Pivots spanning sixteen orders of magnitude relative to the largest entry, all of them
  // sound: tested against the largest entry, half of them would be perturbed.
  for (const auto& [name, s] :
       {std::pair{"scaled grid", rounded<T>(badly_scaled(grid_operator(9, 8, 5, 6.0), 4, 11))},
        std::pair{"LFAT5", rounded<T>(read_full("LFAT5.mtx"))}}) {
    SCOPED_TRACE(name);
    const Outcome o = solve_ones<T>(s, -2);
    ASSERT_EQ(o.error, 0);
    EXPECT_EQ(o.perturbed, 0);
    EXPECT_EQ(o.positive, s.n);
    EXPECT_EQ(o.negative, 0);
    EXPECT_LT(o.omega, rounding_level<T>());
  }
}

TEST(KorvinePivoting, PositiveDefiniteAsIndefiniteNeedsNoPerturbedPivot) {
  positive_definite_needs_no_perturbed_pivot<double>();
}
TEST(KorvinePivoting, PositiveDefiniteAsIndefiniteNeedsNoPerturbedPivotInSingle) {
  positive_definite_needs_no_perturbed_pivot<float>();
}

template <typename T>
void saddle_points_get_their_exact_inertia() {
  // Saddle points [H B'; B 0], H positive definite and B of full row rank: inertia (rows of
  // H, rows of B).  The zero diagonal of the constraints can only be taken in 2x2 pivots.
  struct Case {
    const char* name;
    Sparse s;
    int positive, negative;
  };
  for (const Case& c :
       {Case{"saddle 8x8 + 20", rounded<T>(saddle_point(8, 20, 3)), 64, 20},
        Case{"badly scaled saddle", rounded<T>(badly_scaled(saddle_point(9, 30, 5, 1.0, 1), 2, 7)),
             81, 30},
        Case{"tumorAntiAngiogenesis_2", rounded<T>(read_full("tumorAntiAngiogenesis_2.mtx")), 183,
             122}}) {
    SCOPED_TRACE(c.name);
    const Outcome o = solve_ones<T>(c.s, -2);
    ASSERT_EQ(o.error, 0);
    EXPECT_EQ(o.perturbed, 0);
    EXPECT_EQ(o.positive, c.positive);
    EXPECT_EQ(o.negative, c.negative);
    EXPECT_LT(o.omega, rounding_level<T>());
  }
}

TEST(KorvinePivoting, SaddlePointsGetTheirExactInertia) {
  saddle_points_get_their_exact_inertia<double>();
}
TEST(KorvinePivoting, SaddlePointsGetTheirExactInertiaInSingle) {
  saddle_points_get_their_exact_inertia<float>();
}

// Small blocks (ordered first, each its own supernode) whose first column is zero inside the
// block and couples only to a row below it, while the other two columns form an indefinite
// 2x2 pivot [0 h; h 0]: the kernel finds that pivot away from the current column, so both of
// its rows are interchanged (first to the current column, then second to the next), and the
// first column is perturbed at the end.  The solve must apply the two interchanges of each
// 2x2 pivot in that order going forward and undo them in reverse going back, for every
// right-hand side: otherwise refinement does not bring the residual down.
TEST(KorvinePivoting, TwoByTwoPivotsAwayFromTheCurrentColumnSolveEveryRightHandSide) {
  const int blocks = 4, width = 3, rest = 40, first_rest = blocks * width, n = first_rest + rest;
  Rng r(7);
  std::map<std::pair<int, int>, double> e;
  auto put = [&](int i, int j, double v) { e[{i, j}] = v, e[{j, i}] = v; };
  for (int t = 0; t < blocks; ++t) {
    const int o = t * width, below = first_rest + width * t;
    for (int i = 0; i < width; ++i)
      for (int j = 0; j < width; ++j) put(o + i, o + j, 0.0);  // stored zeros: one supernode
    put(o + 1, o + 2, 2.0 + t);
    put(o, below, 1.0), put(o + 1, below + 1, 0.5), put(o + 2, below + 2, 0.25);
  }
  // The rest: dense and diagonally dominant, too wide to be merged with the small blocks.
  for (int i = 0; i < rest; ++i)
    for (int j = 0; j <= i; ++j)
      put(first_rest + i, first_rest + j, i == j ? 10.0 + uniform(r) : 0.1 * uniform(r));
  const Sparse s = from_map(n, e);
  Korvine k(-2, {{4, 1}, {12, 0}});
  Input<double> in = solver_input<double>(s, true, 1);
  const int nrhs = 3;
  std::vector<double> b = random_rhs(static_cast<std::size_t>(n) * nrhs, 5), x(b.size());
  std::vector<int> perm(n);
  for (int i = 0; i < n; ++i) perm[i] = i + 1;
  ASSERT_EQ(k.call(13, in, b.data(), x.data(), nrhs, perm.data()), 0);
  EXPECT_EQ(k.iparm[13], blocks);
  EXPECT_EQ(k.iparm[21] + k.iparm[22], n);
  EXPECT_LT(backward_ratio(s, x, b, nrhs), 30.0);
}

// The block kernel on dense blocks P'*[H B'; B 0]*P (H = h*I perturbed, B random, the
// constraints first so that the kernel meets the zero diagonal at once), whose inertia is
// (rows of H, rows of B) for every h > 0: it must count that exactly without perturbing,
// and its factors must reproduce the block.
// The block factored in place (len - k random rows below it) by the kernel, its inertia and
// perturbed count, and the largest deviation of L*D*L' from P'*A*P relative to max |A|.
struct BlockResult {
  int perturbed = 0, pos = 0, neg = 0;
  double deviation = 0;
};
BlockResult factor_block(const std::vector<double>& full, int k, int len, Rng& r) {
  auto f = [&](int i, int j) { return full[i + static_cast<std::size_t>(j) * k]; };
  std::vector<double> a(static_cast<std::size_t>(len) * k, 0.0);
  double amax = 0;
  for (int j = 0; j < k; ++j) {
    for (int i = j; i < k; ++i) a[i + static_cast<std::size_t>(j) * len] = f(i, j);
    for (int i = k; i < len; ++i) a[i + static_cast<std::size_t>(j) * len] = uniform(r);
    for (int i = 0; i < k; ++i) amax = std::max(amax, std::abs(f(i, j)));
  }
  std::vector<int> ipiv(k);
  std::vector<double> d(k), e(k);
  BlockResult out;
  EXPECT_EQ(block_ldlt<double>(k, len, a.data(), len, ipiv.data(), d.data(), e.data(), 1e-8,
                               nullptr, false, &out.perturbed, &out.pos, &out.neg),
            0);
  // The permutation from the interchanges, then L*D*L' against P'*A*P.
  std::vector<int> p(k);
  for (int i = 0; i < k; ++i) p[i] = i;
  for (int j = 0; j < k;) {
    if (ipiv[j] > 0) {
      std::swap(p[j], p[ipiv[j] - 1]);
      ++j;
    } else {
      std::swap(p[j], p[-ipiv[j] - 1]);
      std::swap(p[j + 1], p[-ipiv[j + 1] - 1]);
      j += 2;
    }
  }
  auto l = [&](int i, int j) {
    return i == j ? 1.0 : i > j ? a[i + static_cast<std::size_t>(j) * len] : 0.0;
  };
  for (int i = 0; i < k; ++i)
    for (int j = 0; j <= i; ++j) {
      double v = 0;
      for (int t = 0; t < k; ++t) {
        // (L*D)(i, t): D is block diagonal with e on its sub-diagonal.
        double ld = l(i, t) * d[t];
        if (t + 1 < k) ld += l(i, t + 1) * e[t];
        if (t > 0) ld += l(i, t - 1) * e[t - 1];
        v += ld * l(j, t);
      }
      out.deviation = std::max(out.deviation, std::abs(v - f(p[i], p[j])) / amax);
    }
  return out;
}

// A backward stable block factorization reproduces the block to a modest multiple of the
// rounding unit (pivots that let the multipliers grow show here).
constexpr double kBlockDeviation = 20.0 * std::numeric_limits<double>::epsilon();

TEST(KorvineKernels, BlockLdltCountsTheInertiaOfIndefiniteBlocksAndReproducesThem) {
  for (double h : {1.0, 1e-3, 1e-6}) {
    for (std::uint64_t seed : {1, 2, 3}) {
      SCOPED_TRACE(std::to_string(h) + " seed " + std::to_string(seed));
      const int nh = 7, nb = 5, k = nh + nb;
      Rng r(static_cast<Rng::result_type>(seed));
      // Constraints first: the kernel meets the zero diagonal at once.
      std::vector<double> full(static_cast<std::size_t>(k) * k, 0.0);
      auto f = [&](int i, int j) -> double& { return full[i + static_cast<std::size_t>(j) * k]; };
      for (int i = 0; i < nh; ++i) f(nb + i, nb + i) = h * (1 + 0.5 * uniform(r));
      for (int i = 0; i < nb; ++i)
        for (int j = 0; j < nh; ++j) f(i, nb + j) = f(nb + j, i) = uniform(r);
      const BlockResult o = factor_block(full, k, k + 3, r);
      EXPECT_EQ(o.perturbed, 0);
      EXPECT_EQ(o.pos, nh);
      EXPECT_EQ(o.neg, nb);
      EXPECT_LT(o.deviation, kBlockDeviation);
    }
  }
}

// Random symmetric blocks whose diagonal is small beside the rest: only 2x2 pivots (or 1x1
// pivots brought from elsewhere) keep the multipliers bounded.
TEST(KorvineKernels, BlockLdltPivotsSmallDiagonalsStably) {
  for (double small : {1e-2, 1e-4, 0.0}) {
    for (std::uint64_t seed : {4, 5, 6}) {
      SCOPED_TRACE(std::to_string(small) + " seed " + std::to_string(seed));
      const int k = 16;
      Rng r(static_cast<Rng::result_type>(seed));
      std::vector<double> full(static_cast<std::size_t>(k) * k, 0.0);
      for (int j = 0; j < k; ++j)
        for (int i = j; i < k; ++i)
          full[i + static_cast<std::size_t>(j) * k] = full[j + static_cast<std::size_t>(i) * k] =
              i == j ? small * uniform(r) : uniform(r);
      const BlockResult o = factor_block(full, k, k + 2, r);
      EXPECT_EQ(o.perturbed, 0);
      EXPECT_EQ(o.pos + o.neg, k);
      EXPECT_LT(o.deviation, kBlockDeviation);
    }
  }
}

// The weighted matching's scaling does what it is for: on a matrix whose entries span
// twenty orders of magnitude, Dr*A*Dc has its matched entries at 1 and none above 1, and
// the matching is a permutation.
TEST(KorvineMatching, ScaledMatchedEntriesAreOneAndNoneIsLarger) {
  for (std::uint64_t seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    Rng r(static_cast<Rng::result_type>(seed));
    Sparse s = grid_operator(7, 6, 5, 6.0, 0.4);
    for (double& v : s.a) v *= std::pow(10.0, uniform(r, -10, 10));
    const int n = s.n;
    WorkMemory mem;
    std::vector<int> matched(n), taken(n, 0);
    std::vector<double> dr(n), dc(n);
    int count = 0;
    ASSERT_EQ(weighted_matching<double>(&mem, n, s.ia.data(), s.ja.data(), s.a.data(),
                                        matched.data(), dr.data(), dc.data(), &count),
              0);
    double largest = 0;
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(matched[i] >= 0 && matched[i] < n && taken[matched[i]]++ == 0) << i;
      bool found = false;
      for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
        const double v = dr[i] * std::abs(s.a[k]) * dc[s.ja[k]];
        largest = std::max(largest, v);
        if (s.ja[k] == matched[i]) {
          found = true;
          EXPECT_NEAR(v, 1.0, 1e-12) << i;
        }
      }
      EXPECT_TRUE(found) << "row " << i << " matched to a column it has no entry in";
    }
    EXPECT_LE(largest, 1 + 1e-12);
  }
}

// Unsymmetric matrices whose diagonal blocks show element growth without any zero pivot:
// the direct solution is not backward stable, and the defaults must notice and refine.
TEST(KorvinePivoting, UnsymmetricGrowthInABlockIsRefinedToRoundingLevel) {
  for (const char* name : {"impcol_a.mtx", "olm1000.mtx"}) {
    SCOPED_TRACE(name);
    const Sparse s = read_full(name);
    const Outcome o = solve_ones<double>(s, 11);
    ASSERT_EQ(o.error, 0);
    EXPECT_LT(o.omega, rounding_level<double>());
    const Outcome f = solve_ones<float>(rounded<float>(s), 11);
    ASSERT_EQ(f.error, 0);
    EXPECT_LT(f.omega, rounding_level<float>());
  }
}

// Values that are not finite: in the matrix, every type fails at the factorization with the
// caller's equation in iparm[29]; in b, the solve of that column may be non-finite but no
// other column suffers, and a finite b never yields a non-finite solution with error 0.
template <typename T>
void non_finite_values_are_never_a_success() {
  const Sparse base = grid_operator(6, 5, 4, 6.5, 0.3);
  const Sparse sym = grid_operator(6, 5, 4, 6.5);
  for (int mtype : {2, -2, 1, 11}) {
    const Sparse& s = mtype == 2 || mtype == -2 ? sym : base;
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      SCOPED_TRACE(std::to_string(mtype) + " " + std::to_string(bad));
      Korvine k(mtype);
      if (sizeof(T) == sizeof(float)) k.iparm[27] = 1;
      Input<T> in = solver_input<T>(s, mtype == 2 || mtype == -2, 1);
      // The diagonal entry of row 17 (one-based 18): it is stored for every type.
      for (int e = in.ia[17] - 1; e < in.ia[18] - 1; ++e)
        if (in.ja[e] == 18) in.a[e] = static_cast<T>(bad);
      std::vector<T> b(s.n, T(1)), x(s.n);
      EXPECT_EQ(k.call(13, in, b.data(), x.data()), -4);
      EXPECT_EQ(k.iparm[29], 18);
      // The same matrix without the bad value; then b with one in its second column.
      Input<T> good = solver_input<T>(s, mtype == 2 || mtype == -2, 1);
      std::vector<T> b2(2 * s.n, T(1)), x2(2 * s.n);
      b2[s.n + 5] = static_cast<T>(bad);
      ASSERT_EQ(k.call(13, good, b2.data(), x2.data(), 2), 0);
      for (int i = 0; i < s.n; ++i) ASSERT_TRUE(std::isfinite(x2[i])) << i;
      std::vector<T> first(b2.begin(), b2.begin() + s.n), xf(x2.begin(), x2.begin() + s.n);
      EXPECT_LT(backward_error(rounded<T>(s), xf, first), rounding_level<T>());
    }
  }
}

TEST(KorvineHonesty, NonFiniteValuesAreNeverASuccess) {
  non_finite_values_are_never_a_success<double>();
}
TEST(KorvineHonesty, NonFiniteValuesAreNeverASuccessInSingle) {
  non_finite_values_are_never_a_success<float>();
}

// Values given to the solve that are not finite, while the factors are those of sound values:
// the check of the direct solution computes a residual that is not finite, and must not read
// it as small (a maximum over magnitudes passes over a NaN); the call never returns error 0.
TEST(KorvineHonesty, NonFiniteValuesGivenToTheSolveAreNeverASuccess) {
  const Sparse s = grid_operator(6, 5, 4, 6.5, 0.3);
  for (int mtype : {11, -2, 2}) {
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      SCOPED_TRACE(std::to_string(mtype) + " " + std::to_string(bad));
      Korvine k(mtype);
      Input<double> in = solver_input<double>(s, mtype != 11, 1);
      std::vector<double> b(s.n, 1.0), x(s.n);
      ASSERT_EQ(k.call(12, in, b.data(), x.data()), 0);
      in.a[3] = bad;
      EXPECT_EQ(k.call(33, in, b.data(), x.data()), -4);
    }
  }
}

// Finite values whose elimination overflows: [1 h; 1 -h] (type 1) with h near the largest
// number of the precision.  The factors leave the finite numbers, and the call fails
// instead of returning them.  The symmetric [1 h; h 1] (-2, a 2x2 pivot) is well conditioned
// and its inverse is finite: it solves, also when h is past the square root of the largest
// number, where the 2x2 pivot's determinant d11 d22 - d21^2 would overflow.
template <typename T>
void overflow_in_the_factors_is_a_failure() {
  const double big = 0.9 * std::numeric_limits<T>::max();
  {
    const Sparse s = from_map(2, {{{0, 0}, 1.0}, {{0, 1}, big}, {{1, 0}, 1.0}, {{1, 1}, -big}});
    Korvine k(1);
    if (sizeof(T) == sizeof(float)) k.iparm[27] = 1;
    Input<T> in = solver_input<T>(s, false, 1);
    std::vector<T> b{T(1), T(1)}, x(2);
    EXPECT_EQ(k.call(13, in, b.data(), x.data()), -4);
  }
  for (double h : {10 * std::sqrt(double{std::numeric_limits<T>::max()}), big}) {
    SCOPED_TRACE(h);
    const Sparse s = from_map(2, {{{0, 0}, 1.0}, {{0, 1}, h}, {{1, 0}, h}, {{1, 1}, 1.0}});
    Korvine k(-2);
    if (sizeof(T) == sizeof(float)) k.iparm[27] = 1;
    Input<T> in = solver_input<T>(s, true, 1);
    std::vector<T> b{T(1), T(1)}, x(2);
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    // x = b / (1 + h) in both components.
    for (T xi : x) EXPECT_NEAR(double{xi} * (1 + h), 1.0, 8 * std::numeric_limits<T>::epsilon());
    EXPECT_EQ(k.iparm[21], 1);
    EXPECT_EQ(k.iparm[22], 1);
  }
}

TEST(KorvineHonesty, OverflowInTheFactorsIsAFailure) {
  overflow_in_the_factors_is_a_failure<double>();
  overflow_in_the_factors_is_a_failure<float>();
}

// Three unknowns whose first (1x1) pivot's update overflows: a = 0.9 of the largest number,
// [a a a; a -a -a; a -a -a].  The trailing entries become -inf, and the next pivot a NaN.  A
// NaN is below no threshold and above none: it must fail the factorization (with its
// equation), not be perturbed into a finite pivot that hides it.
template <typename T>
void nan_pivot_fails_the_factorization() {
  const double a = 0.9 * std::numeric_limits<T>::max();
  const Sparse s = from_map(3, {{{0, 0}, a},
                                {{0, 1}, a},
                                {{1, 0}, a},
                                {{1, 1}, -a},
                                {{0, 2}, a},
                                {{2, 0}, a},
                                {{1, 2}, -a},
                                {{2, 1}, -a},
                                {{2, 2}, -a}});
  Korvine k(-2);
  if (sizeof(T) == sizeof(float)) k.iparm[27] = 1;
  Input<T> in = solver_input<T>(s, true, 1);
  std::vector<T> b(3, T(1)), x(3);
  EXPECT_EQ(k.call(12, in, b.data(), x.data()), -4);
  EXPECT_GE(k.iparm[29], 1);
  EXPECT_LE(k.iparm[29], 3);
}

TEST(KorvineHonesty, NanPivotFailsTheFactorization) {
  nan_pivot_fails_the_factorization<double>();
  nan_pivot_fails_the_factorization<float>();
}

// A singular matrix (gent113): whatever the precision, a solution that is not finite is
// reported as a failure.
TEST(KorvineHonesty, SingularMatrixNeverGivesANonFiniteSolutionWithErrorZero) {
  const Sparse s = read_full("gent113.mtx");
  for (bool single : {false, true}) {
    SCOPED_TRACE(single);
    Korvine k(11);
    k.iparm[27] = single ? 1 : 0;
    bool finite = true;
    int e = 0;
    if (single) {
      Input<float> in = solver_input<float>(s, false, 1);
      std::vector<float> b = times_ones<float>(s), x(s.n);
      e = k.call(13, in, b.data(), x.data());
      for (float v : x) finite = finite && std::isfinite(v);
    } else {
      Input<double> in = solver_input<double>(s, false, 1);
      std::vector<double> b = times_ones<double>(s), x(s.n);
      e = k.call(13, in, b.data(), x.data());
      for (double v : x) finite = finite && std::isfinite(v);
    }
    EXPECT_TRUE(e != 0 || finite) << "error 0 with a non-finite solution";
    EXPECT_GT(k.iparm[13], 0);
  }
}

// T^2 for the 1-D Laplacian T = tridiag(-1, 2, -1) of order n: positive definite with a
// condition number near (4 n^2 / pi^2)^2, so that refinement corrections stay far above
// the rounding unit relative to x while the residual is already at rounding level.
Sparse squared_laplacian(int n) {
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < n; ++i) {
    e[{i, i}] = (i == 0 || i == n - 1) ? 5.0 : 6.0;
    if (i + 1 < n) e[{i, i + 1}] = e[{i + 1, i}] = -4.0;
    if (i + 2 < n) e[{i, i + 2}] = e[{i + 2, i}] = 1.0;
  }
  return from_map(n, e);
}

// An explicit step limit on a solution that converges: the limit reached at rounding level
// is no failure (-111 means the solution is not the converged one), however large the last
// correction of an ill-conditioned system, and whether or not its residual still shrank.
TEST(KorvineHonesty, StepLimitReachedAtRoundingLevelIsNoFailure) {
  for (const auto& [mtype, s] : {std::pair{-2, badly_scaled(grid_operator(9, 8, 5, 6.0), 3, 5)},
                                 std::pair{2, squared_laplacian(1000)}}) {
    for (int limit : {1, 2, 3, 4, 5, 6, -3}) {
      SCOPED_TRACE(std::to_string(mtype) + " limit " + std::to_string(limit));
      Korvine k(mtype, {{7, limit}});
      Input<double> in = solver_input<double>(s, true, 1);
      const int nrhs = 3;
      std::vector<double> b = random_rhs(static_cast<std::size_t>(s.n) * nrhs, limit + 10),
                          x(b.size());
      ASSERT_EQ(k.call(13, in, b.data(), x.data(), nrhs), 0);
      EXPECT_GE(k.iparm[6], 1);
      EXPECT_LT(backward_ratio(s, x, b, nrhs) * s.n * std::numeric_limits<double>::epsilon(),
                rounding_level<double>());
    }
  }
  // A dense indefinite matrix: Bunch-Kaufman on 400 unknowns leaves the direct solution some
  // tens of rounding units from the matrix, and one step brings it to rounding level.  With a
  // limit of one step the solution is judged after that step, not by the residual before it.
  std::map<std::pair<int, int>, double> e;
  const int n = 400;
  std::mt19937 g(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < n; ++i) {
    e[{i, i}] = 0.1 * u(g);
    for (int j = i + 1; j < n; ++j) e[{i, j}] = e[{j, i}] = u(g);
  }
  const Sparse s = from_map(n, e);
  Korvine k(-2, {{7, 1}});
  Input<double> in = solver_input<double>(s, true, 1);
  std::vector<double> b = random_rhs(n, 5), x(n);
  ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.iparm[6], 1);
  EXPECT_LT(backward_ratio(s, x, b, 1) * n * std::numeric_limits<double>::epsilon(),
            rounding_level<double>());
}

}  // namespace
}  // namespace ztr::test
