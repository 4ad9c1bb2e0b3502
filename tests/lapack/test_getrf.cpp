// LU factorization: the leaf's pivot and scaling rules, the argument checks, and every path
// of the driver (forced by size, thread count and direct entry) against matrices whose
// pivots and factors are known exactly; the inverse from the factors and the triangular
// inverse; and the LAPACKE exports of both.
#include <gtest/gtest.h>

#include <sched.h>
#include <tuple>

#include "lapack/getrf/getrf.h"
#include "lu_matrices.h"
#include "error_text.h"
#include "service/threads.h"
#include "testalloc.h"
#include "lapack/getri/getri.h"
#include "blas/gemm/gemm.h"
#include "tests/blas/typed_reference.h"
#include "include/ztr.h"

namespace ztr {
namespace {

using namespace ztr::test;

// The leaf on the m x n a (ld m): info and the pivots.
std::pair<int, std::vector<int>> getf2(int m, int n, std::vector<double>& a) {
  std::pair<int, std::vector<int>> r{-5, std::vector<int>(std::min(m, n))};
  ztr_lapack_dgetf2(m, n, a.data(), m, r.second.data(), &r.first);
  return r;
}

// Ties and zero pivots: the known factors on every path below.
TEST(Dgetf2, TinyAndNaNPivots) {
  // A pivot below the safe minimum: dividing gives the exact multiplier where multiplying by
  // the overflowing reciprocal would give infinity.
  std::vector<double> a = {4e-310, 2e-310, /**/ 1, 1};
  EXPECT_EQ(getf2(2, 2, a).first, 0);
  EXPECT_EQ(a[1], 0.5);
  // A NaN is not a zero pivot: it is used.
  a = {kNaN, 1, 2, /**/ 1, 2, 3};
  const auto [info, ipiv] = getf2(3, 2, a);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ipiv[0], 1);
  EXPECT_TRUE(std::isnan(a[1]));
}

// ---- every path, in child processes with a fixed thread count ------------------------------

using Entry = bool (*)(int m, int n, double* a, int lda, int* ipiv, int* info);

bool via_dgetrf(int m, int n, double* a, int lda, int* ipiv, int* info) {
  dgetrf(&m, &n, a, &lda, ipiv, info);
  return false;
}
bool via_lookahead(int m, int n, double* a, int lda, int* ipiv, int* info) {
  return ztr_lapack_dgetrf_ib(m, n, a, lda, ipiv, info);
}
template <int Nb>
bool via_scheduler(int m, int n, double* a, int lda, int* ipiv, int* info) {
  return ztr_lapack_dgetrf_sched(m, n, a, lda, ipiv, info, Nb, domain_max_threads(kDomainAll));
}

// Factors one known matrix (in a child: failures are reported by its exit code).
void check_known(Entry entry, const char* what, int m, int n, std::uint64_t seed,
                 const std::set<int>& zeros = {}) {
  std::set<int> ties;
  for (int j : {1, 2, 9, 17, 33, 65, 97, 129, 130, 193})
    if (zeros.count(j) == 0) ties.insert(j);
  KnownLu k = make_known_lu(m, n, 3, seed, ties, zeros);
  std::vector<int> ipiv(std::min(m, n), 0);
  int info = -99;
  entry(m, n, k.a.data(), k.lda, ipiv.data(), &info);
  SCOPED_TRACE(testing::Message() << what << " " << m << "x" << n << " seed " << seed);
  EXPECT_EQ(info, zeros.empty() ? 0 : *zeros.begin());
  EXPECT_EQ(ipiv, k.ipiv);
  EXPECT_TRUE(k.a == k.lu) << "wrong factors";
}

// Square, tall and wide shapes on both sides of the 64-column crossover and of the blocks.
void battery(Entry entry, const char* what,
             std::initializer_list<std::pair<int, int>> shapes = {
                 {1, 1}, {7, 5}, {40, 40}, {200, 200}, {300, 150}, {150, 300}, {131, 257}}) {
  std::uint64_t seed = 1;
  for (auto [m, n] : shapes) check_known(entry, what, m, n, ++seed);
}

ZTR_CHILD(lu_every_entry) {
  battery(via_dgetrf, "dgetrf");
  battery(via_lookahead, "look-ahead");
  battery(via_scheduler<16>, "scheduler nb 16", {{200, 200}, {260, 100}, {100, 330}});
  // A zero pivot inside a later panel and one in the part factored after the parallel phase.
  for (Entry e : {via_dgetrf, via_lookahead, via_scheduler<16>}) {
    check_known(e, "zero pivot", 200, 200, 77, {40, 90, 195});
    check_known(e, "zero pivot", 150, 400, 78, {150});
  }
  return ::testing::Test::HasFailure();
}

ZTR_CHILD(lu_static_zone) {
  // Wide enough (n >= 900) for the tuning to give the scheduler a static zone and a short
  // tail with two threads; with five threads on a low processor class, everything static.
  battery(via_scheduler<32>, "scheduler nb 32", {{200, 1000}});
  battery(via_dgetrf, "dgetrf", {{130, 960}});
  return ::testing::Test::HasFailure();
}

// The scheduler's state is the call's first allocation.
ZTR_CHILD(lu_scheduler_state_fails) {
  const KnownLu k = make_known_lu(300, 300, 0, 5, {1, 65});
  std::vector<double> a;
  std::vector<int> ipiv(300);
  int info = 0;
  return survives_allocation_failure(
      [&] { a = k.a, via_dgetrf(300, 300, a.data(), 300, ipiv.data(), &info); },
      [&] { return info == 0 && ipiv == k.ipiv && a == k.lu; });
}

// The scheduled LU when a thread's own blocks are taken by another: all threads on one
// processor, so that each regularly loses it in the middle of its work and the others find
// its blocks ready.  Whoever updates or factors a block, the factors and pivots are the known
// ones, bit for bit.
ZTR_CHILD(lu_late_owner) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) return 100;
  // 1000 columns of 32: a static zone of chunks beside a short tail; 330 x 700 is wide, with
  // rows left over below the last panel.  A zero pivot in a later panel.
  for (auto [m, n, zero] : {std::tuple{200, 1000, 0}, {330, 700, 0}, {400, 1000, 150}})
    for (std::uint64_t seed : {11, 12, 13})
      check_known(via_scheduler<32>, "late owner", m, n, seed,
                  zero != 0 ? std::set<int>{zero} : std::set<int>{});
  return ::testing::Test::HasFailure();
}

// One thread: the serial recursion only.  Two and three threads: the scheduler (its tail
// zone at these sizes), the look-ahead path, the leaf; with five threads on a low processor
// class everything static.  The scheduler's state cannot be allocated: the look-ahead path.
TEST(Dgetrf, EveryPathFindsTheKnownFactorsAndPivots) {
  const std::string fixed = "ZTR_DYNAMIC=FALSE";
  test::expect_children(
      {{"lu_every_entry", {"ZTR_NUM_THREADS=1", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=3", fixed}},
       {"lu_every_entry", {"ZTR_NUM_THREADS=5", fixed, "ZTR_DEBUG_CPU_TYPE=4"}},
       {"lu_static_zone", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_scheduler_state_fails", {"ZTR_NUM_THREADS=2", fixed, "ZTR_DISABLE_FAST_MM=1"}},
       {"lu_late_owner", {"ZTR_NUM_THREADS=2", fixed}},
       {"lu_late_owner", {"ZTR_NUM_THREADS=3", fixed}}});
}

// Inverse from LU and the triangular inverse: residuals ||A*inv(A) - I||, the singular and
// argument-error cases, the workspace rules (blocked, reduced block, unblocked) and the size
// queries.
constexpr double kResidualBound = 30.0;

// ||A*X - I||_1 / (||A||_1 * ||X||_1 * n * eps).
double inverse_residual(int n, const double* a, int lda, const double* x, int ldx) {
  std::vector<double> r(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) r[i * (n + 1)] = -1.0;
  const double one = 1.0;
  ztr_blas_dgemm("N", "N", &n, &n, &n, &one, a, &lda, x, &ldx, &one, r.data(), &n);
  return test::one_norm_diff(n, n, r.data(), n, nullptr, 0) /
         (test::one_norm_diff(n, n, a, lda, nullptr, 0) *
          test::one_norm_diff(n, n, x, ldx, nullptr, 0) * n * test::kUnitRoundoff);
}

// Factors a random matrix and inverts it with `lwork` doubles of workspace (-1: the queried
// optimum); returns the residual, or a large number on a non-zero info.
double invert_random(int n, int lwork, std::uint64_t seed) {
  const int lda = n + 2;
  const std::vector<double> a0 = test::random_matrix(n, n, lda, seed);
  std::vector<double> a = a0;
  std::vector<int> ipiv(n);
  int info = 0;
  dgetrf(&n, &n, a.data(), &lda, ipiv.data(), &info);
  if (info != 0) return 1e300;
  double query = 0;
  const int minus_one = -1;
  dgetri(&n, a.data(), &lda, ipiv.data(), &query, &minus_one, &info);
  if (lwork < 0) lwork = static_cast<int>(query);
  std::vector<double> work(std::max(1, lwork));
  dgetri(&n, a.data(), &lda, ipiv.data(), work.data(), &lwork, &info);
  if (info != 0) return 1e300;
  return inverse_residual(n, a0.data(), lda, a.data(), lda);
}

// n = 150: the tuned block is 64; lwork = n forces the column-by-column code, 3n a block of
// three.  A singular factor is reported and left as it was.
TEST(Dgetri, InvertsWithEveryWorkspaceSizeAndLeavesASingularFactor) {
  for (int n : {1, 2, 17, 150}) EXPECT_LT(invert_random(n, -1, n), kResidualBound) << n;
  for (int lwork : {150, 3 * 150}) EXPECT_LT(invert_random(150, lwork, 9), kResidualBound);
  test::KnownLu k = test::make_known_lu(5, 5, 0, 3, {}, {3});  // U(3, 3) = 0
  const std::vector<double> factored = k.lu;
  int n = 5, info = 0;
  std::vector<double> work(5);
  dgetri(&n, k.lu.data(), &n, k.ipiv.data(), work.data(), &n, &info);
  EXPECT_EQ(info, 3);
  EXPECT_EQ(k.lu, factored);
}

// The other triangle, a unit diagonal and the padding are NaN: neither read nor written.
// (A zero on the diagonal: through DGETRI above.)
TEST(Dtrtri, InvertsBothTriangles) {
  test::Rng gen(3);
  for (int n : {40, 150})  // 150 takes the blocked code (block 64), 40 the unblocked one
    for (char uplo : {'U', 'L'})
      for (char diag : {'N', 'U'}) {
        const int lda = n + 1;
        const std::vector<double> t = test::triangle<double>(n, lda, uplo, diag, gen);
        std::vector<double> x = t;
        int info = -5;
        dtrtri(&uplo, &diag, &n, x.data(), &lda, &info);
        EXPECT_EQ(info, 0);
        for (std::size_t k = 0; k < t.size(); ++k) ASSERT_EQ(std::isnan(t[k]), std::isnan(x[k]));
        EXPECT_LT(inverse_residual(n, test::dense(t, lda, n, uplo, diag).data(), n,
                                   test::dense(x, lda, n, uplo, diag).data(), n),
                  kResidualBound)
            << n << uplo << diag;
      }
}

// Argument checks with their texts; empty matrices are a successful no-op.
TEST(Dgetrf, ArgumentErrors) {
  std::vector<double> a(6, 1.0), work = {-1, -1};
  int ipiv[2] = {1, 2};
  struct Case {
    bool inverse;
    int m, n, lda, lwork, info;
  };
  for (Case c : {Case{false, -1, 2, 3, 0, -1},
                 {false, 3, -1, 3, 0, -2},
                 {false, 3, 2, 2, 0, -4},
                 {false, 0, 2, 0, 0, -4},
                 {false, 0, 3, 3, 0, 0},
                 {false, 3, 0, 3, 0, 0},
                 {true, 0, -1, 1, 1, -1},
                 {true, 0, 2, 1, 2, -3},
                 {true, 0, 2, 2, 1, -6},
                 {true, 0, 2, 2, 0, -6}}) {
    int info = 7;
    EXPECT_EQ(test::captured([&] {
                if (c.inverse)
                  dgetri(&c.n, a.data(), &c.lda, ipiv, work.data(), &c.lwork, &info);
                else
                  dgetrf(&c.m, &c.n, a.data(), &c.lda, ipiv, &info);
              }),
              c.info == 0 ? "" : test::xerbla_text(c.inverse ? "DGETRI" : "DGETRF", -c.info));
    EXPECT_EQ(info, c.info);
  }
  EXPECT_EQ(ipiv[0], 1);
  EXPECT_EQ(a, std::vector<double>(6, 1.0));
}

// LAPACKE_dgetrf and LAPACKE_dgetri: layout and NaN checks, row-major results equal to
// column-major ones, leading-dimension errors, empty matrices and the drivers' own argument
// errors.  (Their allocation failures are part of the reliability sweep.)

TEST(LapackeLu, CodesMessagesAndNaNScans) {
  std::vector<double> ones(12, 1.0);
  int ipiv[3] = {1, 2, 3};
  const std::string wrong = "Wrong parameter ";
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(LAPACKE_dgetrf(100, 2, 2, ones.data(), 2, ipiv), -1);
              EXPECT_EQ(LAPACKE_dgetri(103, 2, ones.data(), 2, ipiv), -1);
              EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, 4, 3, ones.data(), 2, ipiv), -5);
              EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, 3, ones.data(), 2, ipiv), -4);
              // Column-major: the driver finds the bad lda (its argument 4, and 3 for DGETRI),
              // reports it itself, and LAPACKE returns the position plus one.
              EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, 4, 3, ones.data(), 3, ipiv), -5);
              EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, 3, ones.data(), 2, ipiv), -4);
            }),
            wrong + "1 in LAPACKE_dgetrf\n" + wrong + "1 in LAPACKE_dgetri\n" + wrong +
                "5 in LAPACKE_dgetrf_work\n" + wrong + "4 in LAPACKE_dgetri_work\n" +
                test::xerbla_text("DGETRF", 4) + test::xerbla_text("DGETRI", 3));
  EXPECT_EQ(ones, std::vector<double>(12, 1.0));
  // A NaN is refused silently, before anything is allocated or touched; beyond the matrix
  // (rows m..lda-1 of column-major data, columns n..lda-1 of row-major data) nothing is
  // scanned.
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
    std::vector<double> a = {1, 2, 3, kNaN}, beyond = {4, 1, kNaN, 1, 3, kNaN};
    const long requests = ztr_testalloc_requests();
    EXPECT_EQ(test::captured([&] {
                EXPECT_EQ(LAPACKE_dgetrf(layout, 2, 2, a.data(), 2, ipiv), -4);
                EXPECT_EQ(LAPACKE_dgetri(layout, 2, a.data(), 2, ipiv), -3);
              }),
              "");
    EXPECT_EQ(ztr_testalloc_requests(), requests);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_EQ(LAPACKE_dgetrf(layout, 2, 2, beyond.data(), 3, ipiv), 0);
    EXPECT_EQ(LAPACKE_dgetri(layout, 2, beyond.data(), 3, ipiv), 0);
  }
}

TEST(LapackeLu, RowMajorEqualsColumnMajor) {
  // Exactly known factors (with a zero pivot in one case), so both layouts must agree to the
  // bit; the row-major padding stays as it was.
  struct Shape {
    int m, n;
    std::set<int> zeros;
  };
  for (const Shape& s : {Shape{90, 90, {}}, Shape{120, 70, {}}, Shape{70, 120, {5}}}) {
    test::KnownLu k = test::make_known_lu(s.m, s.n, 2, s.m + s.n, {1, 33}, s.zeros);
    const int mn = std::min(s.m, s.n), ldr = s.n + 3;
    std::vector<double> rows = test::to_rows(s.m, s.n, k.a, k.lda, ldr);
    std::vector<int> ipiv_c(mn), ipiv_r(mn);
    const int want = s.zeros.empty() ? 0 : *s.zeros.begin();
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, s.m, s.n, k.a.data(), k.lda, ipiv_c.data()), want);
    EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, s.m, s.n, rows.data(), ldr, ipiv_r.data()), want);
    EXPECT_EQ(ipiv_c, k.ipiv);
    EXPECT_EQ(ipiv_r, k.ipiv);
    EXPECT_EQ(k.a, k.lu);
    EXPECT_EQ(rows, test::to_rows(s.m, s.n, k.lu, k.lda, ldr));
    if (s.m != s.n) continue;
    // The inverse in both layouts: the same numbers up to rounding, the padding left alone.
    const int n = s.n;
    EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, n, k.a.data(), k.lda, ipiv_c.data()), 0);
    EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, n, rows.data(), ldr, ipiv_r.data()), 0);
    EXPECT_LE(test::layout_difference(n, n, k.a, k.lda, rows, ldr), 1e-12);
  }
}

}  // namespace
}  // namespace ztr
