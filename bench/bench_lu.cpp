// LU factorization and inverse through the C interface: LAPACKE_dgetrf on column-major
// matrices of order 500..4000 and on row-major order 2000 (the cost of the two transposed
// copies), LAPACKE_dgetri at order 2000; 1 and 2 threads.  The peer's dgetrf and dgetri run
// side by side on the same matrices when it is installed.  Arguments: order, thread count.
//
//   ./bench_lu --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "service/cpu.h"
#include "ztr.h"

#ifdef ZTR_BENCH_WITH_OPENBLAS
// The peer's Fortran-style entry points, declared here from the published LAPACK argument
// lists.
extern "C" {
void dgetrf_(const int*, const int*, double*, const int*, int*, int*);
void dgetri_(const int*, double*, const int*, const int*, double*, const int*, int*);
void openblas_set_num_threads(int);
}
#endif

namespace {

std::vector<double> random_matrix(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> v(static_cast<size_t>(n) * n);
  for (double& x : v) x = d(gen);
  return v;
}

void set_threads(int t) {
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(t);
#ifdef ZTR_BENCH_WITH_OPENBLAS
  openblas_set_num_threads(t);
#endif
}

void report(benchmark::State& state, double flops_per_call) {
  state.counters["GFLOP/s"] =
      benchmark::Counter(flops_per_call * 1e-9 * state.iterations(), benchmark::Counter::kIsRate);
}

double lu_flops(int n) {
  return 2.0 * n * static_cast<double>(n) * n / 3.0;
}
double inverse_flops(int n) {
  return 4.0 * n * static_cast<double>(n) * n / 3.0;
}

template <int Layout>
void BM_ztr_dgetrf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  set_threads(static_cast<int>(state.range(1)));
  const auto a0 = random_matrix(n, 1);
  std::vector<double> a(a0.size());
  std::vector<int> ipiv(n);
  for (auto _ : state) {
    state.PauseTiming();
    a = a0;
    state.ResumeTiming();
    benchmark::DoNotOptimize(LAPACKE_dgetrf(Layout, n, n, a.data(), n, ipiv.data()));
  }
  report(state, lu_flops(n));
}

// The factorization with CpuType 7's multiply held to its 256-bit kernels, for comparison
// with the 512-bit tier where the processor has it (same results, bit for bit).
void BM_ztr_dgetrf_256bit(benchmark::State& state) {
  const int tier = ztr::avx512_tier_in_use();
  ztr::avx512_tier_force(0);
  BM_ztr_dgetrf<ZTR_COL_MAJOR>(state);
  ztr::avx512_tier_force(tier);
}

void BM_ztr_dgetri(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  set_threads(static_cast<int>(state.range(1)));
  auto lu = random_matrix(n, 2);
  std::vector<int> ipiv(n);
  LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, lu.data(), n, ipiv.data());
  std::vector<double> a(lu.size());
  for (auto _ : state) {
    state.PauseTiming();
    a = lu;
    state.ResumeTiming();
    benchmark::DoNotOptimize(LAPACKE_dgetri(ZTR_COL_MAJOR, n, a.data(), n, ipiv.data()));
  }
  report(state, inverse_flops(n));
}

#ifdef ZTR_BENCH_WITH_OPENBLAS
void BM_peer_dgetrf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  set_threads(static_cast<int>(state.range(1)));
  const auto a0 = random_matrix(n, 1);
  std::vector<double> a(a0.size());
  std::vector<int> ipiv(n);
  int info = 0;
  for (auto _ : state) {
    state.PauseTiming();
    a = a0;
    state.ResumeTiming();
    dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
  }
  report(state, lu_flops(n));
}

void BM_peer_dgetri(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  set_threads(static_cast<int>(state.range(1)));
  auto lu = random_matrix(n, 2);
  std::vector<int> ipiv(n);
  int info = 0;
  dgetrf_(&n, &n, lu.data(), &n, ipiv.data(), &info);
  double query = 0;
  const int minus_one = -1;
  dgetri_(&n, lu.data(), &n, ipiv.data(), &query, &minus_one, &info);
  const int lwork = static_cast<int>(query);
  std::vector<double> a(lu.size()), work(lwork);
  for (auto _ : state) {
    state.PauseTiming();
    a = lu;
    state.ResumeTiming();
    dgetri_(&n, a.data(), &n, ipiv.data(), work.data(), &lwork, &info);
  }
  report(state, inverse_flops(n));
}
#endif

void lu_sizes(benchmark::internal::Benchmark* b) {
  for (int threads : {1, 2})
    for (int n : {500, 1000, 2000, 4000}) b->Args({n, threads});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}
void order_2000(benchmark::internal::Benchmark* b) {
  for (int threads : {1, 2}) b->Args({2000, threads});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_ztr_dgetrf<ZTR_COL_MAJOR>)->Apply(lu_sizes);
BENCHMARK(BM_ztr_dgetrf_256bit)->Apply(order_2000);
BENCHMARK(BM_ztr_dgetrf<ZTR_ROW_MAJOR>)->Apply(order_2000);
BENCHMARK(BM_ztr_dgetri)->Apply(order_2000);
#ifdef ZTR_BENCH_WITH_OPENBLAS
BENCHMARK(BM_peer_dgetrf)->Apply(lu_sizes);
BENCHMARK(BM_peer_dgetri)->Apply(order_2000);
#endif

}  // namespace

BENCHMARK_MAIN();
