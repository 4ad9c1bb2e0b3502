// The ZTR demo: shows what the library knows about this machine and how it will use it.
// It needs no input; `./dev demo` builds and runs it.
#include <omp.h>

#include <cmath>
#include <chrono>
#include <cstdio>
#include <vector>

#include "include/ztr.h"
#include "service/cpu.h"
#include "service/memory.h"
#include "service/threads.h"

int main() {
  std::printf("ZTR demo\n========\n\n");

  const int threads = ZTR_Get_Max_Threads();
  const ztr::ThreadSettings s = ztr::thread_settings_snapshot();
  std::printf("Machine\n");
  if (s.topology_known) {
    std::printf("  logical processors   %d\n", s.logical_cpus);
    std::printf("  physical cores       %d in %d package(s)%s\n", s.physical_cores, s.packages,
                s.hyper_threading ? ", hyper-threaded" : "");
  } else {
    std::printf("  physical cores       undetermined (the process may not use every processor)\n");
  }
  std::printf("  OpenMP processors    %d\n", omp_get_num_procs());
  static const char* const kLevels[] = {"SSE2", "SSE3", "SSSE3", "SSE4.2", "AVX", "AVX2"};
  const int type = ztr::detect_cpu_type();
  std::printf("  kernel variant       CpuType %d (%s), hardware supports %d\n", type,
              kLevels[type - ztr::kCpuTypeMin], ztr::hardware_cpu_type());
  std::printf("  microarch class      %d\n", ztr::cpu_microarch());
  int caches[5];
  ztr::cache_table(caches);
  std::printf("  caches              ");
  for (int level = 1; level <= caches[0]; ++level)
    std::printf(" L%d %d KiB", level, caches[level] / 1024);
  std::printf("\n\n");

  std::printf("Thread settings\n");
  std::printf("  dynamic adjustment   %s\n", ztr::get_dynamic() ? "on" : "off");
  std::printf("  threads, all domains %d\n", threads);
  std::printf("  threads, BLAS        %d\n", ztr::domain_max_threads(ztr::kDomainBlas));
  std::printf("  threads, KORVINE     %d\n", ztr::domain_max_threads(ztr::kDomainKorvine));
  int inside = 0;
#pragma omp parallel num_threads(2)
  {
#pragma omp master
    inside = ZTR_Get_Max_Threads();
  }
  std::printf("  inside a parallel region of the caller: %d\n\n", inside);

  // The pool hands the same buffer back for the same request.
  void* a = ztr::mm_malloc(1 << 20, 128);
  ztr::mm_free(a);
  void* b = ztr::mm_malloc(1 << 20, 128);
  ztr::mm_free(b);
  std::printf("Memory manager\n");
  std::printf("  work buffers are pooled per thread: %s\n\n",
              a == b && !ztr::mm_pool_stats().disabled ? "yes (a 1 MiB buffer came back)" : "no");

  // x = 1, 2, ..., n against ones: the sum n(n+1)/2 is exact in double for this n, whatever
  // the order of additions; a negative increment walks x backwards, pairing x[n-1] with y[0].
  std::printf("Dot product (cblas_ddot)\n");
  const int n = 100000;
  std::vector<double> x(n), ones(n, 1.0), ramp(n);
  for (int i = 0; i < n; ++i) {
    x[i] = i + 1;
    ramp[i] = i;
  }
  std::printf("  1 + 2 + ... + %d     = %.0f (expected %.0f)\n", n,
              cblas_ddot(n, x.data(), 1, ones.data(), 1), 0.5 * n * (n + 1.0));
  // sum_i (n - i) * i with x reversed.
  double reversed = 0;
  for (int i = 0; i < n; ++i) reversed += (n - static_cast<double>(i)) * i;
  std::printf("  reversed x against 0..n-1 = %.0f (expected %.0f)\n\n",
              cblas_ddot(n, x.data(), -1, ramp.data(), 1), reversed);

  // The 1-D Laplacian tridiag(-1, 2, -1) stored as its lower triangle in zero-based CSR.  For
  // x_i = i + 1 every interior row of A*x is 0, the first is 0 and the last is m + 1.
  std::printf("Symmetric sparse product (ztr_cspblas_dcsrsymv)\n");
  const int m = 50000;
  std::vector<int> ia{0}, ja;
  std::vector<double> values;
  for (int r = 0; r < m; ++r) {
    if (r > 0) {
      ja.push_back(r - 1);
      values.push_back(-1.0);
    }
    ja.push_back(r);
    values.push_back(2.0);
    ia.push_back(static_cast<int>(ja.size()));
  }
  std::vector<double> xs(m), y(m);
  for (int i = 0; i < m; ++i) xs[i] = i + 1;
  ztr_cspblas_dcsrsymv("L", &m, values.data(), ia.data(), ja.data(), xs.data(), y.data());
  double worst = 0;
  for (int i = 0; i < m - 1; ++i) worst = std::fmax(worst, std::fabs(y[i]));
  std::printf("  %d rows, %zu stored entries (lower triangle)\n", m, values.size());
  std::printf("  largest |(A x)_i| over rows 0..m-2 = %g (expected 0)\n", worst);
  std::printf("  (A x)_{m-1} = %.0f (expected %d)\n", y[m - 1], m + 1);
  // Matrix multiply: the best of three calls, in GFLOP/s (2mnk floating-point operations).
  std::printf("\nMatrix multiply (DGEMM, 'N','N', best of 3)\n");
  for (int size : {500, 1000, 2000}) {
    std::vector<double> x(static_cast<std::size_t>(size) * size, 0.5), y = x, z = x;
    for (int t : {1, ztr::domain_max_threads(ztr::kDomainBlas)}) {
      ZTR_Set_Num_Threads(t);
      double best = 1e30;
      for (int rep = 0; rep < 3; ++rep) {
        const double one = 1.0;
        const auto t0 = std::chrono::steady_clock::now();
        DGEMM("N", "N", &size, &size, &size, &one, x.data(), &size, y.data(), &size, &one,
              z.data(), &size);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
      }
      std::printf("  n = m = k = %-5d %d thread(s)  %6.1f GFLOP/s\n", size, t,
                  2.0 * size * size * size / best * 1e-9);
      if (t == 1 && threads == 1) break;
    }
  }
  return 0;
}
