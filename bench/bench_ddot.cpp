// cblas_ddot throughput (GB/s of vector data read) over lengths 1e3..1e7: every kernel
// variant this processor can run, the export as dispatched in this process, and the peer.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/peer_blas.h"
#include "blas/ddot.h"
#include "include/ztr.h"
#include "service/cpu.h"

namespace {

struct Vectors {
  std::vector<double> x, y;
  explicit Vectors(int n) : x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n)) {
    for (int i = 0; i < n; ++i) {
      x[i] = 1.0 + 1e-3 * (i % 97);
      y[i] = 1.0 - 1e-3 * (i % 89);
    }
  }
};

// Vectors of n elements at increment `inc` (both vectors); the rate counts the elements used.
template <typename Dot>
void run(benchmark::State& state, Dot dot, int inc = 1) {
  const int n = static_cast<int>(state.range(0));
  Vectors v(n * inc);
  for (auto _ : state) benchmark::DoNotOptimize(dot(n, v.x.data(), v.y.data()));
  state.SetBytesProcessed(state.iterations() * 16 * static_cast<int64_t>(n));
}

void ztr_variant(benchmark::State& state, int type, int inc) {
  const ztr::DdotKernelFn kernel = ztr::ddot_kernel_slot().variant(type);
  run(
      state,
      [kernel, inc](int n, const double* x, const double* y) {
        return kernel(&n, x, &inc, y, &inc);
      },
      inc);
}

void ztr_export(benchmark::State& state) {
  state.SetLabel("CpuType " + std::to_string(ztr::detect_cpu_type()));
  run(state, [](int n, const double* x, const double* y) { return cblas_ddot(n, x, 1, y, 1); });
}

void peer(benchmark::State& state, int threads, int inc) {
  const bench::PeerBlas& p = bench::peer_blas();
  p.set_num_threads(threads);
  run(
      state,
      [&p, inc](int n, const double* x, const double* y) { return p.ddot(n, x, inc, y, inc); },
      inc);
}

void lengths(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 10000, 100000, 1000000, 10000000}) b->Arg(n);
  b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void strided_lengths(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 100000, 1000000}) b->Arg(n);
  b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

const int registered = [] {
  const bool peer_found =
      bench::peer_blas().loaded() && bench::peer_blas().set_num_threads != nullptr;
  for (int type = ztr::kCpuTypeMin; type <= ztr::hardware_cpu_type(); ++type)
    benchmark::RegisterBenchmark(("ddot/ztr_t" + std::to_string(type)).c_str(), ztr_variant, type,
                                 1)
        ->Apply(lengths);
  benchmark::RegisterBenchmark("ddot/ztr_cblas_ddot", ztr_export)->Apply(lengths);
  if (peer_found) {
    benchmark::RegisterBenchmark("ddot/peer_1thread", peer, 1, 1)->Apply(lengths);
    benchmark::RegisterBenchmark("ddot/peer_2threads", peer, 2, 1)->Apply(lengths);
  }
  // Increment 2: the strided path of types 2 to 6 against the gathered one of type 7.
  for (int type : {2, 6, 7})
    if (type <= ztr::hardware_cpu_type())
      benchmark::RegisterBenchmark(("ddot_inc2/ztr_t" + std::to_string(type)).c_str(), ztr_variant,
                                   type, 2)
          ->Apply(strided_lengths);
  if (peer_found)
    benchmark::RegisterBenchmark("ddot_inc2/peer_1thread", peer, 1, 2)->Apply(strided_lengths);
  return 0;
}();

}  // namespace
