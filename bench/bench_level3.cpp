// Level-3 building blocks: DTRSM (left/lower/no transpose/unit and right/upper) and DSYRK,
// with 200 right-hand sides (rank 200) and square, order 2000, on 1 and 2 threads; the
// same calls through OpenBLAS side by side when it is installed.  The argument of each
// benchmark is the thread count.
//
//   ./bench_level3 --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "blas/templates/tblas.h"
#include "ztr.h"

#ifdef ZTR_BENCH_WITH_OPENBLAS
// The peer's Fortran-style entry points, declared here from the published BLAS argument
// lists.
extern "C" {
void dtrsm_(const char*, const char*, const char*, const char*, const int*, const int*,
            const double*, const double*, const int*, double*, const int*);
void dsyrk_(const char*, const char*, const int*, const int*, const double*, const double*,
            const int*, const double*, double*, const int*);
void dgemm_(const char*, const char*, const int*, const int*, const int*, const double*,
            const double*, const int*, const double*, const int*, const double*, double*,
            const int*);
void openblas_set_num_threads(int);
}
#endif

namespace {

constexpr int kOrder = 2000;
constexpr int kRhs = 200;

std::vector<double> random_matrix(int rows, int cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> v(static_cast<size_t>(rows) * cols);
  for (double& x : v) x = d(gen);
  return v;
}

// A well-conditioned triangle: dominant diagonal, small off-diagonal entries.
std::vector<double> triangle(int n) {
  auto a = random_matrix(n, n, 1);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) a[i + static_cast<size_t>(j) * n] = i == j ? 2.0 : a[i + static_cast<size_t>(j) * n] / n;
  return a;
}

using TrsmFn = void (*)(const char*, const char*, const char*, const char*, const int*,
                        const int*, const double*, const double*, const int*, double*, const int*);
using SyrkFn = void (*)(const char*, const char*, const int*, const int*, const double*,
                        const double*, const int*, const double*, double*, const int*);

void set_threads(int t) {
  ZTR_Set_Num_Threads(t);
#ifdef ZTR_BENCH_WITH_OPENBLAS
  openblas_set_num_threads(t);
#endif
}

// side 'L': A of order kOrder, B kOrder x rhs; side 'R': B rhs x kOrder.
void trsm(benchmark::State& state, TrsmFn fn, char side, char uplo, char trans, char diag, int rhs) {
  set_threads(static_cast<int>(state.range(0)));
  const auto a = triangle(kOrder);
  const int m = side == 'L' ? kOrder : rhs, n = side == 'L' ? rhs : kOrder;
  const auto b0 = random_matrix(m, n, 2);
  auto b = b0;
  const double one = 1.0;
  for (auto _ : state) {
    state.PauseTiming();
    b = b0;
    state.ResumeTiming();
    fn(&side, &uplo, &trans, &diag, &m, &n, &one, a.data(), &kOrder, b.data(), &m);
    benchmark::ClobberMemory();
  }
  state.counters["GFLOPS"] = benchmark::Counter(static_cast<double>(kOrder) * kOrder * rhs,
                                                benchmark::Counter::kIsIterationInvariantRate,
                                                benchmark::Counter::kIs1000);
}

void syrk(benchmark::State& state, SyrkFn fn, int k) {
  set_threads(static_cast<int>(state.range(0)));
  const auto a = random_matrix(kOrder, k, 3);
  std::vector<double> c(static_cast<size_t>(kOrder) * kOrder, 0.0);
  const double one = 1.0;
  for (auto _ : state) {
    fn("L", "N", &kOrder, &k, &one, a.data(), &kOrder, &one, c.data(), &kOrder);
    benchmark::ClobberMemory();
  }
  state.counters["GFLOPS"] = benchmark::Counter(static_cast<double>(kOrder) * (kOrder + 1) * k,
                                                benchmark::Counter::kIsIterationInvariantRate,
                                                benchmark::Counter::kIs1000);
}

// The multiply the level-3 routines run on.
void gemm(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto a = random_matrix(n, n, 4), b = random_matrix(n, n, 5);
  std::vector<double> c(static_cast<size_t>(n) * n, 0.0);
  for (auto _ : state) {
    const double one = 1.0, zero = 0.0;
    ztr::ztr_blas_dgemm("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n);
    benchmark::ClobberMemory();
  }
  state.counters["GFLOPS"] = benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate,
                                                benchmark::Counter::kIs1000);
}

#define ZTR_BENCH_THREADS ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK_CAPTURE(trsm, ztr_LLNU_rhs200, ztr::ztr_blas_dtrsm, 'L', 'L', 'N', 'U', kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, ztr_LLNU_square, ztr::ztr_blas_dtrsm, 'L', 'L', 'N', 'U', kOrder) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, ztr_RUNN_rhs200, ztr::ztr_blas_dtrsm, 'R', 'U', 'N', 'N', kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, ztr_RUNN_square, ztr::ztr_blas_dtrsm, 'R', 'U', 'N', 'N', kOrder) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(syrk, ztr_LN_k200, ztr::ztr_blas_dsyrk, kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(syrk, ztr_LN_square, ztr::ztr_blas_dsyrk, kOrder) ZTR_BENCH_THREADS;
#ifdef ZTR_BENCH_WITH_OPENBLAS
BENCHMARK_CAPTURE(trsm, openblas_LLNU_rhs200, dtrsm_, 'L', 'L', 'N', 'U', kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, openblas_LLNU_square, dtrsm_, 'L', 'L', 'N', 'U', kOrder) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, openblas_RUNN_rhs200, dtrsm_, 'R', 'U', 'N', 'N', kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(trsm, openblas_RUNN_square, dtrsm_, 'R', 'U', 'N', 'N', kOrder) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(syrk, openblas_LN_k200, dsyrk_, kRhs) ZTR_BENCH_THREADS;
BENCHMARK_CAPTURE(syrk, openblas_LN_square, dsyrk_, kOrder) ZTR_BENCH_THREADS;
#endif
BENCHMARK(gemm)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
