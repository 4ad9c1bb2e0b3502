// The symmetric eigensolver against the peer's, side by side in one run: LAPACKE_dsyevd
// (jobz 'V' and 'N') and the peer's dsyevd_ (looked up at run time in the peer library given
// as the first argument; never linked) alternate on the same matrix, each repeated; the
// minimum and median times and their ratio are printed per job and thread count, with the
// split of the library's time between reduction, tridiagonal solve and back-transformation.
//
//   ./bench_syevd [peer-library] [order] [repetitions]
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "include/ztr.h"
#include "lapack/ormtr/ormtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/tridiagonal/dstedc.h"
#include "bench_stats.h"

namespace {

using PeerSyevd = void (*)(const char*, const char*, const int*, double*, const int*, double*,
                           double*, const int*, int*, const int*, int*);
using PeerThreads = void (*)(int);

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<double> random_symmetric(int n) {
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> a(static_cast<size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i)
      a[i + static_cast<size_t>(j) * n] = a[j + static_cast<size_t>(i) * n] = u(gen);
  return a;
}

// The library's three stages, timed one by one on the same matrix.
void split(int n, const std::vector<double>& a0) {
  std::vector<double> a = a0, d(n), e(n), tau(n), z(static_cast<size_t>(n) * n);
  const int lwork = 1 + 6 * n + 2 * n * n, liwork = 3 + 5 * n;
  std::vector<double> work(lwork);
  std::vector<int> iwork(liwork);
  int info = 0;
  auto t0 = std::chrono::steady_clock::now();
  ztr::ztr_lapack_dsytrd("L", &n, a.data(), &n, d.data(), e.data(), tau.data(), work.data(), &lwork,
                         &info);
  const double t_red = seconds_since(t0);
  t0 = std::chrono::steady_clock::now();
  ztr::dstedc("I", &n, d.data(), e.data(), z.data(), &n, work.data(), &lwork, iwork.data(), &liwork,
              &info);
  const double t_tri = seconds_since(t0);
  t0 = std::chrono::steady_clock::now();
  ztr::dormtr("L", "L", "N", &n, &n, a.data(), &n, tau.data(), z.data(), &n, work.data(), &lwork,
              &info);
  const double t_back = seconds_since(t0);
  const double total = t_red + t_tri + t_back;
  std::printf(
      "  split: reduction %.3f s (%.0f%%), tridiagonal %.3f s (%.0f%%), back %.3f s (%.0f%%)\n",
      t_red, 100 * t_red / total, t_tri, 100 * t_tri / total, t_back, 100 * t_back / total);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path =
      argc > 1 ? argv[1] : "/usr/lib/x86_64-linux-gnu/openblas-pthread/libopenblas.so.0";
  const int n = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int reps = argc > 3 ? std::atoi(argv[3]) : 3;
  void* peer = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  PeerSyevd peer_syevd = peer ? reinterpret_cast<PeerSyevd>(dlsym(peer, "dsyevd_")) : nullptr;
  PeerThreads peer_threads =
      peer ? reinterpret_cast<PeerThreads>(dlsym(peer, "openblas_set_num_threads")) : nullptr;
  if (peer_syevd == nullptr) std::printf("peer not available: library only\n");
  const std::vector<double> a0 = random_symmetric(n);
  ZTR_Set_Dynamic(0);
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    if (peer_threads) peer_threads(threads);
    for (char jobz : {'V', 'N'}) {
      std::vector<double> ours, theirs;
      for (int r = 0; r < reps; ++r) {
        std::vector<double> a = a0, w(n);
        auto t0 = std::chrono::steady_clock::now();
        LAPACKE_dsyevd(ZTR_COL_MAJOR, jobz, 'L', n, a.data(), n, w.data());
        ours.push_back(seconds_since(t0));
        if (peer_syevd) {
          a = a0;
          int lwork = -1, liwork = -1, iq = 0, info = 0;
          double wq = 0;
          const char j = jobz, u = 'L';
          peer_syevd(&j, &u, &n, a.data(), &n, w.data(), &wq, &lwork, &iq, &liwork, &info);
          lwork = static_cast<int>(wq);
          liwork = iq;
          std::vector<double> work(lwork);
          std::vector<int> iwork(liwork);
          t0 = std::chrono::steady_clock::now();
          peer_syevd(&j, &u, &n, a.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork,
                     &info);
          theirs.push_back(seconds_since(t0));
        }
      }
      const double om = *std::min_element(ours.begin(), ours.end());
      std::printf("n %d threads %d jobz %c: library min %.3f s median %.3f s", n, threads, jobz, om,
                  median(ours));
      if (!theirs.empty()) {
        const double tm = *std::min_element(theirs.begin(), theirs.end());
        std::printf(" | peer min %.3f s median %.3f s | ratio (min) %.2f (median) %.2f", tm,
                    median(theirs), om / tm, median(ours) / median(theirs));
      }
      std::printf("\n");
    }
    split(n, a0);
  }
  return 0;
}
