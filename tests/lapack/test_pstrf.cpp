// Pivoted Cholesky: rank of low-rank Gram matrices, P'*A*P = U'*U (L*L') on the computed part
// for both triangles and both the unblocked and the blocked loop, the pivot rules (first of
// equal maxima, NaN never chosen), the stop rules and the argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "lapack/pstrf/pstrf.h"
#include "lu_matrices.h"
#include "error_text.h"

namespace ztr {
namespace {

constexpr double kRatioBound = 30.0;
using test::kNaN;
using test::kUnitRoundoff;

struct Result {
  std::vector<double> a;
  std::vector<int> piv;
  int rank = -1, info = -9;
};

using Routine = void (*)(const char*, const int*, double*, const int*, int*, int*, const double*,
                         double*, int*);

Result run(Routine f, char uplo, int n, const std::vector<double>& a, double tol) {
  Result r{a, std::vector<int>(std::max(n, 1), -1)};
  std::vector<double> work(2 * std::max(n, 1));
  const int lda = std::max(n, 1);
  f(&uplo, &n, r.a.data(), &lda, r.piv.data(), &r.rank, &tol, work.data(), &r.info);
  return r;
}

// max |(P'AP)(i,j) - sum_{p < rank} U(p,i)*U(p,j)| over the entries with min(i, j) < rank,
// over ||A||_1 * n * eps.  Only the uplo triangle of a0 is read.
double factor_error(char uplo, int n, const std::vector<double>& a0, const Result& r) {
  auto A = [&](int i, int j) {
    if (uplo == 'U' ? i > j : i < j) std::swap(i, j);
    return a0[i + static_cast<std::size_t>(j) * n];
  };
  auto U = [&](int p, int i) {
    return uplo == 'U' ? r.a[p + static_cast<std::size_t>(i) * n]
                       : r.a[i + static_cast<std::size_t>(p) * n];
  };
  double norm = 0, worst = 0;
  for (int j = 0; j < n; ++j) {
    double s = 0;
    for (int i = 0; i < n; ++i) s += std::fabs(A(i, j));
    norm = std::max(norm, s);
  }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      if (std::min(i, j) >= r.rank) continue;
      double s = 0;
      for (int p = 0; p <= std::min({i, j, r.rank - 1}); ++p) s += U(p, i) * U(p, j);
      worst = std::max(worst, std::fabs(A(r.piv[i] - 1, r.piv[j] - 1) - s));
    }
  return worst / (norm * n * kUnitRoundoff);
}

// G*G' for a random n x r G, the other triangle filled with NaN (never read).
std::vector<double> gram(int n, int r, char uplo, std::uint64_t seed) {
  const std::vector<double> g = test::random_matrix(n, std::max(r, 1), n, seed);
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < r; ++p) s += g[i + p * n] * g[j + p * n];
      a[i + static_cast<std::size_t>(j) * n] = (uplo == 'U' ? i <= j : i >= j) ? s : kNaN;
    }
  return a;
}

TEST(Dpstrf, RankAndFactorOfLowRankGramMatrices) {
  std::uint64_t seed = 40;
  // n <= 128 is unblocked; n = 200 runs blocks of 24 with DSYRK updates.
  for (int n : {1, 40, 200}) {
    for (int r : {1, 7, n / 2, n}) {
      if (r < 1 || r > n) continue;
      for (char uplo : {'U', 'L', 'u', 'l'}) {
        const char up = static_cast<char>(std::toupper(uplo));
        const std::vector<double> a = gram(n, r, up, ++seed);
        for (Routine f : {dpstrf, dpstf2}) {
          const Result res = run(f, uplo, n, a, -1.0);
          EXPECT_EQ(res.rank, r) << n << " " << uplo;
          EXPECT_EQ(res.info, r < n ? 1 : 0);
          std::vector<int> order(n);
          std::iota(order.begin(), order.end(), 1);
          EXPECT_TRUE(std::is_permutation(res.piv.begin(), res.piv.end(), order.begin()));
          EXPECT_LT(factor_error(up, n, a, res), kRatioBound) << n << " " << r << " " << uplo;
        }
      }
    }
  }
}

TEST(Dpstrf, BlockingDoesNotChangeThePivots) {
  // Well separated: a spread diagonal plus a small positive semidefinite coupling, so the
  // pivot order is that of the diagonal whatever the order of the updates.  n = 129 is
  // blocked, n = 128 (its leading block) is not; the extra index, with the smallest diagonal
  // and no coupling, comes last.
  const int n = 129;
  std::vector<double> a = gram(n, 5, 'U', 77);
  std::vector<int> order(n - 1);
  std::iota(order.begin(), order.end(), 0);
  test::Rng rng(5);
  for (int i = n - 2; i > 0; --i) std::swap(order[i], order[test::below(rng, i + 1)]);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      double& x = a[i + static_cast<std::size_t>(j) * n];
      x = j == n - 1 ? 0.0 : x * 1e-3;
      if (i == j) x += j == n - 1 ? 0.5 : 1.0 + 0.05 * order[j];
    }
  std::vector<double> lead(static_cast<std::size_t>(n - 1) * (n - 1));
  for (int j = 0; j < n - 1; ++j)
    std::copy_n(a.begin() + static_cast<std::ptrdiff_t>(j) * n, n - 1,
                lead.begin() + static_cast<std::ptrdiff_t>(j) * (n - 1));
  const Result big = run(dpstrf, 'U', n, a, -1.0);
  const Result big_unblocked = run(dpstf2, 'U', n, a, -1.0);
  const Result small = run(dpstrf, 'U', n - 1, lead, -1.0);
  EXPECT_EQ(big.rank, n);
  EXPECT_EQ(small.rank, n - 1);
  EXPECT_EQ(big.piv, big_unblocked.piv);
  EXPECT_EQ(std::vector<int>(big.piv.begin(), big.piv.end() - 1), small.piv);
  EXPECT_EQ(big.piv.back(), n);
  // The diagonal order: index of the largest diagonal first.
  for (int k = 0; k + 1 < n - 1; ++k) EXPECT_GT(order[big.piv[k] - 1], order[big.piv[k + 1] - 1]);
  EXPECT_LT(factor_error('U', n, a, big), kRatioBound);
}

// The first of equal largest diagonal entries is the pivot, at the first step and later; a
// NaN on the diagonal is never chosen (once only it remains the loop stops, leaving it in
// place); nothing positive to start from (zero, NaN first, negative) gives rank 0 and leaves
// a as it was; the loop stops at a remaining diagonal at or below tol (tol >= 0 as given;
// tol < 0 is n*eps*max(diag), which 1e-20 does not pass).
TEST(Dpstrf, PivotAndStopRules) {
  struct Case {
    char uplo;
    std::vector<double> diagonal;
    double tol;
    int rank;
    std::vector<int> piv;
  };
  const std::vector<double> ladder = {1, 0.25, 1e-20};
  for (const Case& c :
       {Case{'L', {2, 5, 5}, -1, 3, {2, 3, 1}}, Case{'L', {5, 3, 3}, -1, 3, {1, 2, 3}},
        Case{'U', {5, 3, 3}, -1, 3, {1, 2, 3}}, Case{'U', {0, 0, 0}, -1, 0, {1, 2, 3}},
        Case{'L', {0, 0, 0}, -1, 0, {1, 2, 3}}, Case{'U', {kNaN}, -1, 0, {1}},
        Case{'L', {-1, -2, -1}, -1, 0, {1, 2, 3}}, Case{'U', {-1, -2, -1}, -1, 0, {1, 2, 3}},
        Case{'U', {4, 3, kNaN, 1}, -1, 3, {1, 2, 4, 3}}, Case{'U', ladder, 0.25, 1, {1, 2, 3}},
        Case{'U', ladder, 0.2, 2, {1, 2, 3}}, Case{'U', ladder, 0.0, 3, {1, 2, 3}},
        Case{'U', ladder, -1.0, 2, {1, 2, 3}}}) {
    const int n = static_cast<int>(c.diagonal.size());
    std::vector<double> a(static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) a[i * (n + 1)] = c.diagonal[i];
    const Result r = run(dpstrf, c.uplo, n, a, c.tol);
    SCOPED_TRACE(c.uplo + std::to_string(n) + " tol " + std::to_string(c.tol));
    EXPECT_EQ(r.rank, c.rank);
    EXPECT_EQ(r.info, c.rank < n ? 1 : 0);
    EXPECT_EQ(std::vector<int>(r.piv.begin(), r.piv.begin() + n), c.piv);
    for (int i = c.rank; i < n; ++i)  // what is left is left in place
      EXPECT_EQ(std::memcmp(&r.a[i * (n + 1)], &c.diagonal[c.piv[i] - 1], sizeof(double)), 0) << i;
  }
}

TEST(Dpstrf, ArgumentErrorsAreReportedAndTouchNothing) {
  struct Case {
    char uplo;
    int n, lda, info;
  };
  for (Routine f : {dpstrf, dpstf2})
    for (Case c : {Case{'X', 2, 2, -1}, Case{'U', -1, 1, -2}, Case{'L', 3, 2, -4}}) {
      std::vector<double> a(9, 1.0), work(6, 2.0);
      int piv[3] = {-5, -5, -5}, rank = -7, info = 0;
      const double tol = -1;
      EXPECT_EQ(test::captured([&] {
                  f(&c.uplo, &c.n, a.data(), &c.lda, piv, &rank, &tol, work.data(), &info);
                }),
                test::xerbla_text(f == dpstrf ? "DPSTRF" : "DPSTF2", -c.info));
      EXPECT_EQ(info, c.info);
      EXPECT_EQ(rank, -7);
      EXPECT_EQ(piv[0], -5);
      EXPECT_EQ(a, std::vector<double>(9, 1.0));
    }
}

}  // namespace
}  // namespace ztr
