// The matrix multiply: the threaded driver (every split policy and worker with 2 to 4
// threads, every CpuType and thread count end to end through DGEMM in child processes,
// failed panel or buffer allocations; routes and partitions are free to change, every one
// must give the reference product), the exported entry points, and the single-thread
// multiply of every processor variant.
#include <gtest/gtest.h>

#include <array>

#include "blas/gemm/gemm.h"
#include "blas/gemm/gemm_512.h"
#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_driver.h"
#include "blas/gemm/gemm_params.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/memory.h"
#include "service/platform.h"
#include "testalloc.h"
#include "tests/blas/gemm/gemm_check.h"
#include "tests/lapack/error_text.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr {
namespace {

using namespace ztr::test;

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
    for (int policy = 0; policy <= 5; ++policy)
      for (int threads = 2; threads <= 4; ++threads)
        EXPECT_EQ(
            gemm_run(p, [&](auto... args) { gemm_large_path(GemmCall{args...}, threads, policy); }),
            0)
            << m << "x" << n << "x" << k << " policy " << policy << " threads " << threads;
  }
}

// ---- child processes: the whole driver under a forced CpuType and thread count ----

// Runs a battery of products through DGEMM; prints failures, returns their count.
ZTR_CHILD(gemm_battery) {
  if (std::getenv("TEST_CPU") != nullptr) install_fake_cpu();
  // Tiny (serial), small region by rows and by columns, large path for each worker kind.
  const std::array<int, 3> shapes[] = {
      {10, 3, 1000},  {100, 100, 100}, {100, 20, 60}, {64, 96, 80}, {600, 50, 40},
      {200, 200, 50}, {130, 140, 270}, {50, 300, 30}, {5, 5, 5},    {257, 33, 129}};
  int failures = 0;
  unsigned seed = 1;
  for (auto [m, n, k] : shapes)
    for (int rep = 0; rep < 2; ++rep, ++seed) {
      const char* t = &"NNTNNTCCtn"[2 * (seed % 5)];
      const GemmProblem p =
          make_gemm(t[0], t[1], m, n, k, -0.5, seed % 3 ? 0.75 : 0.0, seed % 2, seed);
      if (gemm_run(p, DGEMM) != 0 && ++failures)
        std::printf("%c%c %d %d %d\n", t[0], t[1], m, n, k);
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
    const auto r = run_child("gemm_battery", env);
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
  const int misses = gemm_run(p, [&](auto... args) {
    if (policy >= 0)
      gemm_large_path(GemmCall{args...}, 2, policy);
    else if (policy <= -2)
      g_gemm_serial.variant(-policy)(args...);
    else
      ztr_blas_dgemm(args...);
  });
  ztr_testalloc_reset();
  std::printf("misses=%d leaked=%ld\n", misses, ztr_testalloc_live() - live);
  return 0;
}

int count(const std::string& s, const std::string& what) {
  int c = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++c;
  return c;
}

TEST(GemmDriverChildren, AllocationFailures) {
  const auto report = [](const char* name) {
    return "ZTR INTERNAL ERROR: Not enough work memory in function " + std::string(name) + "\n";
  };
  const struct {
    const char* args;  // policy (-1: DGEMM, -2/-3: that CpuType's serial routine), m, n, k, limit
    int gemm, xgemm, xdgemm;  // reports under each name (xgemm: at least one)
  } cases[] = {
      {"5 600 50 40 0", 0, 0, 0},         // grid A, nothing fails
      {"3 300 300 50 0", 0, 0, 0},        // grid B, nothing fails
      {"5 600 50 40 200000", 1, 0, 0},    // grid A panels fail
      {"3 300 300 50 230000", 1, 0, 0},   // grid B panels fail
      {"-1 200 200 200 50000", 0, 1, 0},  // one thread: blocked buffers fail
      {"0 400 300 200 50000", 0, 1, 0},   // rows: every thread's buffers fail
      {"-2 50 60 70 100000", 0, 0, 1},    // CpuType 2 and 3 report "xdgemm"
      {"-3 50 60 70 100000", 0, 0, 1},
  };
  for (const auto& c : cases) {
    const auto r = run_child("gemm_alloc_failure",
                             {std::string("TEST_ARGS=") + c.args, "ZTR_DISABLE_FAST_MM=1",
                              "ZTR_NUM_THREADS=1", "ZTR_DYNAMIC=FALSE"});
    EXPECT_EQ(count(r.out, report("gemm")), c.gemm) << r.out;
    EXPECT_EQ(count(r.out, report("xgemm")) > 0, c.xgemm > 0) << r.out;
    EXPECT_EQ(count(r.out, report("xdgemm")), c.xdgemm) << r.out;
    EXPECT_NE(r.out.find("misses=0 leaked=0"), std::string::npos) << r.out;
  }
}

// The exported entry points: argument checks (position, order, exact message, C untouched).
// What `call(a, b, c)` prints; C must be untouched when it prints.
template <typename Call>
std::string printed(Call call) {
  std::vector<double> a(64, 1.0), b(64, 1.0), c(64, 7.0);
  const std::string out = captured([&] { call(a.data(), b.data(), c.data()); });
  EXPECT_TRUE(out.empty() || c == std::vector<double>(64, 7.0));
  return out;
}

TEST(GemmArguments, EveryPositionInOrder) {
  const struct {
    char ta, tb;
    int m, n, k, lda, ldb, ldc, position;  // 0: valid
  } dgemm[] = {
      {'X', 'N', -1, 4, 5, 3, 5, 3, 1},  // the first failure wins
      {' ', 'N', 3, 4, 5, 3, 5, 3, 1},   {'N', 'y', 3, -1, 5, 3, 5, 3, 2},
      {'N', 'N', -1, -1, 5, 3, 5, 3, 3}, {'N', 'N', 3, -2, 5, 3, 5, 0, 4},
      {'N', 'N', 3, 4, -1, 3, 5, 3, 5},  {'N', 'N', 3, 4, 5, 2, 5, 3, 8},
      {'t', 'N', 3, 4, 5, 4, 5, 3, 8},                                      // nrowa is k
      {'N', 'N', 0, 4, 5, 0, 5, 1, 8},                                      // at least 1
      {'N', 'N', 3, 4, 5, 3, 4, 3, 10},  {'N', 'C', 3, 4, 5, 3, 3, 3, 10},  // nrowb is n
      {'N', 'N', 3, 4, 5, 3, 5, 2, 13},  {'n', 'N', 3, 4, 5, 5, 5, 3, 0},
      {'t', 'c', 3, 4, 5, 5, 4, 3, 0},   {'C', 'T', 3, 4, 5, 5, 4, 3, 0},
  };
  const double one = 1.0, zero = 0.0;
  for (const auto& x : dgemm)
    EXPECT_EQ(printed([&](double* a, double* b, double* c) {
                DGEMM(&x.ta, &x.tb, &x.m, &x.n, &x.k, &one, a, &x.lda, b, &x.ldb, &zero, c, &x.ldc);
              }),
              x.position ? xerbla_text("DGEMM ", x.position) : "")
        << x.position;
  // cblas_dgemm: the transpose codes and sizes before the layout; row-major 3 x 5 = (3 x 4)(4 x 5)
  // needs lda >= 4 (3 for A'), ldb >= 5 (4 for B'), ldc >= 5; column-major lda >= m (or k),
  // ldb >= k (or n), ldc >= m.
  const int R = ZTR_ROW_MAJOR, C = ZTR_COL_MAJOR, N = ZTR_NO_TRANS, T = ZTR_TRANS;
  const struct {
    int layout, ta, tb, m, n, k, lda, ldb, ldc, position;
  } cblas[] = {
      {103, 114, N, 3, 5, 4, 4, 5, 5, 2},
      {103, N, 110, 3, 5, 4, 4, 5, 5, 3},
      {103, N, N, -1, 5, 4, 4, 5, 5, 4},
      {103, N, N, 3, -1, 4, 4, 5, 5, 5},
      {103, N, N, 3, 5, -1, 4, 5, 5, 6},
      {103, N, N, 3, 5, 4, 4, 5, 5, 1},
      {R, N, N, 3, 5, 4, 3, 5, 5, 9},
      {R, N, N, 3, 5, 4, 4, 4, 5, 11},
      {R, N, N, 3, 5, 4, 4, 5, 4, 14},
      {R, N, N, 3, 5, 4, 4, 5, 5, 0},
      {R, T, T, 3, 5, 4, 2, 4, 5, 9},
      {R, T, T, 3, 5, 4, 3, 3, 5, 11},
      {R, T, ZTR_CONJ_TRANS, 3, 5, 4, 3, 4, 5, 0},
      {C, N, N, 3, 5, 4, 2, 4, 3, 9},
      {C, T, N, 3, 5, 4, 3, 4, 3, 9},
      {C, N, T, 3, 5, 4, 3, 4, 3, 11},
      {C, N, N, 3, 5, 4, 3, 4, 2, 14},
      {C, N, N, 3, 5, 4, 3, 4, 3, 0},
  };
  for (const auto& x : cblas)
    EXPECT_EQ(printed([&](double* a, double* b, double* c) {
                cblas_dgemm(static_cast<CBLAS_LAYOUT>(x.layout), static_cast<CBLAS_TRANSPOSE>(x.ta),
                            static_cast<CBLAS_TRANSPOSE>(x.tb), x.m, x.n, x.k, 1.0, a, x.lda, b,
                            x.ldb, 0.0, c, x.ldc);
              }),
              x.position ? xerbla_text("cblas_dgemm", x.position) : "")
        << x.layout << " " << x.position;
}

// Row-major C = op(A)*op(B) is column-major C' = op(B)'*op(A)': the problem of the column-major
// reference with the operands and dimensions swapped.  Through DGEMM: m or n = 0 leaves C
// alone even with beta != 1; k = 0 and alpha = 0 give beta*C; beta = 0 clears the NaN of C;
// sizes on both sides of the parallel thresholds.
TEST(Dgemm, RowMajorAndDegenerateProducts) {
  const CBLAS_TRANSPOSE codes[] = {ZTR_NO_TRANS, ZTR_TRANS, ZTR_CONJ_TRANS};
  unsigned seed = 3;
  for (CBLAS_TRANSPOSE ta : codes)
    for (CBLAS_TRANSPOSE tb : codes)
      for (auto [m, n, k] : {std::array<int, 3>{3, 5, 4}, {150, 120, 90}, {7, 300, 33}}) {
        const GemmProblem p = make_gemm("NTC"[tb - ZTR_NO_TRANS], "NTC"[ta - ZTR_NO_TRANS], n, m, k,
                                        0.5, -1.5, 2, seed++);
        std::vector<double> c = p.c0;
        cblas_dgemm(ZTR_ROW_MAJOR, ta, tb, m, n, k, p.alpha, p.b.data(), p.ldb, p.a.data(), p.lda,
                    p.beta, c.data(), p.ldc);
        EXPECT_EQ(gemm_misses(p, c), 0) << ta << " " << tb;
      }
  for (int s : {3, 60, 250}) {
    const struct {
      int m, n, k;
      double alpha, beta;
    } cases[] = {{0, s, 4, 1, 2}, {s, 0, 4, 1, 2}, {s, s, 0, 1, -3},
                 {s, s, s, 0, 0}, {s, s, s, 2, 0}, {s, s, s, 0, 0.5}};
    for (const auto& c : cases)
      EXPECT_EQ(gemm_run(make_gemm('N', 'T', c.m, c.n, c.k, c.alpha, c.beta, 1), DGEMM), 0) << s;
  }
}

// The single-thread matrix multiply of every processor variant, called directly (each
// variant the machine can run): the serial routine over shapes on both sides of the
// blocking thresholds and every packing mode of the blocked loops (the packed buffers sized
// and aligned by the record: a wrong size or alignment shows as a wrong product, a crash or a
// sanitizer report).
struct Shape {
  int m, n, k;
};

// Edge rows (m = 5), two K blocks (k = 300), the unblocked path (m = 3), thin products,
// partial B slivers (n = 7), empty products and k = 0; alpha = 0 and beta = 0 (C NaN) among
// them.
const Shape kShapes[] = {{1, 1, 1},    {5, 9, 300},  {3, 100, 100}, {4, 4, 4},   {13, 7, 33},
                         {64, 65, 66}, {130, 3, 70}, {2, 150, 9},   {37, 41, 1}, {0, 5, 5},
                         {5, 0, 5},    {6, 6, 0},    {131, 75, 257}};

const auto runnable = [](int type) { return hardware_cpu_type() >= type; };

TEST(GemmSerialVariants, EveryTransposeAndShape) {
  const char trans[] = {'N', 'T', 'C', 'n', 't', 'c'};
  unsigned seed = 1;
  for (const Shape& s : kShapes)
    for (int ia = 0; ia < 6; ++ia)
      for (int ib = 0; ib < 6; ++ib) {
        if (ia >= 3 && ib >= 3 && ia != ib) continue;  // lower case: a sample is enough
        const double alpha = seed % 5 == 0 ? 0.0 : (seed % 3 == 0 ? -0.75 : 1.0);
        const double beta = (seed % 4 == 0) ? 0.0 : (seed % 4 == 1 ? 1.0 : 0.5);
        const GemmProblem p =
            make_gemm(trans[ia], trans[ib], s.m, s.n, s.k, alpha, beta, seed % 2 ? 3 : 0, seed);
        ++seed;
        for (int type = kCpuTypeMin; type <= hardware_cpu_type(); ++type)
          EXPECT_EQ(gemm_run(p, g_gemm_serial.variant(type)), 0) << "CpuType " << type;
      }
}

// CpuType 2 and 3 block on their own: odd m (last row unblocked), n not a multiple of 4
// (matrix-vector columns), a short first K block, several M and N blocks, both buffer
// layouts of type 2, and beta applied by the first K block (NaN in C with beta = 0).
TEST(GemmSelfContained, LayoutsAndRemainders) {
  const struct {
    char ta, tb;
    int m, n, k;
  } cases[] = {{'N', 'N', 601, 13, 300},  {'T', 'N', 257, 11, 209}, {'N', 'T', 5, 2010, 9},
               {'N', 'N', 300, 150, 250}, {'T', 'N', 650, 620, 20}, {'N', 'T', 120, 90, 130},
               {'T', 't', 300, 90, 50},   {'n', 'n', 4, 8, 8},      {'N', 'N', 4, 8, 7}};
  unsigned seed = 40;
  for (const auto& c : cases)
    for (double beta : {0.0, 1.0, -0.5}) {
      const GemmProblem p = make_gemm(c.ta, c.tb, c.m, c.n, c.k, 0.75, beta, seed % 2, seed);
      ++seed;
      for (int type : {2, 3}) EXPECT_EQ(gemm_run(p, g_gemm_serial.variant(type)), 0) << type;
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
            EXPECT_TRUE(known ? gemm_misses(p, c) == 0 : c == p.c0)
                << "CpuType " << type << " tier " << tier << " mode " << mode;
          }
  }
}

}  // namespace
}  // namespace ztr
