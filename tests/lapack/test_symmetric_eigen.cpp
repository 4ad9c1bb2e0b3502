// The symmetric eigensolver drivers DSYEV, DSYEVD and DSYEVR through one harness: eigenvalues
// against the known spectrum of A = Q*T*Q', ||A*Z - Z*diag(w)|| and ||Z'*Z - I||, for both
// triangles and jobs, across the reductions' and divide and conquer's crossovers, on one and
// two threads, on the spectra that stress them, scaled to the ends of the exponent range;
// DSYEVR's ranges and tolerances; the one- and two-stage reductions; failed scratch
// allocations; workspace answers, argument checks with their texts; the LAPACKE exports'
// layouts, codes and NaN checks.  (Larger orders on more threads: the reduction's and the
// tridiagonal solvers' own tests; the exports' allocation failures: the sweep.)  Then the
// generalized symmetric-definite drivers DSYGV and DSYGVD and their exports.

#include <gtest/gtest.h>

#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "lapack/ilaenv.h"
#include "lapack/syevd/syevd.h"
#include "lapack/syevr/syevr.h"
#include "lapack/sygv/sygv.h"
#include "testalloc.h"
#include "blas/level3/level3.h"

namespace ztr {
namespace {

using test::Tridiagonal;
constexpr double kGarbage = 1e30;  // fills what must not be read

enum class Driver { kSyev, kSyevd, kSyevr };
constexpr Driver kDrivers[] = {Driver::kSyev, Driver::kSyevd, Driver::kSyevr};
const char* name(Driver d) {
  return d == Driver::kSyev ? "DSYEV " : d == Driver::kSyevd ? "DSYEVD" : "DSYEVR";
}

struct Call {
  Driver d;
  char jobz = 'V', range = 'A', uplo = 'U';
  int n = 0, lda = 0;
  double vl = 0, vu = 0;
  int il = 0, iu = 0, ldz = 0, lwork = -1, liwork = -1;
  double abstol = 0;
};

struct Eigen {
  int info = -99, m = -7;
  std::vector<double> w, z;  // z: ld n (the vectors, from a or from z)
  std::vector<int> isuppz;
};

// One call of the driver as given (lwork -1: a query); returns info.
int run(const Call& c, double* a, double* w, double* z, int* isuppz, double* work, int* iwork,
        int* m) {
  int info = -99;
  if (c.d == Driver::kSyev)
    dsyev(&c.jobz, &c.uplo, &c.n, a, &c.lda, w, work, &c.lwork, &info);
  else if (c.d == Driver::kSyevd)
    dsyevd(&c.jobz, &c.uplo, &c.n, a, &c.lda, w, work, &c.lwork, iwork, &c.liwork, &info);
  else
    dsyevr(&c.jobz, &c.range, &c.uplo, &c.n, a, &c.lda, &c.vl, &c.vu, &c.il, &c.iu, &c.abstol, m, w,
           z, &c.ldz, isuppz, work, &c.lwork, iwork, &c.liwork, &info);
  return info;
}

// Runs the driver with its queried workspace on the uplo triangle of the full symmetric a
// (ld n); the other triangle and the padding hold garbage, and must still hold it after.
Eigen solve(Call c, const std::vector<double>& a) {
  const int n = c.n;
  c.lda = n + 1;
  c.ldz = n + 2;
  std::vector<double> x(static_cast<std::size_t>(c.lda) * std::max(n, 1), kGarbage);
  auto stored = [&](int i, int j) { return i < n && (c.uplo == 'U' ? i <= j : i >= j); };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      if (stored(i, j)) x[i + j * c.lda] = a[i + j * n];
  Eigen e{-99, -7, std::vector<double>(std::max(n, 1)), {}, std::vector<int>(2 * std::max(n, 1))};
  std::vector<double> z(static_cast<std::size_t>(c.ldz) * std::max(n, 1), -3.0), work(1);
  std::vector<int> iwork(1);
  c.lwork = c.liwork = -1;
  run(c, x.data(), e.w.data(), z.data(), e.isuppz.data(), work.data(), iwork.data(), &e.m);
  c.lwork = std::max(1, static_cast<int>(work[0]));
  c.liwork = std::max(1, iwork[0]);
  work.assign(c.lwork, 0.0);
  iwork.assign(c.liwork, 0);
  e.info = run(c, x.data(), e.w.data(), z.data(), e.isuppz.data(), work.data(), iwork.data(), &e.m);
  if (c.d != Driver::kSyevr) e.m = e.info == 0 ? n : -1;
  const bool vectors_in_a = c.d != Driver::kSyevr && c.jobz == 'V';
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < c.lda; ++i)
      EXPECT_TRUE(stored(i, j) || (i < n && vectors_in_a) || x[i + j * c.lda] == kGarbage)
          << i << "," << j;
  if (c.jobz == 'V')
    for (int j = 0; j < std::max(e.m, 0); ++j)
      for (int i = 0; i < n; ++i) e.z.push_back(vectors_in_a ? x[i + j * c.lda] : z[i + j * c.ldz]);
  return e;
}

// w ascending, against oracle[0..m) (abstol adds itself to the error), and with vectors the
// residual and orthogonality, and for DSYEVR the supports.
void expect_eigen(const Call& c, const Eigen& e, const std::vector<double>& a,
                  const long double* oracle, int m) {
  SCOPED_TRACE(std::string(name(c.d)) + " " + c.jobz + c.range + c.uplo + " n " +
               std::to_string(c.n) + (c.abstol > 0 ? " abstol" : ""));
  const int n = c.n;
  ASSERT_EQ(e.info, 0);
  ASSERT_EQ(e.m, m);
  for (int i = 1; i < m; ++i) ASSERT_LE(e.w[i - 1], e.w[i]);
  const double norm = test::one_norm_diff(n, n, a.data(), n, nullptr, 0);
  const double slack = c.abstol / (norm * n * test::kUnitRoundoff);
  EXPECT_LT(test::value_error(norm, n, e.w.data(), oracle, m), test::kValueBound + slack);
  if (c.jobz == 'N') return;
  EXPECT_LT(test::eigen_residual(n, a, n, e.w.data(), e.z.data(), n, m),
            test::kResidualBound + slack);
  const bool mrrr = c.d == Driver::kSyevr;
  EXPECT_LT(test::orthogonality(n, m, e.z.data(), n),
            mrrr ? test::kMrrrOrthoBound : test::kOrthoBound);
  EXPECT_TRUE(!mrrr || test::supports_cover(n, m, e.z.data(), n, e.isuppz.data()));
}

// Every driver on both triangles and jobs; with `ranges` DSYEVR also on every range (not
// the whole spectrum: bisection and inverse iteration), and with abstol above 2n eps (no
// relative accuracy tried), the value interval's ends well away from any eigenvalue.
void every_driver(const std::vector<double>& a, const std::vector<long double>& oracle,
                  bool ranges) {
  const int n = static_cast<int>(oracle.size());
  const double norm = test::one_norm_diff(n, n, a.data(), n, nullptr, 0);
  int lo = n / 3, hi = 0;
  while (lo + 1 < n && oracle[lo + 1] - oracle[lo] < 1e-3 * norm) ++lo;
  for (hi = std::min(n - 1, lo + n / 3 + 1);
       hi + 1 < n && oracle[hi + 1] - oracle[hi] < 1e-3 * norm;)
    ++hi;
  const double vl = static_cast<double>(0.5L * (oracle[lo] + oracle[lo + 1]));
  const double vu = hi + 1 < n ? static_cast<double>(0.5L * (oracle[hi] + oracle[hi + 1])) : 1e10;
  struct Range {
    char range;
    double vl, vu;
    int il, iu, first, m;
  };
  std::vector<Range> rs{{'A', 0, 0, 0, 0, 0, n}};
  if (ranges)
    rs.insert(rs.end(), {{'I', 0, 0, 2, n - 3, 1, n - 4},
                         {'I', 0, 0, n / 2, n / 2, n / 2 - 1, 1},
                         {'V', vl, vu, 0, 0, lo + 1, hi - lo}});
  for (char uplo : {'U', 'L'})
    for (char jobz : {'V', 'N'}) {
      for (Driver d : {Driver::kSyev, Driver::kSyevd}) {
        const Call c{d, jobz, 'A', uplo, n};
        expect_eigen(c, solve(c, a), a, oracle.data(), n);
      }
      for (double abstol : {0.0, 4 * n * test::kUnitRoundoff * std::max(1.0, norm)}) {
        for (const Range& r : rs) {
          const Call c{Driver::kSyevr, jobz, r.range, uplo, n, 0, r.vl,
                       r.vu,           r.il, r.iu,    0,    0, 0, abstol};
          expect_eigen(c, solve(c, a), a, oracle.data() + r.first, r.m);
        }
        if (!ranges) break;
      }
    }
}

// Across the crossovers: 25/26 (the tridiagonal solver inside divide and conquer), 31/32
// (sequential or threaded reduction), 130 (blocked reduction), on one and two threads, for
// spectra random with a close pair, repeated, and graded.
TEST(SymmetricEigen, EveryDriverAcrossCrossoversAndThreads) {
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    for (int n : {2, 25, 26, 31, 32, 130})
      for (test::Spectrum kind :
           {test::Spectrum::kRandom, test::Spectrum::kRepeated, test::Spectrum::kGraded}) {
        const Tridiagonal t = test::diagonal(n, kind, n);
        SCOPED_TRACE(std::to_string(threads) + " threads, " + t.name);
        every_driver(test::dense_from(t, n, 7 + n), {t.d.begin(), t.d.end()}, false);
      }
  }
  ZTR_Set_Num_Threads(1);
}

// The spectra that stress the drivers, every range.  Two blocks with interleaved spectra
// among them: the tridiagonal splits, and bisection returns the eigenvalues block by block,
// which DSYEVR must sort.
TEST(SymmetricEigen, HardSpectraAndEveryRange) {
  std::vector<Tridiagonal> ts = test::hard_tridiagonals();
  ts.push_back(test::glued(3, 5, 1e-9));
  ts.push_back(test::random_tridiagonal("block_diagonal", 30, 8));
  ts.back().e[14] = 0.0;
  std::uint64_t seed = 100;
  for (const Tridiagonal& t : ts) {
    SCOPED_TRACE(t.name);
    const int split = t.name == "block_diagonal" ? 15 : -1;
    every_driver(test::dense_from(t, t.n(), ++seed, split), test::oracle_eigenvalues(t), true);
  }
}

// A matrix scaled by 2^-1020 or 2^1000 is scaled into range and back: its eigenvalues are
// the unscaled ones times the factor, to rounding, and the vectors stay accurate.
TEST(SymmetricEigen, ScaledToTheEndsOfTheExponentRange) {
  const Tridiagonal t = test::diagonal(60, test::Spectrum::kRandom, 2);
  const std::vector<double> a = test::dense_from(t, 60, 9);
  const std::vector<long double> oracle(t.d.begin(), t.d.end());
  for (double f : {std::ldexp(1.0, -1020), std::ldexp(1.0, 1000)}) {
    std::vector<double> scaled = a;
    for (double& x : scaled) x *= f;
    for (Driver d : kDrivers)
      for (char range : {'A', 'I'}) {
        if (range == 'I' && d != Driver::kSyevr) continue;
        const Call c{d, 'V', range, 'L', 60, 0, 0, 0, 1, 59};
        Eigen e = solve(c, scaled);
        for (double& w : e.w) w /= f;
        expect_eigen(c, e, a, oracle.data(), range == 'A' ? 60 : 59);
      }
  }
}

// A rank-one matrix s*u*u' (|s| = 1) has n - 1 eigenvalues at rounding level, a cluster
// far below the tolerances that separate vectors: inverse iteration must converge on all
// of them (info 0) and give them orthogonal, on every range and both triangles, with the
// smallest absolute tolerance (twice the safe minimum) and the default one.
TEST(SymmetricEigen, ClusteredTinyEigenvaluesOfARankOneMatrix) {
  const double safe_min = std::numeric_limits<double>::min();
  for (int n : {5, 12, 40})
    for (double s : {-1.0, 1.0})
      for (std::uint64_t seed : {1, 2, 3, 4}) {
        test::Rng r(static_cast<test::Rng::result_type>(seed * 100 + n));
        std::vector<double> u(n), a(static_cast<std::size_t>(n) * n);
        double norm2 = 0;
        for (double& x : u) {
          x = test::uniform(r);
          norm2 += x * x;
        }
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i) a[i + j * n] = s * u[i] * u[j] / norm2;
        // The exact eigenvalues of the rounded matrix: s and n - 1 within n eps of zero.
        std::vector<long double> oracle(n, 0.0L);
        (s < 0 ? oracle.front() : oracle.back()) = s;
        const int first_tiny = s < 0 ? 1 : 0;
        const double tiny_top = 100 * n * test::kUnitRoundoff;
        SCOPED_TRACE(testing::Message() << "n " << n << " s " << s << " seed " << seed);
        for (char uplo : {'U', 'L'})
          for (double abstol : {2 * safe_min, 0.0}) {
            struct Range {
              char range;
              double vl, vu;
              int il, iu, first, m;
            };
            for (const Range& g :
                 {Range{'A', 0, 0, 0, 0, 0, n},
                  Range{'V', -1.5, tiny_top, 0, 0, 0, n - 1 + (s < 0)},
                  Range{'V', -tiny_top, tiny_top, 0, 0, first_tiny, n - 1},
                  Range{'I', 0, 0, 1, n, 0, n},
                  Range{'I', 0, 0, first_tiny + 1, first_tiny + n - 1, first_tiny, n - 1},
                  Range{'I', 0, 0, first_tiny + 2, first_tiny + 3, first_tiny + 1, 2}}) {
              const Call c{Driver::kSyevr, 'V',  g.range, uplo, n, 0, g.vl,
                           g.vu,           g.il, g.iu,    0,    0, 0, abstol};
              SCOPED_TRACE(testing::Message() << g.range << " " << g.il << ".." << g.iu);
              expect_eigen(c, solve(c, a), a, oracle.data() + g.first, g.m);
            }
          }
      }
}

// Scratch that cannot be allocated (the threaded reduction's vectors, the divide and
// conquer's per-thread space) only makes DSYEVD sequential.
TEST(SymmetricEigen, FailedScratchAllocationsStillGiveTheResult) {
  const int n = 120;
  const Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, 4);
  const std::vector<double> a = test::dense_from(t, n, 4);
  const std::vector<long double> oracle(t.d.begin(), t.d.end());
  const Call c{Driver::kSyevd, 'V', 'A', 'L', n};
  ZTR_Set_Num_Threads(2);
  solve(c, a);  // settles the one-time state
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(n) * 8);
  const Eigen e = solve(c, a);
  ztr_testalloc_reset();
  EXPECT_GE(ztr_testalloc_failures() - failures, 2);
  EXPECT_EQ(ztr_testalloc_live(), live);
  expect_eigen(c, e, a, oracle.data(), n);
  ZTR_Set_Num_Threads(1);
}

ZTR_CHILD(syev_two_paths) {
  // One thread, jobz 'N', n = 2000: the two-stage reduction when the workspace holds the
  // band, DSYTRD with the minimal workspace.  The eigenvalues of a random symmetric matrix
  // must agree with each other and with the invariants trace(A) and ||A||_F^2.
  const int n = 2000;
  test::Rng r(9);
  test::Matrix a0(static_cast<std::size_t>(n) * n);
  double trace = 0.0, frob = 0.0;
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) {
      const double x = test::at(a0, n, i, j) = test::at(a0, n, j, i) = test::uniform(r);
      trace += i == j ? x : 0.0;
      frob += (i == j ? 1 : 2) * x * x;
    }
  int lwork = -1, info = 0;
  double q = 0.0;
  test::Matrix a = a0;
  std::vector<double> w1(n), w2(n);
  dsyev("N", "L", &n, a.data(), &n, w1.data(), &q, &lwork, &info);
  // Without vectors and past the crossover, the optimum holds the band of the two-stage path.
  const int kd = std::min(ilaenv(1, "DSYRDB", " ", n, 1, -1, -1), n - 1);
  if (info != 0 || q != static_cast<double>((3 * kd + 5) * n)) return 1;
  for (int pass = 0; pass < 2; ++pass) {
    lwork = pass == 0 ? static_cast<int>(q) : 3 * n - 1;
    std::vector<double> work(lwork);
    a = a0;
    dsyev("N", "L", &n, a.data(), &n, (pass == 0 ? w1 : w2).data(), work.data(), &lwork, &info);
    if (info != 0) return 2;
  }
  const double norm = std::sqrt(frob), unit = n * test::kEps;  // norm bounds ||A||_2
  double diff = 0.0, sum = 0.0, sum2 = 0.0;
  for (int i = 0; i < n; ++i) {
    diff = std::max(diff, std::fabs(w1[i] - w2[i]));
    sum += w1[i];
    sum2 += w1[i] * w1[i];
  }
  if (!(diff / (norm * unit) < test::kValueBound)) return 3;
  if (!(std::fabs(sum - trace) / (norm * unit) < test::kValueBound)) return 4;
  return std::fabs(sum2 - frob) / (frob * unit) < test::kValueBound ? 0 : 5;
}

TEST(SymmetricEigen, OneAndTwoStageReductionsAgree) {
  const auto r = test::run_child("syev_two_paths", {"ZTR_NUM_THREADS=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

// Orders 0 and 1 with the smallest workspace (DSYEV's order 1: through the generalized
// drivers), and the value interval (vl, vu] open at vl.
TEST(SymmetricEigen, SmallOrders) {
  struct Case {
    Driver d;
    char range;
    int n, m, lwork, liwork;
    double a, vl;
  };
  for (const Case& k : {Case{Driver::kSyevd, 'A', 0, 0, 1, 1, -4.5, 0},
                        Case{Driver::kSyevd, 'A', 1, 1, 1, 1, -4.5, 0},
                        Case{Driver::kSyevr, 'A', 1, 1, 26, 10, 5.0, 1},
                        Case{Driver::kSyevr, 'V', 1, 1, 26, 10, 2.0, 1},
                        Case{Driver::kSyevr, 'V', 1, 0, 26, 10, 1.0, 1},
                        Case{Driver::kSyevr, 'A', 0, 0, 1, 1, 0.0, 0}}) {
    SCOPED_TRACE(testing::Message() << name(k.d) << k.range << " n " << k.n << " a " << k.a);
    const Call c{k.d, 'V', k.range, 'U', k.n, 1, k.vl, 2.0, 1, 1, 1, k.lwork, k.liwork};
    double a = k.a, w = 0, z = 0;
    std::vector<double> work(k.lwork);
    std::vector<int> isuppz(2), iwork(k.liwork);
    int m = -1;
    EXPECT_EQ(run(c, &a, &w, &z, isuppz.data(), work.data(), iwork.data(), &m), 0);
    EXPECT_EQ(m, k.d == Driver::kSyevr ? k.m : -1);
    if (k.n == 0) continue;
    EXPECT_EQ(k.d == Driver::kSyevr ? z : a, 1.0);
    EXPECT_EQ(w, k.m == 1 ? k.a : w);
    EXPECT_TRUE(k.d != Driver::kSyevr || k.range == 'V' || (isuppz[0] == 1 && isuppz[1] == 1));
  }
}

// Checks in order, each reported with its position and the routine's name, touching nothing;
// il = iu is a valid index range.
TEST(SymmetricEigen, ArgumentChecks) {
  const Driver ev = Driver::kSyev, evd = Driver::kSyevd, evr = Driver::kSyevr;
  struct Case {
    Call c;
    int expected;
  };
  const int n = 10, lw = 26 * n, liw = 10 * n;  // enough for every driver
  const Case cases[] = {
      {{ev, 'V', 'A', 'L', 3, 3, 0, 0, 0, 0, 2, 7}, -8},
      {{evd, 'X', 'A', 'U', n, n, 0, 0, 0, 0, n, 300, 60}, -1},
      {{evd, 'V', 'A', 'X', n, n, 0, 0, 0, 0, n, 300, 60}, -2},
      {{evd, 'V', 'A', 'U', -1, n, 0, 0, 0, 0, n, 300, 60}, -3},
      {{evd, 'V', 'A', 'U', n, n - 1, 0, 0, 0, 0, n, 300, 60}, -5},
      {{evd, 'V', 'A', 'U', n, n, 0, 0, 0, 0, n, 260, 60}, -8},   // 'V': 1 + 6n + 2n^2
      {{evd, 'N', 'A', 'L', n, n, 0, 0, 0, 0, n, 20, 1}, -8},     // 'N': 2n + 1
      {{evd, 'v', 'A', 'l', n, n, 0, 0, 0, 0, n, 261, 52}, -10},  // 3 + 5n
      {{evr, 'X', 'A', 'U', n, n, 0, 0, 1, 1, n, lw, liw}, -1},
      {{evr, 'V', 'X', 'U', n, n, 0, 0, 1, 1, n, lw, liw}, -2},
      {{evr, 'V', 'A', 'X', n, n, 0, 0, 1, 1, n, lw, liw}, -3},
      {{evr, 'V', 'A', 'U', -1, n, 0, 0, 1, 1, n, lw, liw}, -4},
      {{evr, 'V', 'A', 'U', n, n - 1, 0, 0, 1, 1, n, lw, liw}, -6},
      {{evr, 'V', 'V', 'U', n, n, 2, 2, 1, 1, n, lw, liw}, -8},
      {{evr, 'V', 'I', 'U', n, n, 0, 0, 0, 1, n, lw, liw}, -9},
      {{evr, 'V', 'I', 'U', n, n, 0, 0, 3, 2, n, lw, liw}, -10},
      {{evr, 'V', 'I', 'U', n, n, 0, 0, 3, 3, n, lw, liw}, 0},
      {{evr, 'V', 'A', 'U', n, n, 0, 0, 1, 1, n - 1, lw, liw}, -15},
      {{evr, 'V', 'A', 'U', n, n, 0, 0, 1, 1, n, lw - 1, liw}, -18},
      {{evr, 'V', 'A', 'U', n, n, 0, 0, 1, 1, n, lw, liw - 1}, -20},
  };
  for (const Case& k : cases) {
    const Call& c = k.c;
    std::vector<double> a(n * n, 1.0), w(n, 3.0), z(n * n), work(300);
    std::vector<int> isuppz(2 * n), iwork(liw);
    int m = -7, info = 0;
    const std::string out = test::captured([&] {
      info = run(c, a.data(), w.data(), z.data(), isuppz.data(), work.data(), iwork.data(), &m);
    });
    EXPECT_EQ(info, k.expected) << name(c.d);
    EXPECT_EQ(out, k.expected == 0 ? "" : test::xerbla_text(name(c.d), -k.expected));
    EXPECT_EQ(m, k.expected == 0 ? 1 : -7) << name(c.d) << k.expected;  // il = iu: one value
    EXPECT_TRUE(k.expected == 0 ||
                (a == std::vector<double>(n * n, 1.0) && w == std::vector<double>(n, 3.0)))
        << name(c.d) << k.expected;
  }
}

// Row-major input gives the column-major results to the bit (the copy is the same symmetric
// matrix); the row-major padding stays as it was.
TEST(LapackeSymmetricEigen, RowMajorEqualsColumnMajor) {
  const int n = 30, ldr = n + 2, il = 3, iu = 12;
  const std::vector<double> a =
      test::dense_from(test::diagonal(n, test::Spectrum::kRandom, 8), n, 8);
  for (bool rrr : {false, true}) {
    std::vector<double> ac = a, ar = test::to_rows(n, n, a, n, ldr), wc(n), wr(n);
    std::vector<double> zc(static_cast<std::size_t>(n) * n),
        zr(static_cast<std::size_t>(n) * ldr, -555.0);
    std::vector<int> isuppz(2 * n);
    int m = 0;
    // Row-major with lower-case letters.
    auto call = [&](int layout, double* x, int ld, double* w, double* z) {
      const bool row = layout == ZTR_ROW_MAJOR;
      return rrr ? LAPACKE_dsyevr(layout, row ? 'v' : 'V', row ? 'i' : 'I', row ? 'l' : 'L', n, x,
                                  ld, 0, 0, il, iu, 0.0, &m, w, z, ld, isuppz.data())
                 : LAPACKE_dsyevd(layout, row ? 'v' : 'V', row ? 'l' : 'L', n, x, ld, w);
    };
    ASSERT_EQ(call(ZTR_COL_MAJOR, ac.data(), n, wc.data(), zc.data()), 0);
    ASSERT_EQ(call(ZTR_ROW_MAJOR, ar.data(), ldr, wr.data(), zr.data()), 0);
    if (!rrr) zc = ac, zr = ar;
    EXPECT_EQ(m, rrr ? iu - il + 1 : 0);
    EXPECT_EQ(wc, wr);
    EXPECT_EQ(test::layout_difference(n, rrr ? m : n, zc, n, zr, ldr), 0.0) << rrr;
  }
}

// The layer's own checks (layout, row-major leading dimensions, NaNs in the stored triangle
// and the scalars) with their codes and texts; the drivers' codes move up by one.
TEST(LapackeSymmetricEigen, CodesAndMessages) {
  const int n = 30, C = ZTR_COL_MAJOR, R = ZTR_ROW_MAJOR;
  const double nan = test::kNaN;
  const std::vector<double> a0 =
      test::dense_from(test::diagonal(n, test::Spectrum::kRandom, 3), n, 3);
  std::vector<double> a, w(n), z(static_cast<std::size_t>(n) * n);
  std::vector<int> isuppz(2 * n);
  int m = 0;
  auto with_nan = [&](int at) {  // a fresh copy of a0, with a NaN at `at` (-1: none)
    a = a0;
    if (at >= 0) a[at] = nan;
    return a.data();
  };
  auto evr = [&](int layout, char jobz, char range, int nan_at, int lda, double vl, double vu,
                 int il, int iu, double abstol, int ldz) {
    return LAPACKE_dsyevr(layout, jobz, range, 'U', n, with_nan(nan_at), lda, vl, vu, il, iu,
                          abstol, &m, w.data(), z.data(), ldz, isuppz.data());
  };
  auto evd = [&](int layout, char jobz, int nan_at, int lda) {
    return LAPACKE_dsyevd(layout, jobz, 'U', n, with_nan(nan_at), lda, w.data());
  };
  const std::string wrong = "Wrong parameter ";
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(evr(103, 'V', 'A', -1, n, 0, 0, 1, 1, 0, n), -1);
              EXPECT_EQ(evd(100, 'V', -1, n), -1);
              EXPECT_EQ(evr(R, 'V', 'A', -1, n - 1, 0, 0, 1, 1, 0, n), -7);
              EXPECT_EQ(evd(R, 'V', -1, n - 1), -6);
              // ldz is checked against the columns of z whatever jobz is.
              EXPECT_EQ(evr(R, 'N', 'I', -1, n, 0, 0, 2, 6, 0, 4), -16);
              EXPECT_EQ(evr(R, 'N', 'I', -1, n, 0, 0, 2, 6, 0, 5), 0);
              EXPECT_EQ(evr(C, 'V', 'I', -1, n, 0, 0, 3, 2, 0, n), -11);
              EXPECT_EQ(evd(C, 'X', -1, n), -2);
            }),
            wrong + "1 in LAPACKE_dsyevr\n" + wrong + "1 in LAPACKE_dsyevd\n" + wrong +
                "7 in LAPACKE_dsyevr_work\n" + wrong + "6 in LAPACKE_dsyevd_work\n" + wrong +
                "16 in LAPACKE_dsyevr_work\n" + test::xerbla_text("DSYEVR", 10) +
                test::xerbla_text("DSYEVD", 1));
  // NaNs in the stored triangle (not below it), in abstol, and in vl or vu for range 'V'
  // only: nothing printed.
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(evr(C, 'V', 'A', n - 1, n, 0, 0, 1, 1, 0, n), 0);
              EXPECT_EQ(evr(C, 'V', 'A', n * (n - 1), n, 0, 0, 1, 1, 0, n), -6);
              EXPECT_EQ(evd(C, 'V', n * n - 1, n), -5);
              EXPECT_EQ(evr(C, 'V', 'A', -1, n, 0, 0, 1, 1, nan, n), -12);
              EXPECT_EQ(evr(C, 'V', 'A', -1, n, nan, nan, 1, 1, 0, n), 0);
              EXPECT_EQ(evr(C, 'V', 'V', -1, n, nan, 1, 1, 1, 0, n), -8);
              EXPECT_EQ(evr(C, 'V', 'V', -1, n, 0, nan, 1, 1, 0, n), -9);
            }),
            "");
}

// The generalized symmetric-definite eigenproblem, DSYGV and DSYGVD and their LAPACKE
// exports: for every itype, triangle and job, the residual of the problem, B-orthonormality
// of the vectors and the eigenvalues against a spectrum built in; the small cases, a B that
// is not positive definite, argument errors with their texts and LAPACKE codes, the
// workspace queries and the row-major layout (allocation failures and leaks: the sweep).
namespace definite {

using namespace ztr::test;
constexpr double kBound = 30.0;  // the usual LAPACK test threshold on scaled ratios

// B = F*F' with F lower triangular, dense and well conditioned, G = inv(F), C with the
// eigenvalues lambda, and A = F*C*F' (itype 1) or G'*C*G (itypes 2 and 3), so that lambda
// are the eigenvalues in every case.
struct Problem {
  int n;
  Matrix a, b, b_inverse;
  std::vector<double> lambda;  // ascending
};

Problem make_problem(int itype, int n, std::uint64_t seed) {
  const test::Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, seed);
  const Matrix c = test::dense_from(t, n, seed);
  test::Rng r(static_cast<test::Rng::result_type>(seed + 1));
  Matrix f(static_cast<std::size_t>(n) * n, 0.0), g = f;
  for (int j = 0; j < n; ++j) {
    at(f, n, j, j) = 1.5 + 0.5 * test::uniform(r);
    at(g, n, j, j) = 1.0;
    for (int i = j + 1; i < n; ++i) at(f, n, i, j) = test::uniform(r) / n;
  }
  const double one = 1.0;
  ztr_blas_dtrsm("L", "L", "N", "N", &n, &n, &one, f.data(), &n, g.data(), &n);
  Problem p{n, {}, mul(n, f, false, f, true), mul(n, g, true, g, false), t.d};
  p.a = itype == 1 ? mul(n, mul(n, f, false, c, false), false, f, true)
                   : mul(n, mul(n, g, true, c, false), false, g, false);
  for (int j = 0; j < n; ++j)  // exactly symmetric
    for (int i = j + 1; i < n; ++i) at(p.a, n, j, i) = at(p.a, n, i, j);
  return p;
}

// The problem's residual for the computed pairs (A*Z - B*Z*W, A*B*Z - Z*W or B*A*Z - Z*W),
// and ||Z'*M*Z - I|| with M = B (itypes 1, 2) or inv(B) (itype 3), scaled by n*eps and the
// sizes involved.
void expect_solution(int itype, const Problem& p, const Matrix& z, const std::vector<double>& w) {
  const int n = p.n;
  Matrix lhs = itype == 1   ? mul(n, p.a, false, z, false)
               : itype == 2 ? mul(n, p.a, false, mul(n, p.b, false, z, false), false)
                            : mul(n, p.b, false, mul(n, p.a, false, z, false), false);
  const Matrix rhs = itype == 1 ? mul(n, p.b, false, z, false) : z;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) at(lhs, n, i, j) -= rhs[i + static_cast<std::size_t>(j) * n] * w[j];
  EXPECT_LT(max_abs(lhs) / (max_abs(p.a) * max_abs(z) * n * n * test::kEps), kBound);
  Matrix g = mul(n, z, true, mul(n, itype == 3 ? p.b_inverse : p.b, false, z, false), false);
  for (int i = 0; i < n; ++i) at(g, n, i, i) -= 1.0;
  EXPECT_LT(max_abs(g) / (n * test::kEps * std::max(1.0, max_abs(z) * max_abs(z) * n)), kBound);
}

enum class Driver { kSygv, kSygvd };

int call(Driver d, int itype, char jobz, char uplo, int n, double* a, int lda, double* b, int ldb,
         double* w, double* work, int lwork, int* iwork, int liwork) {
  int info = -99;
  if (d == Driver::kSygv)
    dsygv(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work, &lwork, &info);
  else
    dsygvd(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work, &lwork, iwork, &liwork, &info);
  return info;
}

// One driver with its queried workspace.
int solve(Driver d, int itype, char jobz, char uplo, int n, double* a, double* b, double* w) {
  double wq = 0.0;
  int iq = 0;
  const int lda = std::max(1, n);
  const int info = call(d, itype, jobz, uplo, n, a, lda, b, lda, w, &wq, -1, &iq, -1);
  if (info != 0) return info;
  std::vector<double> work(std::max(1, static_cast<int>(wq)));
  std::vector<int> iwork(std::max(1, iq));
  return call(d, itype, jobz, uplo, n, a, lda, b, lda, w, work.data(),
              static_cast<int>(work.size()), iwork.data(), static_cast<int>(iwork.size()));
}

TEST(Sygv, EveryItypeTriangleAndJobSolvesTheProblem) {
  for (Driver d : {Driver::kSygv, Driver::kSygvd})
    for (int itype : {1, 2, 3})
      for (int n : {5, 90}) {
        const Problem p = make_problem(itype, n, static_cast<std::uint64_t>(itype * 100 + n));
        for (char uplo : {'L', 'U'})
          for (char jobz : {'V', 'N'}) {
            SCOPED_TRACE(testing::Message() << int(d) << " itype " << itype << uplo << jobz << n);
            Matrix a = p.a, b = p.b;
            std::vector<double> w(n);
            ASSERT_EQ(solve(d, itype, jobz, uplo, n, a.data(), b.data(), w.data()), 0);
            EXPECT_LT(test::value_error(max_abs(p.lambda), n, w.data(), p.lambda.data(), n) / 2,
                      kBound);
            if (jobz == 'V') expect_solution(itype, p, a, w);
          }
      }
}

TEST(Sygv, SmallOrdersABNotPositiveDefiniteAndArgumentErrors) {
  const Problem p = make_problem(1, 4, 3);
  for (Driver d : {Driver::kSygv, Driver::kSygvd}) {
    const bool divide = d == Driver::kSygvd;
    for (char jobz : {'N', 'V'}) {
      double a = 8.0, b = 4.0, w = 0.0;
      EXPECT_EQ(solve(d, 1, jobz, 'U', 1, &a, &b, &w), 0);
      EXPECT_EQ(w, 2.0);
      EXPECT_EQ(b, 2.0);  // the Cholesky factor
      EXPECT_EQ(a, jobz == 'V' ? 0.5 : a);
    }
    double dummy = 0.0;  // n = 0: nothing to do
    EXPECT_EQ(solve(d, 1, 'V', 'L', 0, &dummy, &dummy, &dummy), 0);
    // B not positive definite at order 1 and at order 3: n + k, a untouched.
    for (int k : {1, 3}) {
      const Problem q = make_problem(1, 6, 7);
      Matrix a = q.a, b = q.b;
      at(b, 6, k - 1, k - 1) = -1.0;
      std::vector<double> w(6, -7.0);
      EXPECT_EQ(solve(d, 2, 'V', 'L', 6, a.data(), b.data(), w.data()), 6 + k);
      EXPECT_EQ(a, q.a);
    }
    struct Case {
      int itype;
      char jobz, uplo;
      int n, lda, ldb, lwork, liwork, info;
    };
    const int big = 1000;
    for (Case c :
         {Case{0, 'V', 'U', 4, 4, 4, big, big, -1}, Case{4, 'N', 'L', 4, 4, 4, big, big, -1},
          Case{1, 'X', 'U', 4, 4, 4, big, big, -2}, Case{2, 'V', 'X', 4, 4, 4, big, big, -3},
          Case{3, 'n', 'u', -1, 4, 4, big, big, -4}, Case{1, 'V', 'L', 4, 3, 4, big, big, -6},
          Case{1, 'V', 'L', 4, 4, 3, big, big, -8}, Case{1, 'V', 'L', 4, 4, 4, 1, big, -11},
          Case{1, 'V', 'L', 4, 4, 4, big, 1, divide ? -13 : 0}}) {
      if (c.info == 0) continue;
      Matrix a = p.a, b = p.b;
      std::vector<double> w(4, -7.0), work(big, 0.0);
      std::vector<int> iwork(big, 0);
      int info = 0;
      EXPECT_EQ(test::captured([&] {
                  info = call(d, c.itype, c.jobz, c.uplo, c.n, a.data(), c.lda, b.data(), c.ldb,
                              w.data(), work.data(), c.lwork, iwork.data(), c.liwork);
                }),
                test::xerbla_text(divide ? "DSYGVD" : "DSYGV ", -c.info));
      EXPECT_EQ(info, c.info);
      EXPECT_EQ(a, p.a);
      EXPECT_EQ(b, p.b);
      EXPECT_EQ(w[0], -7.0);
    }
  }
}

using Export = int (*)(int, int, char, char, int, double*, int, double*, int, double*);

// When the QL/QR iteration fails (a NaN in the trailing block of A never converges; the
// leading tridiagonal block converges first), DSYGV maps back the first info - 1 vectors and
// leaves the others as the standard eigensolver returned them.  With B = 4I a mapped vector
// has norm 1/2, an unmapped one norm 1.
TEST(Sygv, VectorsAfterAnEigensolverFailure) {
  const int n = 6;
  for (char uplo : {'L', 'U'}) {
    // Both triangles set: tridiagonal blocks d, e and (1, NaN, 1) with couplings 1.
    Matrix a(n * n, 0.0), b(n * n, 0.0);
    const double d[n] = {2.0, -1.0, 3.0, 1.0, test::kNaN, 1.0}, e[n - 1] = {1.0, 0.5, 0, 1, 1};
    for (int i = 0; i < n; ++i) {
      at(b, n, i, i) = 4.0, at(a, n, i, i) = d[i];
      if (i + 1 < n) at(a, n, i + 1, i) = at(a, n, i, i + 1) = e[i];
    }
    std::vector<double> w(n);
    const int info = solve(Driver::kSygv, 1, 'V', uplo, n, a.data(), b.data(), w.data());
    ASSERT_GT(info, 1);
    ASSERT_LE(info, 3);  // at least one converged vector of the leading block left unmapped
    // The leading block's pairs solve (A/4) z = w z there; their norms over all rows.
    const std::vector<double> block = {d[0] / 4, e[0] / 4, 0,        e[0] / 4, d[1] / 4,
                                       e[1] / 4, 0,        e[1] / 4, d[2] / 4};
    EXPECT_LT(test::eigen_residual(3, block, 3, w.data(), a.data(), n, 3), test::kResidualBound);
    for (int j = 0; j < 3; ++j) {
      double norm2 = 0.0;
      for (int i = 0; i < n; ++i) norm2 += at(a, n, i, j) * at(a, n, i, j);
      EXPECT_NEAR(std::sqrt(norm2), j < info - 1 ? 0.5 : 1.0, 1e-14) << uplo << j;
    }
  }
}

TEST(LapackeSygv, CodesLayoutsAndResults) {
  const int n = 30;
  const Problem p = make_problem(2, n, 5);
  for (Export f : {&LAPACKE_dsygv, &LAPACKE_dsygvd}) {
    const std::string name = f == &LAPACKE_dsygv ? "LAPACKE_dsygv" : "LAPACKE_dsygvd";
    SCOPED_TRACE(name);
    struct Case {
      int layout, itype, lda, ldb, nan_in_a, nan_in_b, code;
      std::string message;
    };
    for (const Case& c :
         {Case{100, 2, n, n, -1, -1, -1, "Wrong parameter 1 in " + name + "\n"},
          // NaNs in either triangle: a's is -6, b's -8, nothing printed.
          Case{ZTR_COL_MAJOR, 2, n, n, n * (n - 1), -1, -6, ""},
          Case{ZTR_ROW_MAJOR, 2, n, n, -1, n - 1, -8, ""},
          Case{ZTR_ROW_MAJOR, 2, n - 1, n, -1, -1, -7, "Wrong parameter 7 in " + name + "_work\n"},
          Case{ZTR_ROW_MAJOR, 2, n, n - 1, -1, -1, -9, "Wrong parameter 9 in " + name + "_work\n"},
          // A bad itype is the driver's parameter 1, the export's 2.
          Case{ZTR_COL_MAJOR, 0, n, n, -1, -1, -2,
               test::xerbla_text(name == "LAPACKE_dsygv" ? "DSYGV " : "DSYGVD", 1)}}) {
      Matrix a = p.a, b = p.b;
      std::vector<double> w(n);
      if (c.nan_in_a >= 0) a[c.nan_in_a] = test::kNaN;
      if (c.nan_in_b >= 0) b[c.nan_in_b] = test::kNaN;
      int info = 0;
      EXPECT_EQ(test::captured([&] {
                  info =
                      f(c.layout, c.itype, 'V', 'L', n, a.data(), c.lda, b.data(), c.ldb, w.data());
                }),
                c.message);
      EXPECT_EQ(info, c.code);
    }
    // Row-major input of the same symmetric matrices gives the transposed vectors.
    Matrix a = p.a, b = p.b, ar = p.a, br = p.b;
    std::vector<double> w(n), wr(n);
    ASSERT_EQ(f(ZTR_COL_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), 0);
    ASSERT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, ar.data(), n, br.data(), n, wr.data()), 0);
    EXPECT_EQ(w, wr);
    EXPECT_EQ(test::layout_difference(n, n, a, n, ar, n), 0.0);
  }
}

}  // namespace definite

}  // namespace
}  // namespace ztr
