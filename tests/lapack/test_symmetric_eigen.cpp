// The symmetric eigensolver drivers DSYEV, DSYEVD and DSYEVR through one harness: eigenvalues
// against the known spectrum of A = Q*T*Q', ||A*Z - Z*diag(w)|| and ||Z'*Z - I||, for both
// triangles and jobs, across the reductions' and divide and conquer's crossovers, on one and
// two threads, on the spectra that stress them, scaled to the ends of the exponent range;
// DSYEVR's ranges and tolerances; the one- and two-stage reductions; failed scratch
// allocations; workspace answers, argument checks with their texts; the LAPACKE exports'
// layouts, codes and NaN checks.  (Larger orders on more threads: the reduction's and the
// tridiagonal solvers' own tests; the exports' allocation failures: the sweep.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "lapack/ilaenv.h"
#include "lapack/syevd/syevd.h"
#include "lapack/syevr/syevr.h"
#include "lapack/sygv/sygv.h"
#include "testalloc.h"

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

// Scratch that cannot be allocated (the threaded reduction's vectors, the divide and
// conquer's per-thread space) only makes DSYEVD sequential.
TEST(SymmetricEigen, FailedScratchAllocationsStillGiveTheResult) {
  const int n = 120;
  const Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, 4);
  const std::vector<double> a = test::dense_from(t, n, 4);
  const std::vector<long double> oracle(t.d.begin(), t.d.end());
  ZTR_Set_Num_Threads(2);
  int lwork = 1 + 6 * n + 2 * n * n, liwork = 3 + 5 * n, info = 0;  // allocated before arming
  std::vector<double> work(lwork), z = a;
  std::vector<int> iwork(liwork);
  Eigen e{0, n, std::vector<double>(n), {}, {}};
  dsyevd("V", "L", &n, z.data(), &n, e.w.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  z = a;
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_above(static_cast<std::size_t>(n) * 8);
  dsyevd("V", "L", &n, z.data(), &n, e.w.data(), work.data(), &lwork, iwork.data(), &liwork,
         &e.info);
  ztr_testalloc_reset();
  EXPECT_GE(ztr_testalloc_failures() - failures, 2);
  EXPECT_EQ(ztr_testalloc_live(), live);
  e.z = z;
  expect_eigen(Call{Driver::kSyevd, 'V', 'A', 'L', n}, e, a, oracle.data(), n);
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

// Orders 0 and 1 with the smallest workspace, the value interval (vl, vu] open at vl, and
// what the queries answer.
TEST(SymmetricEigen, SmallOrdersAndWorkspaceAnswers) {
  struct Case {
    Driver d;
    char range;
    int n;
    double a, vl;
    int m, lwork, liwork;
    double work0;
  };
  for (const Case& k : {Case{Driver::kSyevd, 'A', 0, -4.5, 0, 0, 1, 1, 1},
                        Case{Driver::kSyevd, 'A', 1, -4.5, 0, 1, 1, 1, 1},
                        Case{Driver::kSyev, 'A', 1, -4.5, 0, 1, 2, 1, 2},
                        Case{Driver::kSyevr, 'A', 1, 5.0, 1, 1, 26, 10, 7},
                        Case{Driver::kSyevr, 'V', 1, 2.0, 1, 1, 26, 10, 7},
                        Case{Driver::kSyevr, 'V', 1, 1.0, 1, 0, 26, 10, 7},
                        Case{Driver::kSyevr, 'A', 0, 0.0, 0, 0, 1, 1, 1}}) {
    SCOPED_TRACE(std::string(name(k.d)) + k.range + " n " + std::to_string(k.n) + " a " +
                 std::to_string(k.a));
    const Call c{k.d, 'V', k.range, 'U', k.n, 1, k.vl, 2.0, 1, 1, 1, k.lwork, k.liwork};
    double a = k.a, w = 0, z = 0;
    std::vector<double> work(k.lwork);
    std::vector<int> isuppz(2), iwork(k.liwork);
    int m = -1;
    EXPECT_EQ(run(c, &a, &w, &z, isuppz.data(), work.data(), iwork.data(), &m), 0);
    EXPECT_EQ(work[0], k.work0);
    EXPECT_EQ(iwork[0], k.d == Driver::kSyevd ? 1 : iwork[0]);
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
      {{ev, 'X', 'A', 'L', 2, 2, 0, 0, 0, 0, 2, 9}, -1},
      {{ev, 'N', 'A', 'X', 2, 2, 0, 0, 0, 0, 2, 9}, -2},
      {{ev, 'v', 'A', 'u', -1, 2, 0, 0, 0, 0, 2, 9}, -3},
      {{ev, 'N', 'A', 'L', 3, 2, 0, 0, 0, 0, 2, 9}, -5},
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
    SCOPED_TRACE(std::string(name(c.d)) + " " + std::to_string(k.expected));
    EXPECT_EQ(info, k.expected);
    if (k.expected == 0) {
      EXPECT_EQ(m, 1);
      continue;
    }
    EXPECT_EQ(out, test::xerbla_text(name(c.d), -k.expected));
    EXPECT_EQ(m, -7);
    EXPECT_EQ(a, std::vector<double>(n * n, 1.0));
    EXPECT_EQ(w, std::vector<double>(n, 3.0));
  }
}

// Row-major input gives the column-major results to the bit (the copy is the same symmetric
// matrix); the row-major padding stays as it was.
TEST(LapackeSymmetricEigen, RowMajorEqualsColumnMajor) {
  const int n = 30, ldr = n + 2, il = 3, iu = 12;
  const Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, 8);
  const std::vector<double> a = test::dense_from(t, n, 8);
  for (bool rrr : {false, true}) {
    const int cols = rrr ? iu - il + 1 : n;
    std::vector<double> ac = a, ar = test::to_rows(n, n, a, n, ldr), wc(n), wr(n);
    std::vector<double> zc(static_cast<std::size_t>(n) * n),
        zr(static_cast<std::size_t>(n) * ldr, -555.0);
    std::vector<int> sc(2 * n), sr(2 * n);
    int mc = 0, mr = 0;
    if (rrr) {
      ASSERT_EQ(LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'I', 'L', n, ac.data(), n, 0, 0, il, iu, 0.0,
                               &mc, wc.data(), zc.data(), n, sc.data()),
                0);
      ASSERT_EQ(LAPACKE_dsyevr(ZTR_ROW_MAJOR, 'v', 'i', 'l', n, ar.data(), ldr, 0, 0, il, iu, 0.0,
                               &mr, wr.data(), zr.data(), ldr, sr.data()),
                0);
      ASSERT_EQ(mr, cols);
    } else {
      ASSERT_EQ(LAPACKE_dsyevd(ZTR_COL_MAJOR, 'V', 'L', n, ac.data(), n, wc.data()), 0);
      ASSERT_EQ(LAPACKE_dsyevd(ZTR_ROW_MAJOR, 'v', 'l', n, ar.data(), ldr, wr.data()), 0);
      zc = ac;
      zr = ar;
    }
    EXPECT_EQ(wc, wr);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < cols; ++j) ASSERT_EQ(zc[i + j * n], zr[i * ldr + j]) << rrr;
      for (int j = n; j < ldr; ++j) ASSERT_EQ(zr[i * ldr + j], -555.0) << rrr;
    }
  }
}

// The layer's own checks (layout, NaNs in the stored triangle and the scalars, row-major
// leading dimensions) with their codes and texts; the drivers' codes move up by one.
TEST(LapackeSymmetricEigen, CodesAndMessages) {
  const int n = 30;
  const std::vector<double> a0 =
      test::dense_from(test::diagonal(n, test::Spectrum::kRandom, 3), n, 3);
  std::vector<double> w(n), z(static_cast<std::size_t>(n) * n);
  std::vector<int> isuppz(2 * n);
  int m = 0;
  const double nan = test::kNaN;
  struct Case {
    bool rrr;
    int layout;
    char jobz, range;
    double vl, vu;
    int il, iu;
    double abstol;
    int lda, ldz, nan_at, code;
    std::string message;
  };
  const std::string parameter = "Wrong parameter ";
  for (const Case& c :
       {Case{true, 103, 'V', 'A', 0, 0, 1, 1, 0, n, n, -1, -1, parameter + "1 in LAPACKE_dsyevr\n"},
        Case{false, 100, 'V', 'A', 0, 0, 1, 1, 0, n, n, -1, -1,
             parameter + "1 in LAPACKE_dsyevd\n"},
        Case{true, ZTR_COL_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n, n, n - 1, 0, ""},  // below: not read
        Case{true, ZTR_COL_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n, n, n * (n - 1), -6, ""},
        Case{false, ZTR_COL_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n, n, n * n - 1, -5, ""},
        Case{true, ZTR_COL_MAJOR, 'V', 'A', 0, 0, 1, 1, nan, n, n, -1, -12, ""},
        Case{true, ZTR_COL_MAJOR, 'V', 'A', nan, nan, 1, 1, 0, n, n, -1, 0, ""},
        Case{true, ZTR_COL_MAJOR, 'V', 'V', nan, 1, 1, 1, 0, n, n, -1, -8, ""},
        Case{true, ZTR_COL_MAJOR, 'V', 'V', 0, nan, 1, 1, 0, n, n, -1, -9, ""},
        Case{true, ZTR_COL_MAJOR, 'V', 'I', 0, 0, 3, 2, 0, n, n, -1, -11,
             test::xerbla_text("DSYEVR", 10)},
        Case{false, ZTR_COL_MAJOR, 'X', 'A', 0, 0, 1, 1, 0, n, n, -1, -2,
             test::xerbla_text("DSYEVD", 1)},
        Case{true, ZTR_ROW_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n - 1, n, -1, -7,
             parameter + "7 in LAPACKE_dsyevr_work\n"},
        Case{false, ZTR_ROW_MAJOR, 'V', 'A', 0, 0, 1, 1, 0, n - 1, n, -1, -6,
             parameter + "6 in LAPACKE_dsyevd_work\n"},
        // ldz is checked against the columns of z whatever jobz is.
        Case{true, ZTR_ROW_MAJOR, 'N', 'I', 0, 0, 2, 6, 0, n, 4, -1, -16,
             parameter + "16 in LAPACKE_dsyevr_work\n"},
        Case{true, ZTR_ROW_MAJOR, 'N', 'I', 0, 0, 2, 6, 0, n, 5, -1, 0, ""}}) {
    std::vector<double> a = a0;
    if (c.nan_at >= 0) a[c.nan_at] = nan;
    int info = 0;
    const std::string out = test::captured([&] {
      info =
          c.rrr ? LAPACKE_dsyevr(c.layout, c.jobz, c.range, 'U', n, a.data(), c.lda, c.vl, c.vu,
                                 c.il, c.iu, c.abstol, &m, w.data(), z.data(), c.ldz, isuppz.data())
                : LAPACKE_dsyevd(c.layout, c.jobz, 'U', n, a.data(), c.lda, w.data());
    });
    EXPECT_EQ(info, c.code) << c.message;
    EXPECT_EQ(out, c.message);
  }
}

}  // namespace
}  // namespace ztr
