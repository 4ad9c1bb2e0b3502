// The dense block kernels on complex values, single and double precision: the multiplies
// (op 'N', 'T', 'C' on either side), the Hermitian rank-k update and every triangular solve,
// on shapes on both sides of the split form's size switch, against long double loops with
// componentwise bounds; what they must not read or write; calls from several threads at once;
// and failed scratch allocations, which must give the same results and leak nothing.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sparse_solver/dense/dense_blocks.h"
#include "testalloc.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

using Ld = long double;
using Cl = std::complex<long double>;

// A column-major block with `pad` rows of padding below it, filled with random entries of
// the unit square (padding included: it must come back unchanged).
template <typename R>
struct Block {
  int rows, cols, ld;
  std::vector<std::complex<R>> v;
  Block(int r, int c, int pad, std::mt19937& g, R scale = 1)
      : rows(r), cols(c), ld(r + pad), v(static_cast<std::size_t>(r + pad) * c) {
    std::uniform_real_distribution<R> u(-1, 1);
    for (auto& x : v) x = {scale * u(g), scale * u(g)};
  }
  std::complex<R>& operator()(int i, int j) { return v[i + static_cast<std::size_t>(j) * ld]; }
  Cl at(int i, int j) const {
    const auto x = v[i + static_cast<std::size_t>(j) * ld];
    return {x.real(), x.imag()};
  }
  std::complex<R>* p() { return v.data(); }
};

// op(X)(i, j).
template <typename R>
Cl op_at(const Block<R>& x, char t, int i, int j) {
  if (t == 'N') return x.at(i, j);
  return t == 'T' ? x.at(j, i) : std::conj(x.at(j, i));
}

// A rows x cols matrix given entry by entry, in long double with its moduli, for the
// reference sums: row i of X (transposed: x_row) against column j of Y.
struct Reference {
  int rows, cols;
  bool transposed;
  std::vector<Cl> v;
  std::vector<Ld> mag;
  template <typename F>
  Reference(int r, int c, bool by_rows, F entry)
      : rows(r), cols(c), transposed(by_rows), v(static_cast<std::size_t>(r) * c), mag(v.size()) {
    for (int j = 0; j < c; ++j)
      for (int i = 0; i < r; ++i) {
        const std::size_t at =
            by_rows ? j + static_cast<std::size_t>(i) * c : i + static_cast<std::size_t>(j) * r;
        v[at] = entry(i, j);
        mag[at] = std::abs(v[at]);
      }
  }
};
// sum_q X(i, q) Y(q, j) and sum_q |X(i, q)| |Y(q, j)|; X by rows, Y by columns.
void dot(const Reference& x, const Reference& y, int i, int j, Cl* s, Ld* mag) {
  const std::size_t n = x.cols, xi = i * n, yj = j * n;
  Ld sr = 0, si = 0, sm = 0;
  for (std::size_t q = 0; q < n; ++q) {
    const Cl a = x.v[xi + q], b = y.v[yj + q];
    sr += a.real() * b.real() - a.imag() * b.imag();
    si += a.real() * b.imag() + a.imag() * b.real();
    sm += x.mag[xi + q] * y.mag[yj + q];
  }
  *s = {sr, si};
  *mag = sm;
}

// Counts a failure in *bad and prints the first of a case (the children have no test to
// add a failure to).
void fail(int* bad, const std::string& what) {
  if ((*bad)++ == 0) std::printf("%s\n", what.c_str());
}
// An error within its bound (NaN fails).
void within(Ld e, Ld bound, int* bad, const std::string& where) {
  if (!(e <= bound))
    fail(bad, where + ": error " + std::to_string(double(e)) + " bound " +
                  std::to_string(double(bound)));
}
template <typename R>
Ld distance(std::complex<R> got, Cl want) {
  return std::abs(Cl(got.real(), got.imag()) - want);
}

template <typename R>
Ld unit_roundoff() {
  return std::numeric_limits<R>::epsilon() / 2;
}

// block_gemm (nt false: op(A)*B) or block_gemm_nt (op(B)), against the loop; beta = 0 with
// NaN in C (it must not be read).  Returns the entries out of bound.
template <typename R>
int product_case(bool nt, char t, int m, int n, int k, std::complex<R> alpha, std::complex<R> beta,
                 unsigned seed) {
  using C = std::complex<R>;
  std::mt19937 g(seed);
  const char ta = nt ? 'N' : t, tb = nt ? t : 'N';
  Block<R> a(ta == 'N' ? m : k, ta == 'N' ? k : m, 3, g),
      b(tb == 'N' ? k : n, tb == 'N' ? n : k, 2, g), c(m, n, 5, g);
  if (beta == C(0))
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) c(i, j) = C(std::nan(""), 0);
  const Block<R> c0 = c;
  if (nt)
    block_gemm_nt<C>(t, m, n, k, alpha, a.p(), a.ld, b.p(), b.ld, beta, c.p(), c.ld);
  else
    block_gemm<C>(t, m, n, k, alpha, a.p(), a.ld, b.p(), b.ld, beta, c.p(), c.ld);
  const std::string where = std::string(nt ? "gemm_nt " : "gemm ") + t + " " + std::to_string(m) +
                            "x" + std::to_string(n) + "x" + std::to_string(k);
  // |fl(sum) - sum| <= gamma_{k+2} (|alpha| |op(A)| |op(B)| + |beta| |C|), doubled for the
  // complex multiply.
  const Ld u = unit_roundoff<R>(), gam = 2 * (k + 4) * u;
  const Reference opa(m, k, true, [&](int i, int q) { return op_at(a, ta, i, q); });
  const Reference opb(k, n, false, [&](int q, int j) { return op_at(b, tb, q, j); });
  const Ld aa = std::abs(Cl(alpha.real(), alpha.imag())),
           ab = std::abs(Cl(beta.real(), beta.imag()));
  int bad = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < c.ld; ++i) {
      if (i >= m) {  // padding
        if (c(i, j) != c0.v[i + static_cast<std::size_t>(j) * c.ld])
          fail(&bad, where + ": padding written");
        continue;
      }
      Cl s = 0;
      Ld mag = 0;
      if (alpha != C(0)) dot(opa, opb, i, j, &s, &mag);
      Cl want = Cl(alpha.real(), alpha.imag()) * s;
      Ld bound = gam * aa * mag + std::numeric_limits<R>::min();
      if (beta != C(0)) {
        want += Cl(beta.real(), beta.imag()) * c0.at(i, j);
        bound += gam * ab * std::abs(c0.at(i, j));
      }
      within(distance(c(i, j), want), bound, &bad, where);
    }
  return bad;
}

// The lower triangle of C := alpha*A*A^H + beta*C: the strict upper triangle and the padding
// untouched, the diagonal real.
template <typename R>
int rank_case(int n, int k, R alpha, R beta, unsigned seed) {
  using C = std::complex<R>;
  std::mt19937 g(seed);
  Block<R> a(n, k, 4, g), c(n, n, 3, g);
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n && beta == 0; ++i) c(i, j) = C(std::nan(""), 1);
  const Block<R> c0 = c;
  block_syrk_lower<C>(n, k, C(alpha), a.p(), a.ld, C(beta), c.p(), c.ld);
  const std::string where = "herk " + std::to_string(n) + "x" + std::to_string(k);
  const Ld gam = 2 * (k + 4) * unit_roundoff<R>();
  const Reference ra(n, k, true, [&](int i, int q) { return a.at(i, q); });
  const Reference rh(k, n, false, [&](int q, int j) { return std::conj(a.at(j, q)); });
  int bad = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < c.ld; ++i) {
      if (i < j || i >= n) {
        if (c(i, j) != c0.v[i + static_cast<std::size_t>(j) * c.ld])
          fail(&bad, where + ": upper triangle or padding written");
        continue;
      }
      Cl s;
      Ld mag;
      dot(ra, rh, i, j, &s, &mag);
      Cl want = Ld(alpha) * s;
      Ld bound = gam * std::abs(alpha) * mag + std::numeric_limits<R>::min();
      if (beta != 0) {
        want += Ld(beta) * (i == j ? Cl(c0.at(i, j).real()) : c0.at(i, j));
        bound += gam * std::abs(beta) * std::abs(c0.at(i, j));
      }
      if (i == j && c(i, j).imag() != 0) fail(&bad, where + ": diagonal not real");
      within(distance(c(i, j), want), bound, &bad, where);
    }
  return bad;
}

// B := B*inv(op(A)) or inv(op(A))*B, checked by its residual: |op(A)*X - B| (or
// |X*op(A) - B|) <= gamma |op(A)| |X| (componentwise).  The part of A outside its triangle,
// and with diag 'U' its diagonal, is NaN: it must not be read.
template <typename R>
int solve_case(char side, char uplo, char trans, char diag, int m, int n, unsigned seed) {
  using C = std::complex<R>;
  std::mt19937 g(seed);
  const bool left = side == 'L';
  const int p = left ? m : n;
  // Off-diagonal entries of order 1/p keep the solution of the order of B.
  Block<R> a(p, p, 2, g, R(2) / static_cast<R>(p)), b(m, n, 3, g);
  const bool unit = diag == 'U';
  for (int j = 0; j < p; ++j)
    for (int i = 0; i < p; ++i) {
      if (i == j) a(i, j) = unit ? C(std::nan(""), 0) : a(i, j) * R(p) / R(2) + C(1.5, 0.5);
      if (uplo == 'L' ? i < j : i > j) a(i, j) = C(0, std::nan(""));
    }
  const Block<R> b0 = b;
  block_trsm<C>(side, uplo, trans, diag, m, n, a.p(), a.ld, b.p(), b.ld);
  const std::string where = std::string("trsm ") + side + uplo + trans + diag + " " +
                            std::to_string(m) + "x" + std::to_string(n);
  // op(T)(i, j) of the triangle T as it is meant (zeros outside, unit diagonal for 'U').
  auto t_at = [&](int i, int j) -> Cl {
    const int r = trans == 'N' ? i : j, c = trans == 'N' ? j : i;
    if (uplo == 'L' ? r < c : r > c) return 0;
    if (r == c && unit) return 1;
    return trans == 'C' ? std::conj(a.at(r, c)) : a.at(r, c);
  };
  const Ld gam = 4 * (p + 4) * unit_roundoff<R>();
  const Reference rt(p, p, left, t_at);
  const Reference rx(m, n, !left, [&](int i, int j) { return b.at(i, j); });
  int bad = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < b.ld; ++i) {
      if (i >= m) {
        if (b(i, j) != b0.v[i + static_cast<std::size_t>(j) * b.ld])
          fail(&bad, where + ": padding written");
        continue;
      }
      Cl s;
      Ld mag;
      if (left)
        dot(rt, rx, i, j, &s, &mag);
      else
        dot(rx, rt, i, j, &s, &mag);
      within(distance(b0.v[i + static_cast<std::size_t>(j) * b.ld], s),
             gam * mag + std::numeric_limits<R>::min(), &bad, where);
    }
  return bad;
}

template <typename R>
const std::vector<std::pair<std::complex<R>, std::complex<R>>>& scalars() {
  using C = std::complex<R>;
  static const std::vector<std::pair<C, C>> s = {
      {C(-1), C(1)},   {C(1), C(0)},  {C(0.5f, -1.5f), C(-1, 0.25f)},
      {C(1), C(1)},    {C(-1), C(0)}, {C(0), C(-1)},
      {C(2), C(0, 1)}, {C(0), C(0)}};
  return s;
}

template <typename R>
int products(unsigned seed) {
  int bad = 0, index = 0;
  for (int m : {1, 7, 33, 130, 257})
    for (int n : {1, 7, 33, 130})
      for (int k : {1, 7, 33, 130})
        for (const auto& [nt, t] :
             {std::pair{true, 'T'}, std::pair{true, 'C'}, std::pair{false, 'N'},
              std::pair{false, 'T'}, std::pair{false, 'C'}}) {
          const auto& [alpha, beta] = scalars<R>()[index++ % scalars<R>().size()];
          bad += product_case<R>(nt, t, m, n, k, alpha, beta, seed + index);
        }
  return bad;
}

template <typename R>
int rank_updates(unsigned seed) {
  int bad = 0, index = 0;
  const R ab[][2] = {{-1, 1}, {1, 0}, {0.5, -2}, {-1, 0}};
  for (int n : {1, 7, 33, 65, 130, 200})
    for (int k : {1, 7, 33, 130}) {
      const R* s = ab[index++ % 4];
      bad += rank_case<R>(n, k, s[0], s[1], seed + index);
    }
  return bad;
}

template <typename R>
int solves(unsigned seed, std::initializer_list<int> orders, std::initializer_list<int> counts) {
  int bad = 0, index = 0;
  for (char side : {'L', 'R'})
    for (char uplo : {'L', 'U'})
      for (char trans : {'N', 'T', 'C'})
        for (char diag : {'N', 'U'})
          for (int p : orders)
            for (int r : counts) {
              const int m = side == 'L' ? p : r, n = side == 'L' ? r : p;
              bad += solve_case<R>(side, uplo, trans, diag, m, n, seed + index++);
            }
  return bad;
}

TEST(DenseBlocksComplex, MultipliesAgainstTheLoopOnEveryOpAndScalar) {
  EXPECT_EQ(products<double>(100), 0);
  EXPECT_EQ(products<float>(200), 0);
}

TEST(DenseBlocksComplex, HermitianRankKUpdateOfTheLowerTriangle) {
  EXPECT_EQ(rank_updates<double>(300), 0);
  EXPECT_EQ(rank_updates<float>(400), 0);
}

TEST(DenseBlocksComplex, TriangularSolvesOfEverySideTriangleOpAndDiagonal) {
  EXPECT_EQ(solves<double>(500, {1, 7, 33, 130}, {1, 33, 257}), 0);
  EXPECT_EQ(solves<float>(600, {1, 7, 33, 130}, {1, 33, 257}), 0);
}

// The substitution on the diagonal blocks has a variant for the processors without AVX2,
// taken when the library's processor type says so.
ZTR_CHILD(dense_complex_solves_sse2) {
  return solves<double>(550, {33, 130}, {40}) + solves<float>(650, {130}, {40}) != 0;
}

TEST(DenseBlocksComplex, TriangularSolvesOnTheBaselineProcessorType) {
  const auto r = test::run_child("dense_complex_solves_sse2", {"ZTR_DEBUG_CPU_TYPE=2"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

// A few cases of each kernel, large enough for the split form, the first and the last two
// for its thread slices too.
template <typename R>
std::vector<std::function<int()>> battery(unsigned seed) {
  using C = std::complex<R>;
  return {[=] { return product_case<R>(true, 'C', 300, 64, 128, C(-1), C(1), seed); },
          [=] { return product_case<R>(true, 'T', 40, 33, 20, C(1), C(0), seed + 1); },
          [=] { return product_case<R>(false, 'C', 48, 3, 200, C(-1), C(1), seed + 2); },
          [=] { return rank_case<R>(70, 24, R(-1), R(1), seed + 3); },
          [=] { return solve_case<R>('R', 'L', 'C', 'N', 300, 96, seed + 4); },
          [=] { return solve_case<R>('L', 'U', 'T', 'U', 96, 260, seed + 5); }};
}
int run_all(const std::vector<std::function<int()>>& cases) {
  int bad = 0;
  for (const auto& c : cases) bad += c();
  return bad;
}

// Three threads of the caller's own parallel region at once, each on its own blocks.
TEST(DenseBlocksComplex, CallsFromThreadsOfAParallelRegionAtOnce) {
  int bad = 0;
#pragma omp parallel num_threads(3) reduction(+ : bad)
  for (int r = 0; r < 3; ++r)
    bad += run_all(battery<double>(700 + 10 * omp_get_thread_num() + r)) +
           run_all(battery<float>(800 + 10 * omp_get_thread_num() + r));
  EXPECT_EQ(bad, 0);
}

// With the pool off every scratch request reaches the test allocator.  Each allocation of the
// battery is made to fail in turn (on two threads, so that a thread's slice falls back on its
// own): results stay within the bounds and nothing is leaked.
ZTR_CHILD(dense_complex_failures) {
  auto cases = battery<double>(900);
  for (auto& c : battery<float>(950)) cases.push_back(c);
  int bad = run_all(cases);  // one-time allocations first
  const long live = ztr_testalloc_live();
  int hits = 0;
  for (const auto& c : cases)
    for (long k = 1; k < 100; ++k) {
      const long failures = ztr_testalloc_failures();
      ztr_testalloc_fail_nth(k, 0);
      bad += c();
      const bool hit = ztr_testalloc_failures() > failures;
      ztr_testalloc_reset();
      if (!hit) break;
      ++hits;
    }
  std::printf("failed allocations: %d, bad entries: %d, leaked: %ld\n", hits, bad,
              ztr_testalloc_live() - live);
  return bad != 0 || ztr_testalloc_live() != live || hits < 12;
}

TEST(DenseBlocksComplex, FailedScratchAllocationsGiveTheSameResultsAndLeakNothing) {
  const auto r =
      test::run_child("dense_complex_failures", {"ZTR_NUM_THREADS=2", "ZTR_DISABLE_FAST_MM=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

// The block LDL^H of a Hermitian block whose diagonal carries imaginary rounding residue, as
// a block does after the updates of its descendants: small diagonals beside large
// off-diagonal entries make the pivot search take 2x2 pivots.  D must be Hermitian (every
// stored diagonal entry real, 1x1 and 2x2 blocks alike), and L*D*L^H, with D as stored, must
// reproduce the interchanged block with its diagonal's real part.
TEST(DenseBlocksComplex, HermitianBlockLdlKeepsARealDiagonalInEveryPivot) {
  using C = std::complex<double>;
  const int k = 40, len = 90;
  std::mt19937 g(77);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<C> h(static_cast<std::size_t>(len) * len);
  auto H = [&](int i, int j) -> C& { return h[i + static_cast<std::size_t>(j) * len]; };
  for (int j = 0; j < len; ++j) {
    H(j, j) = {0.05 * u(g), 1e-7 * u(g)};  // residue: what the factorization must drop
    for (int i = j + 1; i < len; ++i) H(i, j) = {u(g), u(g)}, H(j, i) = std::conj(H(i, j));
  }
  std::vector<C> a(static_cast<std::size_t>(len) * k), d(k), e(k);
  for (int j = 0; j < k; ++j)
    for (int i = j; i < len; ++i) a[i + static_cast<std::size_t>(j) * len] = H(i, j);
  std::vector<int> ipiv(k);
  int perturbed = 0, pos = 0, neg = 0;
  ASSERT_EQ(block_ldlt<C>(k, len, a.data(), len, ipiv.data(), d.data(), e.data(), 1e-8, nullptr,
                          true, &perturbed, &pos, &neg),
            0);
  int twos = 0;
  for (int j = 0; j < k; ++j) {
    EXPECT_EQ(d[j].imag(), 0.0) << "pivot " << j;
    twos += e[j] != C(0);
  }
  EXPECT_GT(twos, 5);
  EXPECT_EQ(perturbed, 0);
  EXPECT_EQ(pos + neg, k);
  // The rows below as the solver finishes them: * inv(L11)^H, then * inv(D).
  C* below = a.data() + k;
  block_trsm<C>('R', 'L', 'C', 'U', len - k, k, a.data(), len, below, len);
  for (int j = 0; j < k;) {
    C* c1 = below + static_cast<std::size_t>(j) * len;
    if (e[j] == C(0)) {
      for (int i = 0; i < len - k; ++i) c1[i] /= d[j];
      ++j;
      continue;
    }
    const PivotBlock2<C> pivot(d[j], e[j], d[j + 1], true);
    for (int i = 0; i < len - k; ++i) pivot.solve_row(c1[i], c1[i + len], &c1[i], &c1[i + len]);
    j += 2;
  }
  std::vector<int> perm(len);
  for (int i = 0; i < len; ++i) perm[i] = i;
  for (int j = 0; j < k; ++j) std::swap(perm[j], perm[std::abs(ipiv[j]) - 1]);
  auto l = [&](int i, int j) -> C {
    if (i < k && i <= j) return i == j ? C(1) : C(0);
    return a[i + static_cast<std::size_t>(j) * len];
  };
  // D as stored: d on the diagonal, e below it and conj(e) above.
  auto dd = [&](int p, int q) -> C {
    if (p == q) return d[p];
    if (p == q + 1) return e[q];
    return q == p + 1 ? std::conj(e[p]) : C(0);
  };
  double worst = 0;
  for (int j = 0; j < k; ++j)
    for (int i = j; i < len; ++i) {
      C s = 0;
      for (int q = 0; q < k; ++q)
        for (int p = std::max(0, q - 1); p <= std::min(k - 1, q + 1); ++p)
          s += l(i, p) * dd(p, q) * std::conj(l(j, q));
      C want = H(perm[i], perm[j]);
      if (i == j) want = want.real();
      worst = std::max(worst, std::abs(s - want));
    }
  EXPECT_LT(worst, 1e-12);
}

}  // namespace
}  // namespace ztr
