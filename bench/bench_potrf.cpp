// Cholesky factorization of ZTR (the internal ztr_lapack_dpotrf) against a peer LAPACK's
// dpotrf, side by side in one run.
//
// The peer is loaded at run time (dlopen, private namespace) from ZTR_PEER_BLAS or the
// configured default path and called through its Fortran interface only; it is never linked
// into the library or its tests.  Every size alternates the two libraries, a batch of calls
// of one and then of the other, for several rounds.  Each call factors a fresh copy of the
// matrix; the time of the copy alone is measured the same way and subtracted.  Each batch is
// timed twice: wall clock and processor time of the process.  On a machine shared with other
// jobs interference only ever adds wall time, so the best batch is the figure to trust; the
// processor time of one thread is insensitive to waiting for a core, which makes its median
// the steadier figure under load (with more threads it also counts spinning).
//
//   bench_potrf [threads...] [n=N...]     (default: threads 1 and 2, the built-in sizes)
// prints one line per size and thread count: GFLOP/s (n^3/3 per call) of both from the best
// wall-clock batches and the ratios ZTR / peer of the best and of the median batches, wall
// clock and processor time.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "blas/gemm/gemm.h"
#include "include/ztr.h"
#include "lapack/potrf/potrf.h"
#include "bench_stats.h"

namespace {

using PeerPotrf = void (*)(const char*, const int*, double*, const int*, int*, std::size_t);
using PeerThreads = void (*)(int);
PeerPotrf g_peer_potrf = nullptr;
PeerThreads g_peer_threads = nullptr;

void load_peer() {
  const char* path = std::getenv("ZTR_PEER_BLAS");
  if (path == nullptr) path = ZTR_PEER_BLAS_DEFAULT;
  void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "peer not loaded (%s): ZTR only\n", dlerror());
    return;
  }
  g_peer_potrf = reinterpret_cast<PeerPotrf>(dlsym(h, "dpotrf_"));
  g_peer_threads = reinterpret_cast<PeerThreads>(dlsym(h, "openblas_set_num_threads"));
}

constexpr int kRounds = 9;
constexpr double kBatchFlops = 3.0e8;
constexpr auto kSwitchPause = std::chrono::milliseconds(100);

struct Times {
  double wall, cpu;
};

template <typename Call>
Times batch_seconds(int calls, Call call) {
  const double c0 = cpu_now();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) call();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return {wall / calls, (cpu_now() - c0) / calls};
}

double best(std::vector<double> v) {
  return *std::min_element(v.begin(), v.end());
}
void compare(int n, int threads) {
  std::mt19937 gen(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> b(static_cast<std::size_t>(n) * n), a(b.size()), w(b.size());
  for (double& x : b) x = u(gen);
  // A = B*B' + n*I.
  const double one = 1.0, zero = 0.0;
  ztr::ztr_blas_dgemm("N", "T", &n, &n, &n, &one, b.data(), &n, b.data(), &n, &zero, a.data(), &n);
  for (int j = 0; j < n; ++j) a[j + j * static_cast<std::size_t>(n)] += n;
  const double flops = static_cast<double>(n) * n * n / 3.0;
  const int calls = std::max(1, static_cast<int>(kBatchFlops / flops));
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  if (g_peer_threads != nullptr) g_peer_threads(threads);
  int info = 0;
  auto copy = [&] { std::memcpy(w.data(), a.data(), a.size() * sizeof(double)); };
  auto ztr = [&] {
    copy();
    ztr::ztr_lapack_dpotrf('L', n, w.data(), n, &info);
  };
  auto peer = [&] {
    copy();
    g_peer_potrf("L", &n, w.data(), &n, &info, 1);
  };
  double copy_wall = 1e30, copy_cpu = 1e30;
  // Per round, the time of one call; the best time of the copy is subtracted at the end.
  std::vector<double> ztr_wall, ztr_cpu, peer_wall, peer_cpu;
  ztr();
  if (g_peer_potrf != nullptr) peer();
  for (int r = 0; r < kRounds; ++r) {
    const Times c = batch_seconds(calls, copy);
    copy_wall = std::min(copy_wall, c.wall);
    copy_cpu = std::min(copy_cpu, c.cpu);
    if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
    const Times z = batch_seconds(calls, ztr);
    ztr_wall.push_back(z.wall);
    ztr_cpu.push_back(z.cpu);
    if (g_peer_potrf == nullptr) continue;
    if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
    const Times p = batch_seconds(calls, peer);
    peer_wall.push_back(p.wall);
    peer_cpu.push_back(p.cpu);
  }
  const double gz = flops / (best(ztr_wall) - copy_wall) * 1e-9;
  if (g_peer_potrf == nullptr) {
    std::printf("| %d | %d | %.2f | | | | | |\n", n, threads, gz);
    return;
  }
  const double gp = flops / (best(peer_wall) - copy_wall) * 1e-9;
  // Ratio of rates ZTR / peer = peer time / ZTR time.
  auto ratio = [](double peer_s, double ztr_s, double copy_s) {
    return (peer_s - copy_s) / (ztr_s - copy_s);
  };
  std::printf("| %d | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", n, threads, gz, gp,
              gz / gp, ratio(median(peer_wall), median(ztr_wall), copy_wall),
              ratio(best(peer_cpu), best(ztr_cpu), copy_cpu),
              ratio(median(peer_cpu), median(ztr_cpu), copy_cpu));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // The peer runs its AVX2 kernels unless the caller pins another core.
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  load_peer();
  std::vector<int> thread_counts, sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "n=", 2) == 0)
      sizes.push_back(std::atoi(argv[i] + 2));
    else
      thread_counts.push_back(std::atoi(argv[i]));
  }
  if (thread_counts.empty()) thread_counts = {1, 2};
  std::printf(
      "| n | threads | ZTR GFLOP/s | peer GFLOP/s | ratio best | ratio median | ratio best "
      "(processor time) | ratio median (processor time) |\n|---|---|---|---|---|---|---|---|\n");
  for (int threads : thread_counts) {
    std::vector<int> list = sizes;
    if (list.empty())
      list = threads == 1 ? std::vector<int>{16, 32, 48, 64, 96, 128, 192, 256, 500, 1000, 2000}
                          : std::vector<int>{256, 500, 1000, 2000};
    for (int n : list) compare(n, threads);
  }
  return 0;
}
