// DGEMM throughput of ZTR against a peer BLAS, side by side in one run.
//
// The peer is loaded at run time (dlopen, private namespace) from ZTR_PEER_BLAS or the
// configured default path and called through its standard C interface only; it is never
// linked into the library or its tests.  Each benchmark reports GFLOP/s (2mnk per call).
//
//   ztr_bench_dgemm [--benchmark_filter=...] [--benchmark_format=json]
//   bench/dgemm_ratios.py < results.json    prints ZTR / peer for every case
// On a shared machine run with --benchmark_repetitions=3: the script keeps the best of each.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <array>
#include <chrono>
#include <thread>
#include <random>
#include <string>
#include <vector>

#include "include/ztr.h"

namespace {

using PeerGemm = void (*)(int, int, int, int, int, int, double, const double*, int,
                          const double*, int, double, double*, int);
using PeerThreads = void (*)(int);

PeerGemm g_peer_gemm = nullptr;
PeerThreads g_peer_threads = nullptr;

void load_peer() {
  const char* path = std::getenv("ZTR_PEER_BLAS");
  if (path == nullptr) path = ZTR_PEER_BLAS_DEFAULT;
  void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "peer BLAS not loaded (%s): ZTR only\n", dlerror());
    return;
  }
  g_peer_gemm = reinterpret_cast<PeerGemm>(dlsym(h, "cblas_dgemm"));
  g_peer_threads = reinterpret_cast<PeerThreads>(dlsym(h, "openblas_set_num_threads"));
}

struct Operands {
  std::vector<double> a, b, c;
  Operands(int m, int n, int k)
      : a(static_cast<std::size_t>(m) * k), b(static_cast<std::size_t>(k) * n),
        c(static_cast<std::size_t>(m) * n) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> u(-1, 1);
    for (double& x : a) x = u(gen);
    for (double& x : b) x = u(gen);
    for (double& x : c) x = u(gen);
  }
};

void run(benchmark::State& state, bool peer) {
  const int m = static_cast<int>(state.range(0)), n = static_cast<int>(state.range(1)),
            k = static_cast<int>(state.range(2)), threads = static_cast<int>(state.range(3));
  if (peer && g_peer_gemm == nullptr) {
    state.SkipWithError("no peer BLAS");
    return;
  }
  Operands x(m, n, k);
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  // Only the library being measured keeps worker threads; after a switch, the other one's
  // threads get time to stop spinning before the clock starts.
  if (g_peer_threads != nullptr) g_peer_threads(peer ? threads : 1);
  static int last = -1;
  if (last != static_cast<int>(peer)) std::this_thread::sleep_for(std::chrono::milliseconds(300));
  last = static_cast<int>(peer);
  for (auto _ : state) {
    if (peer) {
      g_peer_gemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, m, n, k, 1.0, x.a.data(), m,
                  x.b.data(), k, 1.0, x.c.data(), m);
    } else {
      cblas_dgemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, m, n, k, 1.0, x.a.data(), m,
                  x.b.data(), k, 1.0, x.c.data(), m);
    }
    benchmark::ClobberMemory();
  }
  state.counters["GFLOPs"] = benchmark::Counter(2.0 * m * n * k * state.iterations() * 1e-9,
                                                benchmark::Counter::kIsRate);
}

// Each shape is measured for ZTR and then at once for the peer, so that both see the same
// machine state; the pairs' names differ only in the prefix.
void register_pairs() {
  std::vector<std::array<int, 4>> shapes;
  for (int threads : {1, 2}) {
    for (int s : {64, 128, 256, 500, 1000, 2000, 4000}) shapes.push_back({s, s, s, threads});
    // Shapes that factorizations produce: rank-k updates and thin panels.
    for (int r : {64, 128, 256}) shapes.push_back({10000, r, r, threads});
    shapes.push_back({16, 10000, 500, threads});
    shapes.push_back({10000, 16, 16, threads});
  }
  for (const auto& x : shapes) {
    const std::string args = "/m:" + std::to_string(x[0]) + "/n:" + std::to_string(x[1]) +
                             "/k:" + std::to_string(x[2]) + "/threads:" + std::to_string(x[3]);
    for (bool peer : {false, true}) {
      benchmark::RegisterBenchmark((std::string(peer ? "peer" : "ztr") + args).c_str(),
                                   [peer](benchmark::State& s) { run(s, peer); })
          ->Args({x[0], x[1], x[2], x[3]})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond)
          ->MinTime(1.0);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The peer runs its AVX2 kernels (with fused multiply-add) unless the caller pins another
  // core; OPENBLAS_VERBOSE=2 makes it print the core it chose.
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  load_peer();
  register_pairs();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
