// The Cholesky panel solve: DTRSM with a 256-order triangle on a 1744-row (right side, lower
// factor transposed) or 1744-column (left side, upper factor transposed) panel, against the
// multiply of the same shape (the rate the solve should approach) and the peer's DTRSM,
// loaded at run time (never linked).  The three alternate, a batch of each per round.
//
//   bench_panel_solve [threads] [rounds]
// prints per case the best and median GFLOP/s (processor time with one thread, wall clock
// otherwise) of ZTR's solve, ZTR's multiply and the peer's solve.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "include/ztr.h"
#include "bench_stats.h"

namespace {

using Trsm = void (*)(const char*, const char*, const char*, const char*, const int*, const int*,
                      const double*, const double*, const int*, double*, const int*);
using SetThreads = void (*)(int);

double now(bool cpu) {
  timespec t;
  clock_gettime(cpu ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 1;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  const bool cpu = threads == 1;
  Trsm peer = nullptr;
  if (void* h = dlopen(ZTR_PEER_BLAS_DEFAULT, RTLD_NOW | RTLD_LOCAL)) {
    peer = reinterpret_cast<Trsm>(dlsym(h, "dtrsm_"));
    if (auto set = reinterpret_cast<SetThreads>(dlsym(h, "openblas_set_num_threads"))) set(threads);
  }
  ZTR_Set_Num_Threads(threads);
  const int big = 1744, nb = argc > 3 ? std::atoi(argv[3]) : 256, batch = 20;
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(nb * nb), x(static_cast<size_t>(big) * nb), c(x.size());
  for (int j = 0; j < nb; ++j)
    for (int i = 0; i < nb; ++i) a[i + j * nb] = i == j ? nb : u(gen);
  for (double& v : x) v = u(gen);
  const double one = 1.0, minus = -1.0, flops = static_cast<double>(big) * nb * nb;
  for (char side : {'R', 'L'}) {
    const char uplo = side == 'R' ? 'L' : 'U';
    const int m = side == 'R' ? big : nb, n = side == 'R' ? nb : big;
    std::vector<double> rate[3];
    for (int r = 0; r < rounds; ++r)
      for (int who = 0; who < 3; ++who) {
        if (who == 2 && peer == nullptr) continue;
        const double t0 = now(cpu);
        for (int b = 0; b < batch; ++b) {
          c = x;
          if (who == 0)
            ztr::ztr_blas_dtrsm(&side, &uplo, "T", "N", &m, &n, &one, a.data(), &nb, c.data(), &m);
          else if (who == 2)
            peer(&side, &uplo, "T", "N", &m, &n, &one, a.data(), &nb, c.data(), &m);
          else if (side == 'R')  // the panel update of the same shape: 1744 x 256 x 256
            ztr::ztr_blas_dgemm("N", "T", &m, &n, &nb, &minus, x.data(), &m, a.data(), &nb, &one,
                                c.data(), &m);
          else
            ztr::ztr_blas_dgemm("T", "N", &m, &n, &nb, &minus, a.data(), &nb, x.data(), &m, &one,
                                c.data(), &m);
        }
        rate[who].push_back(batch * flops * (who == 1 ? 2.0 : 1.0) / (now(cpu) - t0) * 1e-9);
      }
    std::printf("side %c %dx%d, %d thread(s), GFLOP/s best/median (%s):\n", side, m, n, threads,
                cpu ? "processor time" : "wall clock");
    const char* names[3] = {"ztr dtrsm", "ztr dgemm", "peer dtrsm"};
    for (int who = 0; who < 3; ++who)
      if (!rate[who].empty())
        std::printf("  %-10s %6.1f %6.1f\n", names[who],
                    *std::max_element(rate[who].begin(), rate[who].end()), median(rate[who]));
  }
  return 0;
}
