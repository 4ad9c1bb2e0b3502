// Divide and conquer that updates a given orthogonal matrix (dstedc with compz 'V'), side by
// side in one run with two alternatives on the same tridiagonal matrix and Q (from the
// reduction of a random symmetric matrix): the library's own vectors of T followed by one
// product with Q (compz 'I' and a dgemm), and the peer's dstedc_ with compz 'V' (looked up at
// run time in the peer library given as the first argument; never linked).  Minimum and
// median times and the ratios are printed per thread count.
//
//   ./bench_dstedc_given_basis [peer-library] [order] [repetitions]
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "blas/gemm/gemm.h"
#include "include/ztr.h"
#include "lapack/orgtr/orgtr.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/tridiagonal/dstedc.h"
#include "bench_stats.h"

namespace {

using PeerStedc = void (*)(const char*, const int*, double*, double*, double*, const int*, double*,
                           const int*, int*, const int*, int*);
using PeerThreads = void (*)(int);

double time_once(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const char* path =
      argc > 1 ? argv[1] : "/usr/lib/x86_64-linux-gnu/openblas-pthread/libopenblas.so.0";
  int n = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int reps = argc > 3 ? std::atoi(argv[3]) : 3;
  void* peer = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  PeerStedc peer_stedc = peer ? reinterpret_cast<PeerStedc>(dlsym(peer, "dstedc_")) : nullptr;
  PeerThreads peer_threads =
      peer ? reinterpret_cast<PeerThreads>(dlsym(peer, "openblas_set_num_threads")) : nullptr;
  if (peer_stedc == nullptr) std::printf("peer not available: library only\n");

  std::mt19937 gen(42);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> q(static_cast<size_t>(n) * n), d(n), e(n), tau(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i)
      q[i + static_cast<size_t>(j) * n] = q[j + static_cast<size_t>(i) * n] = u(gen);
  int lwork = 64 * n, info = 0;
  std::vector<double> w64(lwork);
  ztr::ztr_lapack_dsytrd("L", &n, q.data(), &n, d.data(), e.data(), tau.data(), w64.data(), &lwork,
                         &info);
  ztr::dorgtr("L", &n, q.data(), &n, tau.data(), w64.data(), &lwork, &info);

  int lg = 0;
  while ((1 << lg) < n) ++lg;
  const int lw = 1 + 3 * n + 2 * n * lg + 4 * n * n, liw = 6 + 6 * n + 5 * n * lg;
  std::vector<double> work(lw), z, zi(static_cast<size_t>(n) * n), dd, ee;
  std::vector<int> iwork(liw);
  ZTR_Set_Dynamic(0);
  for (int threads : {1, 2}) {
    ZTR_Set_Num_Threads(threads);
    if (peer_threads) peer_threads(threads);
    std::vector<double> given, product, theirs;
    for (int r = 0; r < reps; ++r) {
      given.push_back(time_once([&] {
        z = q, dd = d, ee = e;
        ztr::dstedc("V", &n, dd.data(), ee.data(), z.data(), &n, work.data(), &lw, iwork.data(),
                    &liw, &info);
      }));
      product.push_back(time_once([&] {
        z = q, dd = d, ee = e;
        ztr::dstedc("I", &n, dd.data(), ee.data(), zi.data(), &n, work.data(), &lw, iwork.data(),
                    &liw, &info);
        const double one = 1.0, zero = 0.0;
        std::vector<double> out(z.size());
        ztr::ztr_blas_dgemm("N", "N", &n, &n, &n, &one, z.data(), &n, zi.data(), &n, &zero,
                            out.data(), &n);
      }));
      if (peer_stedc) {
        theirs.push_back(time_once([&] {
          z = q, dd = d, ee = e;
          const char v = 'V';
          peer_stedc(&v, &n, dd.data(), ee.data(), z.data(), &n, work.data(), &lw, iwork.data(),
                     &liw, &info);
        }));
      }
    }
    std::printf(
        "n %d threads %d: 'V' min %.3f s median %.3f s | 'I' + product min %.3f s (ratio %.2f)", n,
        threads, *std::min_element(given.begin(), given.end()), median(given),
        *std::min_element(product.begin(), product.end()), median(given) / median(product));
    if (!theirs.empty())
      std::printf(" | peer 'V' min %.3f s median %.3f s (ratio of medians %.2f)",
                  *std::min_element(theirs.begin(), theirs.end()), median(theirs),
                  median(given) / median(theirs));
    std::printf("\n");
  }
  return 0;
}
