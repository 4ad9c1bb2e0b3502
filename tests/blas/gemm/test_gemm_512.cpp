// The 512-bit tier of the CpuType 7 matrix multiply: bit for bit the results of the 256-bit
// kernels (both tiers run in one process, switched between calls), through the serial
// routine, DGEMM and LAPACKE_dgetrf on 1 to 4 threads (its blocked modes are rows of the
// variant loop of the kernel tests); and when the
// tier is used, on simulated processors and under every setting (child processes, since the
// decision is made once per process).

#include <gtest/gtest.h>

#include "blas/gemm/gemm_512.h"
#include "blas/gemm/gemm_dispatch.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/platform.h"
#include "tests/blas/gemm/gemm_check.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr {
namespace {

#if defined(__x86_64__)

using namespace ztr::test;

#define SKIP_WITHOUT_TIER()                               \
  if (detect_cpu_type() != 7 || !avx512_tier_supported()) \
  GTEST_SKIP() << "this processor (or its OS) has no 512-bit tier of CpuType 7"

// `call(c)` on a copy of `c` with the 256-bit kernels, then on another copy with the tier.
template <typename Call>
std::vector<std::vector<double>> under_both(const std::vector<double>& c, Call call) {
  std::vector<std::vector<double>> r{c, c};
  for (int tier : {0, 1}) {
    avx512_tier_force(tier);
    call(r[tier].data(), tier);
  }
  return r;
}

// Shapes around every edge of the tile (8-row slivers, groups of 4, 4-column B slivers,
// B chunks of 128 columns) and of the depth (granule 4, two K blocks).  The
// padding rows and the NaN of C (beta = 0) are compared too.
TEST(Gemm512, SerialBitForBitEveryTransposeAndEdge) {
  SKIP_WITHOUT_TIER();
  const char trans[] = {'N', 'T', 'C'};
  unsigned seed = 1;
  for (int m : {0, 1, 7, 8, 9, 31, 33, 41, 65})
    for (int n : {1, 3, 5, 9, 133})
      for (int k : {0, 1, 5, 64, 65, 129, 300}) {
        const char ta = trans[seed % 3], tb = trans[(seed / 3) % 3];
        const double alpha = seed % 5 == 0 ? 0.0 : (seed % 2 ? 1.0 : -0.75);
        const double beta = seed % 3 == 0 ? 0.0 : (seed % 3 == 1 ? 1.0 : 0.5);
        const GemmProblem p = make_gemm(ta, tb, m, n, k, alpha, beta, 3, seed++);
        const auto r = under_both(p.c0, [&](double* c, int) {
          g_gemm_serial.variant(7)(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda,
                                   p.b.data(), &p.ldb, &p.beta, c, &p.ldc);
        });
        EXPECT_TRUE(same_bits(r[0], r[1])) << ta << tb << " m " << m << " n " << n << " k " << k;
        EXPECT_EQ(gemm_misses(p, r[1]), 0);
      }
}

// The multiply and the LU on 1 to 4 threads, whatever split the driver makes.
TEST(Gemm512, DgemmAndLuBitForBitOnOneToFourThreads) {
  SKIP_WITHOUT_TIER();
  ZTR_Set_Dynamic(0);
  for (int threads = 1; threads <= 4; ++threads) {
    ZTR_Set_Num_Threads(threads);
    for (char ta : {'N', 'T'}) {
      const GemmProblem p = make_gemm(ta, 'N', 301, 263, 517, 0.75, 1.0, 1, 90 + threads);
      const auto r = under_both(p.c0, [&](double* c, int) {
        DGEMM(&p.ta, &p.tb, &p.m, &p.n, &p.k, &p.alpha, p.a.data(), &p.lda, p.b.data(), &p.ldb,
              &p.beta, c, &p.ldc);
      });
      EXPECT_TRUE(same_bits(r[0], r[1])) << "DGEMM " << ta << " threads " << threads;
    }
    const int n = 389;
    const GemmProblem lu = make_gemm('N', 'N', n, n, 1, 1.0, 1.0, 0, 30 + threads);
    std::vector<int> piv[2] = {std::vector<int>(n), std::vector<int>(n)};
    const auto rl = under_both(lu.c0, [&](double* a, int tier) {
      EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, a, n, piv[tier].data()), 0);
    });
    EXPECT_TRUE(same_bits(rl[0], rl[1]) && piv[0] == piv[1]) << "LU, threads " << threads;
  }
}

// ---- when the tier is used --------------------------------------------------------------

// A simulated processor (fake_machine.h): "avx2+512" is type 7 with the 512-bit foundation,
// "avx2_no_fma+512" type 6 with it; TEST_XCR0 is the state the OS saves.
ZTR_CHILD(tier_report) {
  if (std::getenv("TEST_CPU") != nullptr) test::install_fake_cpu();
  GemmKernelParams rec;
  g_gemm_params_init.variant(7)(&rec);
  std::printf("type=%d supported=%d in_use=%d record=%d", detect_cpu_type(),
              avx512_tier_supported(), avx512_tier_in_use(),
              rec.kernel_fn == gemm::t7::w512::kernel_driver ? 512 : 256);
  return 0;
}

std::string report(const std::string& cpu, const std::string& xcr0, const std::string& env) {
  std::vector<std::string> vars;
  if (!cpu.empty()) vars = {"TEST_CPU=" + cpu.substr(0, cpu.find('+')), "TEST_XCR0=" + xcr0};
  if (cpu.find("+512") != std::string::npos) vars.push_back("TEST_AVX512=1");
  if (!env.empty()) vars.push_back(env);
  const test::ChildResult r = test::run_child("tier_report", vars);
  EXPECT_EQ(r.exit_code, 0) << r.out;
  return r.out;
}

TEST(Gemm512Detect, SimulatedProcessorsAndEverySetting) {
  struct Case {
    const char *cpu, *xcr0, *env, *expect;
  } const kCases[] = {
      {"avx2+512", "0xe7", "", "type=7 supported=1 in_use=1 record=512"},
      {"avx2+512", "0xe7", "ZTR_DISABLE_AVX512=1", "type=7 supported=1 in_use=0 record=256"},
      {"avx2+512", "0xe7", "ZTR_DISABLE_AVX512=", "type=7 supported=1 in_use=1 record=512"},
      {"avx2+512", "0xe7", "ZTR_CBWR=AUTO", "type=7 supported=1 in_use=1 record=512"},
      {"avx2+512", "0xe7", "ZTR_CBWR=AVX2", "type=7 supported=1 in_use=0 record=256"},
      {"avx2+512", "0xe7", "ZTR_CBWR=BRANCH=AVX2", "type=7 supported=1 in_use=0 record=256"},
      {"avx2+512", "0xe7", "ZTR_CBWR=COMPATIBLE", "type=2 supported=1 in_use=0 record=256"},
      {"avx2+512", "0xe7", "ZTR_DEBUG_CPU_TYPE=7", "type=7 supported=1 in_use=1 record=512"},
      {"avx2+512", "0xe7", "ZTR_DEBUG_CPU_TYPE=6", "type=6 supported=1 in_use=0 record=256"},
      // The OS does not save the 512-bit state, or only part of it.
      {"avx2+512", "0x7", "", "type=7 supported=0 in_use=0 record=256"},
      {"avx2+512", "0x67", "", "type=7 supported=0 in_use=0 record=256"},
      {"avx2+512", "0xa7", "", "type=7 supported=0 in_use=0 record=256"},
      {"avx2", "0xe7", "", "type=7 supported=0 in_use=0 record=256"},
      {"avx2_no_fma+512", "0xe7", "", "type=6 supported=1 in_use=0 record=256"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(report(c.cpu, c.xcr0, c.env), c.expect) << c.cpu << " " << c.xcr0 << " " << c.env;
}

TEST(Gemm512Detect, ThisProcessor) {
  SKIP_WITHOUT_TIER();
  EXPECT_EQ(report("", "", ""), "type=7 supported=1 in_use=1 record=512");
  EXPECT_EQ(report("", "", "ZTR_DISABLE_AVX512=yes"), "type=7 supported=1 in_use=0 record=256");
}

#else

// The tier's tiles need the 32 vector registers of 64-bit mode: an i386 build never
// reports it, whatever the processor.
TEST(Gemm512Detect, NeverInI386Builds) {
  EXPECT_EQ(avx512_tier_supported(), 0);
  EXPECT_EQ(avx512_tier_in_use(), 0);
}

#endif

}  // namespace
}  // namespace ztr
