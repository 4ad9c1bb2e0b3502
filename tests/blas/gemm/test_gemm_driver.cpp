// The threaded driver: every split policy and worker with 2 to 4 threads, every CpuType and
// thread count end to end through DGEMM in child processes (shapes on every route: serial,
// small-problem region, large path), and failed panel or buffer allocations.  Routes and
// partitions are free to change; every one must give the reference product.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "blas/gemm/gemm.h"
#include "blas/gemm/gemm_driver.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/platform.h"
#include "testalloc.h"
#include "tests/blas/gemm/gemm_check.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr {
namespace {

using test::GemmProblem;
using test::make_gemm;

// The large-problem path under each policy with 2 to 4 threads, shapes that reach each
// worker (rows, columns, grid A with several M blocks per slab, grid B), several K blocks.
TEST(GemmDriverWorkers, EveryPolicyAndWorker) {
  const std::array<int, 3> shapes[] = {{600, 50, 300},  {600, 50, 40},   {1200, 20, 30},
                                       {300, 300, 50},  {200, 200, 300}, {120, 400, 70},
                                       {101, 101, 101}, {9, 500, 7}};
  unsigned seed = 11;
  for (auto [m, n, k] : shapes) {
    const char ta = seed % 2 ? 'N' : 'T', tb = seed % 3 ? 'N' : 't';
    const double beta = seed % 4 == 0 ? 0.0 : (seed % 4 == 1 ? 1.0 : -0.5);
    const GemmProblem p = make_gemm(ta, tb, m, n, k, 1.25, beta, seed % 2, seed);
    ++seed;
    const test::GemmReference ref = test::gemm_reference(p);
    for (int policy = 0; policy <= 5; ++policy) {
      for (int threads = 2; threads <= 4; ++threads) {
        EXPECT_TRUE(test::gemm_run_and_check(p, ref,
                                             [&](auto... args) {
                                               const GemmCall call{args...};
                                               gemm_large_path(call, threads, policy);
                                             }))
            << "policy " << policy << " threads " << threads;
      }
    }
  }
}

// ---- child processes: the whole driver under a forced CpuType and thread count ----

// Runs a battery of products through DGEMM; prints failures, returns their count.
ZTR_CHILD(gemm_battery) {
  if (std::getenv("TEST_CPU") != nullptr) test::install_fake_cpu();
  // Tiny (serial), small region by rows and by columns, large path for each worker kind.
  const std::array<int, 3> shapes[] = {
      {10, 3, 1000},  {100, 100, 100}, {100, 20, 60}, {64, 96, 80}, {600, 50, 40},
      {200, 200, 50}, {130, 140, 270}, {50, 300, 30}, {5, 5, 5},    {257, 33, 129}};
  int failures = 0;
  unsigned seed = 1;
  const char* const trans[] = {"NN", "TN", "NT", "CC", "tn"};
  for (auto [m, n, k] : shapes) {
    for (int rep = 0; rep < 2; ++rep) {
      const char* t = trans[seed % 5];
      const double beta = seed % 3 == 0 ? 0.0 : 0.75;
      const GemmProblem p = make_gemm(t[0], t[1], m, n, k, -0.5, beta, seed % 2, seed);
      ++seed;
      const auto r = test::gemm_run_and_check(p, DGEMM);
      if (!r) {
        std::printf("%s\n", r.message());
        ++failures;
      }
    }
  }
  std::printf("type=%d ma=%d failures=%d\n", detect_cpu_type(), cpu_microarch(), failures);
  return failures;
}

// Every CpuType on 1 to 4 threads; CpuType 4 without SSE4.1 (2 x 2 tiles); a simulated
// sub-class 33 processor with a 4 MiB L2, for which the driver takes its large-L2 split and
// blocking.
TEST(GemmDriverChildren, EveryCpuTypeAndThreadCount) {
  std::vector<std::vector<std::string>> runs;
  for (int type = kCpuTypeMin; type <= hardware_cpu_type(); ++type)
    for (int threads = 1; threads <= 4; ++threads)
      runs.push_back({"ZTR_DEBUG_CPU_TYPE=" + std::to_string(type),
                      "ZTR_NUM_THREADS=" + std::to_string(threads),
                      "type=" + std::to_string(type)});
  for (const char* threads : {"ZTR_NUM_THREADS=1", "ZTR_NUM_THREADS=3"})
    runs.push_back({"ZTR_CBWR=SSSE3", threads, "type=4 ma=32"});
  for (const char* threads : {"ZTR_NUM_THREADS=2", "ZTR_NUM_THREADS=4"})
    if (hardware_cpu_type() >= 5)
      runs.push_back({"TEST_CPU=sse41", "TEST_CACHES=large_l2", threads, "type=4 ma=33"});
  for (auto env : runs) {
    const std::string want = env.back();
    env.back() = "ZTR_DYNAMIC=FALSE";
    const auto r = test::run_child("gemm_battery", env);
    EXPECT_EQ(r.exit_code, 0) << env[0] << " " << env[1] << "\n" << r.out;
    EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
  }
}

// A failed shared-panel allocation is reported once as "gemm" and the product is still
// right; a failed buffer inside the blocked loops is reported as "xgemm" and the unblocked
// kernel computes the product.  Nothing leaks (the pool is off in these children).
ZTR_CHILD(gemm_alloc_failure) {
  int policy = 0, m = 0, n = 0, k = 0;
  long limit = 0;
  std::sscanf(std::getenv("TEST_ARGS"), "%d %d %d %d %ld", &policy, &m, &n, &k, &limit);
  const GemmProblem p = make_gemm('N', 'T', m, n, k, 2.0, 0.5, 1, 5);
  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_above(static_cast<std::size_t>(limit));
  const auto r = test::gemm_run_and_check(p, [&](auto... args) {
    const GemmCall call{args...};
    if (policy >= 0) {
      gemm_large_path(call, 2, policy);
    } else if (policy <= -2) {
      g_gemm_serial.variant(-policy)(args...);
    } else {
      ztr_blas_dgemm(args...);
    }
  });
  ztr_testalloc_reset();
  if (!r) std::printf("%s\n", r.message());
  std::printf("leaked=%ld\n", ztr_testalloc_live() - live);
  return r ? 0 : 1;
}

int count(const std::string& s, const std::string& what) {
  int c = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++c;
  return c;
}

TEST(GemmDriverChildren, AllocationFailures) {
  const std::string panel = "ZTR INTERNAL ERROR: Not enough work memory in function gemm\n";
  const std::string loops = "ZTR INTERNAL ERROR: Not enough work memory in function xgemm\n";
  const struct {
    const char* args;  // policy (-1: DGEMM, -2/-3: that CpuType's serial routine), m, n, k, limit
    int panel_reports;
    bool loop_reports;
  } cases[] = {
      {"5 600 50 40 0", 0, false},        // grid A, nothing fails
      {"3 300 300 50 0", 0, false},       // grid B, nothing fails
      {"5 600 50 40 200000", 1, false},   // grid A panels fail
      {"3 300 300 50 230000", 1, false},  // grid B panels fail
      {"-1 200 200 200 50000", 0, true},  // one thread: blocked buffers fail
      {"0 400 300 200 50000", 0, true},   // rows: every thread's buffers fail
      {"-2 50 60 70 100000", 0, false},   // CpuType 2 and 3 report "xdgemm"
      {"-3 50 60 70 100000", 0, false},
  };
  for (const auto& c : cases) {
    const auto r = test::run_child("gemm_alloc_failure",
                                   {std::string("TEST_ARGS=") + c.args, "ZTR_DISABLE_FAST_MM=1",
                                    "ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(count(r.out, panel), c.panel_reports) << r.out;
    EXPECT_EQ(count(r.out, loops) > 0, c.loop_reports) << r.out;
    if (c.args[0] == '-' && c.args[1] != '1') {
      EXPECT_EQ(count(r.out, "ZTR INTERNAL ERROR: Not enough work memory in function xdgemm\n"), 1)
          << r.out;
    }
    EXPECT_NE(r.out.find("leaked=0"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace ztr
