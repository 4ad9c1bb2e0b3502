// The single-thread matrix multiply of every processor variant, called directly (each
// variant the machine can run): the serial routine over shapes on both sides of the
// blocking thresholds and every packing mode of the blocked loops (the packed buffers sized
// and aligned by the record: a wrong size or alignment shows as a wrong product, a crash or a
// sanitizer report).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

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
// partial B slivers (n = 7), empty products and k = 0.
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
        const double alpha = (seed % 3 == 0) ? -0.75 : 1.0;
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

// beta = 0 stores zeros without reading C; alpha = 0 leaves beta*C only.
TEST(GemmSerialVariants, BetaZeroIgnoresNanAndAlphaZeroScales) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int type = kCpuTypeMin; type <= kCpuTypeMax; ++type) {
    if (!runnable(type)) continue;
    const auto fn = g_gemm_serial.variant(type);
    for (const Shape& s : {Shape{3, 4, 5}, Shape{40, 30, 20}, Shape{9, 300, 2}}) {
      for (double alpha : {0.0, 1.5}) {
        GemmProblem p = make_gemm('N', 'T', s.m, s.n, s.k, alpha, 0.0);
        for (int j = 0; j < s.n; ++j)
          for (int i = 0; i < s.m; ++i) p.c0[i + j * p.ldc] = (i + j) % 2 ? nan : -inf;
        std::vector<double> c = p.c0;
        fn(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda, p.b.data(), &p.ldb,
           &p.beta, c.data(), &p.ldc);
        p.c0.assign(p.c0.size(), 0.0);  // compare with C = 0 before the call
        EXPECT_TRUE(test::gemm_matches(p, c)) << "CpuType " << type;
        if (alpha == 0.0) {
          for (double x : c) EXPECT_EQ(x, 0.0);
        }
      }
      GemmProblem q = make_gemm('T', 'N', s.m, s.n, s.k, 0.0, -2.0);
      EXPECT_TRUE(test::gemm_run_and_check(q, fn));
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
  const double nan = std::numeric_limits<double>::quiet_NaN();
  unsigned seed = 40;
  for (const Case& c : cases) {
    for (double beta : {0.0, 1.0, -0.5}) {
      GemmProblem p = make_gemm(c.ta, c.tb, c.m, c.n, c.k, 0.75, beta, seed % 2, seed);
      ++seed;
      std::vector<double> c0 = p.c0;
      if (beta == 0.0) {
        for (int j = 0; j < c.n; ++j) c0[j * p.ldc] = nan;  // must not leak into the result
      }
      const test::GemmReference ref = test::gemm_reference(p);
      for (int type : {2, 3}) {
        std::vector<double> out = c0;
        g_gemm_serial.variant(type)(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda,
                                    p.b.data(), &p.ldb, &p.beta, out.data(), &p.ldc);
        EXPECT_TRUE(test::gemm_matches(p, ref, out)) << "CpuType " << type;
      }
    }
  }
}

// gemm_blocked in every packing mode, with pre-packed operands where the mode expects them.
TEST(GemmBlockedModes, EveryModeEveryVariant) {
  for (int type = 4; type <= kCpuTypeMax; ++type) {
    if (!runnable(type)) continue;
    const auto blocked = g_gemm_blocked.variant(type);
    unsigned seed = 7;
    for (char ta : {'N', 'T'}) {
      for (char tb : {'N', 'C'}) {
        for (const Shape& s : {Shape{37, 29, 61}, Shape{5, 9, 200}, Shape{700, 6, 12}}) {
          for (int mode : {0, 2, 4}) {
            const GemmProblem p = make_gemm(ta, tb, s.m, s.n, s.k, 0.5, 0.25, 2, seed++);
            GemmKernelParams rec;
            g_gemm_params_init.variant(type)(&rec);
            EXPECT_TRUE(test::gemm_run_and_check(
                p, [&](auto... args) { EXPECT_EQ(blocked(args..., mode, &rec, 0), 0); }))
                << "CpuType " << type << " mode " << mode;
          }
          // Modes 8 and 16: A packed and scaled by the caller, one K block deep.
          GemmProblem p = make_gemm(ta, tb, s.m, s.n, s.k, -1.25, 1.0, 1, seed++);
          GemmKernelParams rec;
          g_gemm_params_init.variant(type)(&rec);
          rec.block_size_fn(&rec, s.m, s.n, s.k);
          if (s.k > rec.kc) continue;
          const int kbp = (s.k + rec.k_granule - 1) / rec.k_granule * rec.k_granule;
          const int as = kbp * rec.min_m;
          std::vector<double> packed(static_cast<std::size_t>(as) * (s.m / rec.min_m + 1));
          (ta == 'N' ? rec.pack_a_n_fn : rec.pack_a_t_fn)(s.m, s.k, p.a.data(), p.lda,
                                                          packed.data(), as, p.alpha);
          for (int mode : {8, 16}) {
            std::vector<double> c = p.c0;
            GemmKernelParams r2 = rec;
            const double one = 1.0;
            EXPECT_EQ(blocked(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, packed.data(), &as,
                              p.b.data(), &p.ldb, &one, c.data(), &p.ldc, mode, &r2, 0),
                      0);
            EXPECT_TRUE(test::gemm_matches(p, c)) << "CpuType " << type << " mode " << mode;
          }
          // Mode 32: B packed by the caller.
          const int bs = kbp * rec.min_n;
          std::vector<double> bp(static_cast<std::size_t>(bs) * (s.n / rec.min_n + 1));
          (tb == 'N' ? rec.pack_b_n_fn : rec.pack_b_t_fn)(s.k, s.n, p.b.data(), p.ldb, bp.data(),
                                                          bs);
          std::vector<double> c = p.c0;
          const double one = 1.0;
          EXPECT_EQ(blocked(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda, bp.data(),
                            &bs, &one, c.data(), &p.ldc, 32, &rec, 0),
                    0);
          EXPECT_TRUE(test::gemm_matches(p, c)) << "CpuType " << type << " mode 32";
        }
      }
    }
    // Unknown modes compute nothing.
    GemmProblem p = make_gemm('N', 'N', 8, 8, 8, 1.0, 0.0);
    std::vector<double> c = p.c0;
    GemmKernelParams rec;
    g_gemm_params_init.variant(type)(&rec);
    for (int mode : {1, 3, 64}) {
      EXPECT_EQ(g_gemm_blocked.variant(type)(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(),
                                             &p.lda, p.b.data(), &p.ldb, &p.beta, c.data(), &p.ldc,
                                             mode, &rec, 0),
                1);
    }
    EXPECT_EQ(c, p.c0);
  }
}

}  // namespace
}  // namespace ztr
