// Cholesky factorization of ZTR (the internal ztr_lapack_dpotrf) against a peer LAPACK's
// dpotrf, side by side in one run.
//
// The peer is loaded at run time (dlopen, private namespace) from ZTR_PEER_BLAS or the
// configured default path and called through its Fortran interface only; it is never linked
// into the library or its tests.  Every size alternates the two libraries, a batch of calls
// of one and then of the other, for several rounds, and keeps the best batch of each: on a
// machine shared with other jobs interference only ever adds time.  Each call factors a fresh
// copy of the matrix; the time of the copy alone is measured the same way and subtracted.
//
//   bench_potrf [threads...]     (default: 1 and 2)
// prints one line per size and thread count: GFLOP/s (n^3/3 per call) of both and the ratio.
#include <dlfcn.h>

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

constexpr int kRounds = 7;
constexpr double kBatchFlops = 3.0e8;
constexpr auto kSwitchPause = std::chrono::milliseconds(100);

template <typename Call>
double batch_seconds(int calls, Call call) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
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
  double best_copy = 1e30, best_ztr = 1e30, best_peer = 1e30;
  ztr();
  if (g_peer_potrf != nullptr) peer();
  for (int r = 0; r < kRounds; ++r) {
    best_copy = std::min(best_copy, batch_seconds(calls, copy));
    if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
    best_ztr = std::min(best_ztr, batch_seconds(calls, ztr));
    if (g_peer_potrf == nullptr) continue;
    if (threads > 1) std::this_thread::sleep_for(kSwitchPause);
    best_peer = std::min(best_peer, batch_seconds(calls, peer));
  }
  const double gz = flops / (best_ztr - best_copy) * 1e-9;
  if (g_peer_potrf == nullptr) {
    std::printf("| %d | %d | %.2f | | |\n", n, threads, gz);
    return;
  }
  const double gp = flops / (best_peer - best_copy) * 1e-9;
  std::printf("| %d | %d | %.2f | %.2f | %.2f |\n", n, threads, gz, gp, gz / gp);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // The peer runs its AVX2 kernels unless the caller pins another core.
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  load_peer();
  std::vector<int> thread_counts;
  for (int i = 1; i < argc; ++i) thread_counts.push_back(std::atoi(argv[i]));
  if (thread_counts.empty()) thread_counts = {1, 2};
  std::printf("| n | threads | ZTR GFLOP/s | peer GFLOP/s | ratio |\n|---|---|---|---|---|\n");
  for (int threads : thread_counts) {
    const std::vector<int> sizes =
        threads == 1 ? std::vector<int>{16, 32, 48, 64, 96, 128, 192, 256, 500, 1000, 2000}
                     : std::vector<int>{256, 500, 1000, 2000};
    for (int n : sizes) compare(n, threads);
  }
  return 0;
}
