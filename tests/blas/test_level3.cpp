// Double-precision level 3 (TRSM, TRMM, SYRK, SYR2K, SYMM) against long-double reference
// loops for every option letter, the special scalars, the unblocked leaves of every processor
// variant, the fallbacks without work buffers, and the threaded paths with 1 to 4 threads and
// inside the caller's parallel region.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdlib>
#include <tuple>

#include "blas/level3/level3.h"
#include "testalloc.h"
#include "tests/blas/typed_reference.h"
#include "tests/support/test_support.h"
#include "tests/support/child.h"
#include "ztr.h"

namespace ztr {
namespace {

using namespace ztr::test;

struct TriCase {
  char side, uplo, trans, diag;
};

std::vector<TriCase> all_triangular_cases() {
  std::vector<TriCase> v;
  for (int o = 0; o < 24; ++o)
    v.push_back({"Lr"[o % 2], "Ul"[o / 2 % 2], "NtC"[o / 4 % 3], "Nu"[o / 12]});
  return v;
}

// Returns the number of entries outside the bound of the solve or product, padding rows
// included; with alpha = 0, B is NaN (it must not be read).
int check_triangular(bool solve, const TriCase& c, int m, int n, double alpha, unsigned seed) {
  std::mt19937 gen(seed);
  const int na = c.side == 'L' ? m : n, lda = na + 3, ldb = m + 1;
  const auto a = triangle<double>(na, lda, c.uplo, c.diag, gen);
  auto b0 = random_vector(static_cast<size_t>(ldb) * n, gen);
  if (alpha == 0.0) b0.assign(b0.size(), kNaN);
  auto b = b0;
  (solve ? ztr_blas_dtrsm : ztr_blas_dtrmm)(&c.side, &c.uplo, &c.trans, &c.diag, &m, &n, &alpha,
                                            a.data(), &lda, b.data(), &ldb);
  const char opts[] = {c.side, c.uplo, c.trans, c.diag, 0};
  return triangular_misses(solve, opts, m, n, alpha, a, lda, b0, b, ldb);
}

// DSYR2K or DSYRK: the number of wrong entries, writes outside the triangle included.
int check_rank_k(bool rank2, char uplo, char trans, int n, int k, double alpha, double beta,
                 unsigned seed) {
  std::mt19937 gen(seed);
  return rank_k_misses<double>(
      rank2, false, uplo, trans, n, k, alpha, beta, gen,
      [&](const double* a, const double* b, int lda, double* c, int ldc) {
        if (rank2)
          ztr_blas_dsyr2k(&uplo, &trans, &n, &k, &alpha, a, &lda, b, &lda, &beta, c, &ldc);
        else
          ztr_blas_dsyrk(&uplo, &trans, &n, &k, &alpha, a, &lda, &beta, c, &ldc);
      });
}

TEST(Level3, SyrkAndSyr2kEveryOptionWriteOnlyTheirTriangle) {
  unsigned seed = 100;
  for (bool rank2 : {false, true})
    for (char uplo : {'U', 'l'})
      for (char trans : {'N', 'T', 'C'})
        for (int n : {1, 150})
          for (int k : {0, 20})
            for (double beta : {0.0, 1.5})
              for (double alpha : {0.0, -0.5})
                EXPECT_EQ(check_rank_k(rank2, uplo, trans, n, k, alpha, beta, seed++), 0)
                    << rank2 << uplo << trans << n << " " << k << " " << alpha << " " << beta;
}

// Orders and ranks that cross the multiply's row and depth blocks: beta must scale C once,
// not once per depth block, and no diagonal block may be lost or doubled at a row block's edge.
TEST(Level3, SyrkAndSyr2kAcrossRowAndDepthBlocks) {
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(check_rank_k(c > 1, "ULLU"[c], "NTNT"[c], 650, 260, c > 1 ? 1.5 : -0.5, 0.5, 11 + c),
              0)
        << c;
}

int check_symm(char side, char uplo, int m, int n, double alpha, double beta, unsigned seed) {
  std::mt19937 gen(seed);
  const bool left = side == 'L' || side == 'l';
  const int na = left ? m : n, lda = na + 1, ldb = m + 2, ldc = m + 3;
  const auto a = triangle<double>(na, lda, uplo, 'N', gen);
  const auto b = random_vector(static_cast<size_t>(ldb) * n, gen);
  auto c = random_vector(static_cast<size_t>(ldc) * n, gen);
  if (beta == 0.0) c.assign(c.size(), kNaN);
  const auto c0 = c;
  ztr_blas_dsymm(&side, &uplo, &m, &n, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c.data(),
                 &ldc);
  const auto s = dense(a, lda, na, uplo, 'S');
  auto sym = [&](int i, int j) { return s[i + j * na]; };
  auto bij = [&](int i, int j) { return b[i + j * ldb]; };
  if (left) return misses_of(c, c0, ldc, m, n, na, alpha, beta, sym, bij, na, everywhere);
  return misses_of(c, c0, ldc, m, n, na, alpha, beta, bij, sym, na, everywhere);
}

TEST(Level3, SymmBothSidesAcrossPanels) {
  unsigned seed = 300;
  for (char side : {'L', 'r'})
    for (char uplo : {'U', 'l'})
      for (double alpha : {0.0, 1.25})
        for (double beta : {0.0, -1.0}) {
          // 300 crosses the 256-column panels of the expanded symmetric operand.
          const int m = side == 'L' ? 300 : 7, n = side == 'L' ? 9 : 300;
          EXPECT_EQ(check_symm(side, uplo, m, n, alpha, beta, seed++), 0)
              << side << uplo << alpha << beta;
          EXPECT_EQ(check_symm(side, uplo, 5, 4, alpha, beta, seed++), 0)
              << side << uplo << alpha << beta;
        }
}

// The solve on packed panels: A of order 200 (diagonal blocks of 32 and 128, the last ones
// narrower), B of 600 rows or columns (strips of 256).
int panel_failures() {
  int bad = 0;
  unsigned seed = 11;
  for (const TriCase& c : all_triangular_cases())
    if (c.trans != 'C')
      bad += 0 != check_triangular(true, c, c.side == 'L' ? 200 : 600, c.side == 'L' ? 600 : 200,
                                   -1.5, seed++);
  return bad;
}

ZTR_CHILD(trsm_panels) {
  return panel_failures();
}

// The pool would hand back buffers it already holds: it is off in this child, so every
// work-buffer request reaches the failing allocator and the fallbacks run; the panel solve
// also runs with its panels but without its second buffer (side 'L'), once the one-time
// allocations are made.  Nothing may leak.
ZTR_CHILD(level3_without_buffers) {
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_above(1);
  int bad = check_symm('L', 'U', 40, 6, 1.5, 0.5, 1) + check_symm('R', 'L', 5, 40, 1.5, 0.0, 2);
  bad += check_rank_k(false, 'L', 'N', 70, 9, 1.0, 1.0, 3) +
         check_rank_k(true, 'U', 'T', 70, 9, 1.0, 0.0, 4) + panel_failures();
  ztr_testalloc_reset();
  bad += panel_failures();
  ztr_testalloc_fail_nth(2, 0);
  bad += panel_failures();
  ztr_testalloc_reset();
  return bad != 0 || ztr_testalloc_live() != live;  // an exit code keeps 8 bits only
}

TEST(Level3, PanelSolveEveryVariantAndFallbacksWithoutWorkBuffers) {
  for (int v = 0; v < runnable_variants(); ++v) {
    const std::string type = std::to_string(kCpuTypeMin + v);
    const auto r = run_child("trsm_panels", {"ZTR_NUM_THREADS=1", "ZTR_DEBUG_CPU_TYPE=" + type});
    EXPECT_EQ(r.exit_code, 0) << "CpuType " << type << "\n" << r.out;
  }
  const auto r =
      run_child("level3_without_buffers", {"ZTR_NUM_THREADS=1", "ZTR_DISABLE_FAST_MM=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  for (const char* name : {"DSYMM", "DSYRK", "DSYR2K", "DTRSM"})
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
}

// Every triangular case of TRSM and TRMM with orders on both sides of the threaded splits and
// of the halving above the 64-order leaves, and the special alphas (0: B is NaN, not read);
// the rank-k updates and a symmetric product; all against the reference, with the thread
// count of the environment, or, with TEST_IN_REGION, from three threads of the caller's own
// parallel region at once (no shared state, no races).
int level3_battery(unsigned seed) {
  int bad = 0;
  for (const TriCase& c : all_triangular_cases())
    for (bool solve : {true, false})
      for (auto [order, other, alpha] :
           {std::tuple{130, 70, 0.75}, {150, 3, -1.5}, {150, 37, 0.0}, {1, 3, 1.0}}) {
        const bool left = c.side == 'L';
        bad +=
            check_triangular(solve, c, left ? order : other, left ? other : order, alpha, seed++);
      }
  for (char uplo : {'U', 'L'})
    for (bool rank2 : {false, true}) bad += check_rank_k(rank2, uplo, 'N', 200, 30, 1, 1, seed++);
  return bad + check_symm('L', 'U', 300, 5, 1.0, 0.0, seed);
}

ZTR_CHILD(level3_threads) {
  if (std::getenv("TEST_IN_REGION") == nullptr) return level3_battery(1) != 0;
  int bad = 0;
#pragma omp parallel num_threads(3) reduction(+ : bad)
  bad += level3_battery(1000 + 100 * static_cast<unsigned>(omp_get_thread_num()));
  return bad != 0;
}

TEST(Level3, OneToFourThreadsAndCallsFromInsideAParallelRegion) {
  for (const std::string run :
       {"1 FALSE", "2 FALSE", "3 FALSE", "4 FALSE", "2 TRUE region", "2 FALSE region"}) {
    std::vector<std::string> env = {"ZTR_NUM_THREADS=" + run.substr(0, 1),
                                    "ZTR_DYNAMIC=" + run.substr(2, run.find(' ', 2) - 2)};
    if (run.find("region") != std::string::npos) env.push_back("TEST_IN_REGION=1");
    const auto r = run_child("level3_threads", env);
    EXPECT_EQ(r.exit_code, 0) << run << r.out;
  }
  const int zero = 0, one = 1;  // no rows: no work
  const double alpha = 2.0;
  double x = 5.0;
  ztr_blas_dtrsm("L", "U", "N", "N", &zero, &one, &alpha, &x, &one, &x, &one);
  EXPECT_EQ(x, 5.0);
}

}  // namespace
}  // namespace ztr
