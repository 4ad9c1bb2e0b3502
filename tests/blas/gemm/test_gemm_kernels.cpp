// The single-thread matrix multiply of every processor variant, called directly (each
// variant the machine can run): the serial routine over shapes on both sides of the
// blocking thresholds and every packing mode of the blocked loops (the packed buffers sized
// and aligned by the record: a wrong size or alignment shows as a wrong product, a crash or a
// sanitizer report).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "blas/gemm/gemm_512.h"
#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_params.h"
#include "service/cpu.h"
#include "service/memory.h"
#include "tests/blas/gemm/gemm_check.h"

namespace ztr {
namespace {

using test::GemmProblem;
using test::make_gemm;

struct Shape {
  int m, n, k;
};

// Edge rows (m = 5), two K blocks (k = 300), the unblocked path (m = 3), thin products,
// partial B slivers (n = 7), empty products and k = 0; alpha = 0 and beta = 0 (C NaN) among
// them.
const Shape kShapes[] = {{1, 1, 1},    {5, 9, 300},  {3, 100, 100}, {4, 4, 4},   {13, 7, 33},
                         {64, 65, 66}, {130, 3, 70}, {2, 150, 9},   {37, 41, 1}, {0, 5, 5},
                         {5, 0, 5},    {6, 6, 0},    {131, 75, 257}};

bool runnable(int type) {
  return hardware_cpu_type() >= type;
}

TEST(GemmSerialVariants, EveryTransposeAndShape) {
  const char trans[] = {'N', 'T', 'C', 'n', 't', 'c'};
  unsigned seed = 1;
  for (const Shape& s : kShapes) {
    for (int ia = 0; ia < 6; ++ia) {
      for (int ib = 0; ib < 6; ++ib) {
        if (ia >= 3 && ib >= 3 && ia != ib) continue;  // lower case: a sample is enough
        const double alpha = seed % 5 == 0 ? 0.0 : (seed % 3 == 0 ? -0.75 : 1.0);
        const double beta = (seed % 4 == 0) ? 0.0 : (seed % 4 == 1 ? 1.0 : 0.5);
        const GemmProblem p =
            make_gemm(trans[ia], trans[ib], s.m, s.n, s.k, alpha, beta, seed % 2 ? 3 : 0, seed);
        ++seed;
        const test::GemmReference ref = test::gemm_reference(p);
        for (int type = kCpuTypeMin; type <= kCpuTypeMax; ++type) {
          if (!runnable(type)) continue;
          EXPECT_TRUE(test::gemm_run_and_check(p, ref, g_gemm_serial.variant(type)))
              << "CpuType " << type;
        }
      }
    }
  }
}

// CpuType 2 and 3 block on their own: odd m (last row unblocked), n not a multiple of 4
// (matrix-vector columns), a short first K block, several M and N blocks, both buffer
// layouts of type 2, and beta applied by the first K block (NaN in C with beta = 0).
TEST(GemmSelfContained, LayoutsAndRemainders) {
  struct Case {
    char ta, tb;
    int m, n, k;
  };
  const Case cases[] = {
      {'N', 'N', 601, 13, 300},  {'T', 'N', 257, 11, 209}, {'N', 'T', 5, 2010, 9},
      {'N', 'N', 300, 150, 250}, {'T', 'N', 650, 620, 20}, {'N', 'T', 120, 90, 130},
      {'T', 't', 300, 90, 50},   {'n', 'n', 4, 8, 8},      {'N', 'N', 4, 8, 7}};
  unsigned seed = 40;
  for (const Case& c : cases) {
    for (double beta : {0.0, 1.0, -0.5}) {
      GemmProblem p = make_gemm(c.ta, c.tb, c.m, c.n, c.k, 0.75, beta, seed % 2, seed);
      ++seed;
      const test::GemmReference ref = test::gemm_reference(p);
      for (int type : {2, 3})
        EXPECT_TRUE(test::gemm_run_and_check(p, ref, g_gemm_serial.variant(type))) << type;
    }
  }
}

// The record of a row: CpuType 7 with and without its 512-bit tier, the others as dispatched.
void init_record(int type, [[maybe_unused]] int tier, GemmKernelParams* rec) {
#if defined(__x86_64__)
  if (type == 7) return gemm::t7::gemm_params_init_tier(rec, tier);
#endif
  g_gemm_params_init.variant(type)(rec);
}

// gemm_blocked in every packing mode: A packed and scaled by the caller, one K block deep
// (modes 8 and 16) or B packed by the caller (32), each with the record's own packing; unknown
// modes compute nothing.
TEST(GemmBlockedModes, EveryModeEveryVariant) {
  std::vector<std::pair<int, int>> rows;  // CpuType, 512-bit tier
  for (int type = 4; type <= kCpuTypeMax; ++type)
    if (runnable(type)) rows.push_back({type, 0});
  if (runnable(7) && avx512_tier_supported()) rows.push_back({7, 1});
  for (auto [type, tier] : rows) {
    unsigned seed = 7;
    for (char ta : {'N', 'T'})
      for (char tb : {'N', 'C'})
        for (const Shape& s : {Shape{37, 29, 61}, Shape{5, 9, 200}, Shape{700, 6, 12}})
          for (int mode : {0, 2, 4, 8, 16, 32, 1, 3, 64}) {
            const bool packed_a = mode == 8 || mode == 16, packed_b = mode == 32;
            const bool known = mode % 2 == 0 && mode != 64;
            const GemmProblem p = make_gemm(ta, tb, s.m, s.n, s.k, packed_a ? -1.25 : 0.5,
                                            packed_a || packed_b ? 1.0 : 0.25, 2, seed++);
            GemmKernelParams rec;
            init_record(type, tier, &rec);
            rec.block_size_fn(&rec, s.m, s.n, s.k);
            if (packed_a && s.k > rec.kc) continue;
            const int kbp = (s.k + rec.k_granule - 1) / rec.k_granule * rec.k_granule;
            const int as = kbp * rec.min_m, bs = kbp * rec.min_n;
            std::vector<double> ap(static_cast<std::size_t>(as) * (s.m / rec.min_m + 1));
            std::vector<double> bp(static_cast<std::size_t>(bs) * (s.n / rec.min_n + 1));
            (ta == 'N' ? rec.pack_a_n_fn : rec.pack_a_t_fn)(s.m, s.k, p.a.data(), p.lda, ap.data(),
                                                            as, p.alpha);
            (tb == 'N' ? rec.pack_b_n_fn : rec.pack_b_t_fn)(s.k, s.n, p.b.data(), p.ldb, bp.data(),
                                                            bs);
            const int lda = packed_a ? as : p.lda, ldb = packed_b ? bs : p.ldb;
            std::vector<double> c = p.c0;
            EXPECT_EQ(g_gemm_blocked.variant(type)(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha,
                                                   packed_a ? ap.data() : p.a.data(), &lda,
                                                   packed_b ? bp.data() : p.b.data(), &ldb, &p.beta,
                                                   c.data(), &p.ldc, mode, &rec, 0),
                      known ? 0 : 1);
            EXPECT_TRUE(known ? test::gemm_matches(p, c) : ::testing::AssertionResult(c == p.c0))
                << "CpuType " << type << " tier " << tier << " mode " << mode;
          }
  }
}

}  // namespace
}  // namespace ztr
