// The ZTR demo: shows what the library knows about this machine and how it will use it.
// It needs no input; `./dev demo` builds and runs it.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "blas/gemm/gemm.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/memory.h"
#include "service/threads.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Largest column sum of |x|.
double norm1(int m, int n, const std::vector<double>& x) {
  double worst = 0;
  for (int j = 0; j < n; ++j) {
    double s = 0;
    for (int i = 0; i < m; ++i) s += std::fabs(x[i + static_cast<size_t>(j) * m]);
    worst = std::max(worst, s);
  }
  return worst;
}

// Factors and inverts a random matrix through the C interface, and checks both results by
// their residuals relative to n * eps.
void lu_and_inverse(int n) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> a0(static_cast<size_t>(n) * n);
  for (double& v : a0) v = d(gen);
  std::vector<double> a = a0;
  std::vector<int> ipiv(n);

  auto t0 = std::chrono::steady_clock::now();
  const int info_f = LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, a.data(), n, ipiv.data());
  const double t_lu = seconds_since(t0);
  // P*A - L*U: L and U taken apart, multiplied, and compared with A's rows in pivot order.
  std::vector<double> l(a.size(), 0.0), u(a.size(), 0.0), pa = a0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const size_t k = i + static_cast<size_t>(j) * n;
      if (i > j)
        l[k] = a[k];
      else
        u[k] = a[k];
      if (i == j) l[k] = 1.0;
    }
  for (int j = 0; j < n; ++j)
    if (ipiv[j] - 1 != j)
      for (int c = 0; c < n; ++c)
        std::swap(pa[j + static_cast<size_t>(c) * n], pa[ipiv[j] - 1 + static_cast<size_t>(c) * n]);
  const double one = 1.0, minus_one = -1.0;
  ztr::ztr_blas_dgemm("N", "N", &n, &n, &n, &minus_one, l.data(), &n, u.data(), &n, &one, pa.data(),
                      &n);
  const double eps = 1.1102230246251565e-16;
  const double lu_residual = norm1(n, n, pa) / (norm1(n, n, a0) * n * eps);

  t0 = std::chrono::steady_clock::now();
  const int info_i = LAPACKE_dgetri(ZTR_COL_MAJOR, n, a.data(), n, ipiv.data());
  const double t_inv = seconds_since(t0);
  std::vector<double> r(a.size(), 0.0);
  for (int i = 0; i < n; ++i) r[i + static_cast<size_t>(i) * n] = -1.0;
  ztr::ztr_blas_dgemm("N", "N", &n, &n, &n, &one, a0.data(), &n, a.data(), &n, &one, r.data(), &n);
  const double inv_residual = norm1(n, n, r) / (norm1(n, n, a0) * norm1(n, n, a) * n * eps);

  const double nn = static_cast<double>(n);
  std::printf("LU factorization and inverse, random %d x %d matrix\n", n, n);
  std::printf(
      "  LAPACKE_dgetrf  info %d  %7.3f s  %6.2f GFLOP/s  ||PA - LU|| / (||A|| n eps) = %.3f\n",
      info_f, t_lu, 2.0 * nn * nn * nn / 3.0 / t_lu * 1e-9, lu_residual);
  std::printf(
      "  LAPACKE_dgetri  info %d  %7.3f s  %6.2f GFLOP/s  ||A inv(A) - I|| / (||A|| ||inv(A)|| n "
      "eps) = %.3f\n\n",
      info_i, t_inv, 4.0 * nn * nn * nn / 3.0 / t_inv * 1e-9, inv_residual);
}

// Solves the 7-point Laplacian of an m x m x m grid (shifted to be positive definite) with
// the sparse direct solver, message level 1 (the solver prints its report), and checks the
// solution by its residual.
void sparse_solve(int m) {
  std::printf("\nSparse direct solver (KORVINE, symmetric positive definite, %d^3 grid)\n", m);
  const int n = m * m * m;
  std::vector<int> ia{1}, ja;
  std::vector<double> a;
  auto id = [m](int x, int y, int z) { return (z * m + y) * m + x; };
  for (int z = 0; z < m; ++z)
    for (int y = 0; y < m; ++y)
      for (int x = 0; x < m; ++x) {
        // Upper triangle, one-based: the diagonal, then the +x, +y, +z neighbours.
        ja.push_back(id(x, y, z) + 1);
        a.push_back(6.5);
        if (x + 1 < m) ja.push_back(id(x + 1, y, z) + 1), a.push_back(-1);
        if (y + 1 < m) ja.push_back(id(x, y + 1, z) + 1), a.push_back(-1);
        if (z + 1 < m) ja.push_back(id(x, y, z + 1) + 1), a.push_back(-1);
        ia.push_back(static_cast<int>(ja.size()) + 1);
      }
  std::vector<double> b(n, 1.0), x(n);
  void* pt[64] = {};
  int iparm[64] = {};
  int maxfct = 1, mnum = 1, mtype = 2, phase = 13, nrhs = 1, msglvl = 1, error = 0;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a.data(), ia.data(), ja.data(), nullptr, &nrhs,
          iparm, &msglvl, b.data(), x.data(), &error);
  // ||b - A x||_inf with A applied from its upper triangle.
  std::vector<double> r = b;
  for (int i = 0; i < n; ++i)
    for (int k = ia[i] - 1; k < ia[i + 1] - 1; ++k) {
      const int j = ja[k] - 1;
      r[i] -= a[k] * x[j];
      if (j != i) r[j] -= a[k] * x[i];
    }
  double worst = 0;
  for (double v : r) worst = std::fmax(worst, std::fabs(v));
  std::printf("\n  error %d, ||b - A x||_inf = %.2e\n", error, worst);
  phase = -1;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, nullptr, nullptr, nullptr, nullptr, &nrhs, iparm,
          &msglvl, nullptr, nullptr, &error);
}

// Factors a random tall matrix through the C interface, forms Q, and checks ||A - QR|| and
// ||Q'Q - I|| relative to m * eps.
void qr_factorization(int m, int n) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> a0(static_cast<size_t>(m) * n);
  for (double& v : a0) v = d(gen);
  std::vector<double> a = a0, tau(n);

  auto t0 = std::chrono::steady_clock::now();
  const int info_f = LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, a.data(), m, tau.data());
  const double t_qr = seconds_since(t0);
  std::vector<double> r(static_cast<size_t>(n) * n, 0.0), q = a;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i)
      r[i + static_cast<size_t>(j) * n] = a[i + static_cast<size_t>(j) * m];
  t0 = std::chrono::steady_clock::now();
  const int info_q = LAPACKE_dorgqr(ZTR_COL_MAJOR, m, n, n, q.data(), m, tau.data());
  const double t_q = seconds_since(t0);

  const double one = 1.0, minus_one = -1.0, zero = 0.0;
  std::vector<double> diff = a0, gram(static_cast<size_t>(n) * n, 0.0);
  ztr::ztr_blas_dgemm("N", "N", &m, &n, &n, &minus_one, q.data(), &m, r.data(), &n, &one,
                      diff.data(), &m);
  ztr::ztr_blas_dgemm("T", "N", &n, &n, &m, &one, q.data(), &m, q.data(), &m, &zero, gram.data(),
                      &n);
  for (int i = 0; i < n; ++i) gram[i + static_cast<size_t>(i) * n] -= 1.0;
  const double eps = 1.1102230246251565e-16;
  const double qr_residual = norm1(m, n, diff) / (norm1(m, n, a0) * m * eps);
  const double orthogonality = norm1(n, n, gram) / (m * eps);
  const double flops = 2.0 * m * n * static_cast<double>(n) - 2.0 / 3.0 * n * n * n;
  std::printf("QR factorization, random %d x %d matrix\n", m, n);
  std::printf(
      "  LAPACKE_dgeqrf  info %d  %7.3f s  %6.2f GFLOP/s  ||A - QR|| / (||A|| m eps) = %.3f\n",
      info_f, t_qr, flops / t_qr * 1e-9, qr_residual);
  std::printf("  LAPACKE_dorgqr  info %d  %7.3f s  %6.2f GFLOP/s  ||Q'Q - I|| / (m eps) = %.3f\n\n",
              info_q, t_q, flops / t_q * 1e-9, orthogonality);
}

}  // namespace

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
        DGEMM("N", "N", &size, &size, &size, &one, x.data(), &size, y.data(), &size, &one, z.data(),
              &size);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
      }
      std::printf("  n = m = k = %-5d %d thread(s)  %6.1f GFLOP/s\n", size, t,
                  2.0 * size * size * size / best * 1e-9);
      if (t == 1 && threads == 1) break;
    }
  }

  lu_and_inverse(1000);
  sparse_solve(20);
  qr_factorization(3000, 600);
  return 0;
}
