// DGEMM throughput of ZTR against a peer BLAS, side by side in one run.
//
// The peer is loaded at run time (dlopen, private namespace) from ZTR_PEER_BLAS or the
// configured default path and called through its standard C interface only; it is never
// linked into the library or its tests.
//
// Every shape is one benchmark that alternates the two libraries: a batch of ZTR calls (at
// least ~20 ms of work), then a batch of peer calls, for several rounds, keeping the best
// batch of each.  Alternating and keeping the best makes the ratio robust on a machine
// shared with other jobs, where a block of consecutive runs of one library can be slowed
// down as a whole.  Counters: ztr_GFLOPs, peer_GFLOPs (2mnk per call) and ratio.
//
//   ztr_bench_dgemm [--benchmark_filter=...] [--benchmark_format=json]
//   bench/dgemm_ratios.py < results.json    prints the table
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "include/ztr.h"
#include "service/cpu.h"

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

constexpr int kRounds = 7;
constexpr double kBatchFlops = 6.0e8;  // ~20 ms at 30 GFLOP/s
// Worker threads of the library that just ran may still spin for a while after its call;
// with as many threads as processors they would steal time from the other library.
constexpr auto kSwitchPause = std::chrono::milliseconds(250);

// Seconds per call of the best batch.
template <typename Call>
double batch_seconds(int calls, Call call) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

void pair(benchmark::State& state, int m, int n, int k, int threads) {
  Operands x(m, n, k);
  const double flops = 2.0 * m * n * k;
  const int calls = std::max(1, static_cast<int>(kBatchFlops / flops));
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  if (g_peer_threads != nullptr) g_peer_threads(threads);
  auto ztr = [&] {
    cblas_dgemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, m, n, k, 1.0, x.a.data(), m,
                x.b.data(), k, 1.0, x.c.data(), m);
  };
  auto peer = [&] {
    g_peer_gemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, m, n, k, 1.0, x.a.data(), m,
                x.b.data(), k, 1.0, x.c.data(), m);
  };
  double best_ztr = 1e30, best_peer = 1e30;
  for (auto _ : state) {
    ztr();  // warm caches, pools and thread teams
    if (g_peer_gemm != nullptr) peer();
    for (int r = 0; r < kRounds; ++r) {
      if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
      best_ztr = std::min(best_ztr, batch_seconds(calls, ztr));
      if (g_peer_gemm == nullptr) continue;
      if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
      best_peer = std::min(best_peer, batch_seconds(calls, peer));
    }
  }
  state.counters["ztr_GFLOPs"] = flops / best_ztr * 1e-9;
  if (g_peer_gemm != nullptr) {
    state.counters["peer_GFLOPs"] = flops / best_peer * 1e-9;
    state.counters["ratio"] = best_peer / best_ztr;
  }
}

double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// CpuType 7's two tiers and the peer in one benchmark: rounds of a 256-bit batch, a 512-bit
// batch and a peer batch, the best batch of each kept.  Counters t256_GFLOPs, t512_GFLOPs,
// peer_GFLOPs, ratio_512_256 and ratio_512_peer.  Registered only where the tier runs.
void tiers(benchmark::State& state, int n, int threads) {
  Operands x(n, n, n);
  const double flops = 2.0 * n * n * n;
  const int calls = std::max(1, static_cast<int>(kBatchFlops / flops));
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  if (g_peer_threads != nullptr) g_peer_threads(threads);
  auto ztr = [&] {
    cblas_dgemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, n, n, n, 1.0, x.a.data(), n, x.b.data(),
                n, 1.0, x.c.data(), n);
  };
  auto peer = [&] {
    g_peer_gemm(ZTR_COL_MAJOR, ZTR_NO_TRANS, ZTR_NO_TRANS, n, n, n, 1.0, x.a.data(), n, x.b.data(),
                n, 1.0, x.c.data(), n);
  };
  const int decided = ztr::avx512_tier_in_use();
  // Wall seconds per call, and for one thread also the calling thread's processor seconds,
  // which a loaded machine disturbs much less (both libraries compute in the caller then).
  double best[3] = {1e30, 1e30, 1e30}, best_cpu[3] = {1e30, 1e30, 1e30};
  auto measure = [&](int which, auto call) {
    const double c0 = thread_cpu_seconds();
    best[which] = std::min(best[which], batch_seconds(calls, call));
    best_cpu[which] = std::min(best_cpu[which], (thread_cpu_seconds() - c0) / calls);
  };
  for (auto _ : state) {
    ztr();
    if (g_peer_gemm != nullptr) peer();
    for (int r = 0; r < kRounds; ++r) {
      for (int tier = 0; tier < 2; ++tier) {
        ztr::avx512_tier_force(tier);
        if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
        measure(tier, ztr);
      }
      if (g_peer_gemm == nullptr) continue;
      if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
      measure(2, peer);
    }
  }
  ztr::avx512_tier_force(decided);
  state.counters["t256_GFLOPs"] = flops / best[0] * 1e-9;
  state.counters["t512_GFLOPs"] = flops / best[1] * 1e-9;
  state.counters["ratio_512_256"] = best[0] / best[1];
  if (threads == 1) state.counters["cpu_ratio_512_256"] = best_cpu[0] / best_cpu[1];
  if (g_peer_gemm != nullptr) {
    state.counters["peer_GFLOPs"] = flops / best[2] * 1e-9;
    state.counters["ratio_512_peer"] = best[2] / best[1];
    if (threads == 1) state.counters["cpu_ratio_512_peer"] = best_cpu[2] / best_cpu[1];
  }
}

void register_tiers() {
  if (!ztr::avx512_tier_in_use()) return;
  for (int threads : {1, 2}) {
    const std::string name = "dgemm_tiers/n:2000/threads:" + std::to_string(threads);
    benchmark::RegisterBenchmark(name.c_str(),
                                 [threads](benchmark::State& st) { tiers(st, 2000, threads); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
}

void register_pairs() {
  std::vector<std::array<int, 4>> shapes;
  for (int threads : {1, 2}) {
    for (int s : {64, 128, 256, 500, 1000, 2000, 4000}) shapes.push_back({s, s, s, threads});
    // Shapes that factorizations produce: rank-k updates and thin panels.
    for (int r : {64, 128, 256}) shapes.push_back({10000, r, r, threads});
    shapes.push_back({16, 10000, 500, threads});
    shapes.push_back({10000, 16, 16, threads});
  }
  for (const auto& s : shapes) {
    const std::string name = "dgemm/m:" + std::to_string(s[0]) + "/n:" + std::to_string(s[1]) +
                             "/k:" + std::to_string(s[2]) + "/threads:" + std::to_string(s[3]);
    benchmark::RegisterBenchmark(name.c_str(),
                                 [s](benchmark::State& st) { pair(st, s[0], s[1], s[2], s[3]); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The peer runs its AVX2 kernels (with fused multiply-add) unless the caller pins another
  // core; OPENBLAS_VERBOSE=2 makes it print the core it chose.
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  load_peer();
  register_pairs();
  register_tiers();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
