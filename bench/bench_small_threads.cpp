// Small problems on two threads against one: every threaded export at orders 50 to 500,
// the two thread counts alternating batch by batch in one process, so that a loss from
// the thread decision or the waits shows as a ratio above one whatever else the machine does.
//
//   bench_small_threads [rounds] [n=N...]     (default: 7 rounds, orders 50 100 200 300 500)
// prints per export and order the best and the median batch time of two threads divided by
// that of one thread (wall clock; each batch factors fresh copies, the copy timed alone and
// subtracted).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_stats.h"
#include "include/ztr.h"

namespace {

// About this many flops per batch, so that a batch lasts a few milliseconds at every order.
constexpr double kBatchFlops = 4e7;

struct Driver {
  const char* name;
  double flops;  // per call, in units of n^3
  // Runs the export on x (a fresh copy of the n x n input, y a second one where needed).
  std::function<void(int n, double* x, double* y, double* out, int* ipiv)> call;
};

std::vector<Driver> drivers() {
  return {
      {"DGEMM", 2.0,
       [](int n, double* x, double* y, double* out, int*) {
         const double one = 1.0, zero = 0.0;
         DGEMM("N", "N", &n, &n, &n, &one, x, &n, y, &n, &zero, out, &n);
       }},
      {"LAPACKE_dgetrf", 2.0 / 3,
       [](int n, double* x, double*, double*, int* ipiv) {
         LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, x, n, ipiv);
       }},
      {"LAPACKE_dgetri", 4.0 / 3,  // the inverse after the factorization, both timed
       [](int n, double* x, double*, double*, int* ipiv) {
         LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, x, n, ipiv);
         LAPACKE_dgetri(ZTR_COL_MAJOR, n, x, n, ipiv);
       }},
      {"LAPACKE_dgeqrf", 4.0 / 3,
       [](int n, double* x, double*, double* out, int*) {
         LAPACKE_dgeqrf(ZTR_COL_MAJOR, n, n, x, n, out);
       }},
      {"LAPACKE_dorgqr", 8.0 / 3,  // with its factorization
       [](int n, double* x, double*, double* out, int*) {
         LAPACKE_dgeqrf(ZTR_COL_MAJOR, n, n, x, n, out);
         LAPACKE_dorgqr(ZTR_COL_MAJOR, n, n, n, x, n, out);
       }},
      {"LAPACKE_dpstrf", 1.0 / 3,
       [](int n, double*, double* y, double*, int* ipiv) {
         int rank = 0;
         LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, y, n, ipiv, &rank, -1.0);
       }},
      {"LAPACKE_dsyevd", 4.0,
       [](int n, double* x, double*, double* out, int*) {
         LAPACKE_dsyevd(ZTR_COL_MAJOR, 'V', 'L', n, x, n, out);
       }},
      {"LAPACKE_dsyevr", 4.0,
       [](int n, double* x, double* y, double* out, int* ipiv) {
         int m = 0;
         LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'A', 'L', n, x, n, 0, 0, 0, 0, 0.0, &m, out, y, n,
                        ipiv);
       }},
      {"LAPACKE_dsygv", 6.0,
       [](int n, double* x, double* y, double* out, int*) {
         LAPACKE_dsygv(ZTR_COL_MAJOR, 1, 'V', 'L', n, x, n, y, n, out);
       }},
      {"LAPACKE_dsygvd", 6.0,
       [](int n, double* x, double* y, double* out, int*) {
         LAPACKE_dsygvd(ZTR_COL_MAJOR, 1, 'V', 'L', n, x, n, y, n, out);
       }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  std::vector<int> orders;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "n=", 2) == 0)
      orders.push_back(std::atoi(argv[i] + 2));
    else
      rounds = std::max(1, std::atoi(argv[i]));
  }
  if (orders.empty()) orders = {50, 100, 200, 300, 500};
  std::printf("%-16s %5s %10s %10s  (two threads' time / one thread's)\n", "export", "n", "best",
              "median");
  for (int n : orders) {
    const std::size_t nn = static_cast<std::size_t>(n) * n;
    std::mt19937 rng(n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    // x: symmetric with a dominant diagonal (fits every driver); y: positive definite.
    std::vector<double> x(nn), y(nn);
    auto at = [n](std::vector<double>& v, int i, int j) -> double& {
      return v[i + static_cast<std::size_t>(j) * n];
    };
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i) {
        at(x, i, j) = at(x, j, i) = u(rng);
        at(y, i, j) = at(y, j, i) = 0.1 * u(rng);
      }
    for (int i = 0; i < n; ++i) {
      at(x, i, i) += n;
      at(y, i, i) += n;
    }
    std::vector<double> cx(nn), cy(nn), out(std::max<std::size_t>(nn, 1));
    std::vector<int> ipiv(2 * n);
    for (const Driver& d : drivers()) {
      const int reps =
          std::max(1, static_cast<int>(kBatchFlops / (d.flops * n * static_cast<double>(nn))));
      auto batch = [&](int threads, bool work) {
        ZTR_Set_Num_Threads(threads);
        const double t0 = now();
        for (int r = 0; r < reps; ++r) {
          cx = x;
          cy = y;
          if (work) d.call(n, cx.data(), cy.data(), out.data(), ipiv.data());
        }
        return now() - t0;
      };
      batch(2, true);  // warm-up: buffers, thread pool
      std::vector<double> ratios;
      double best1 = 1e30, best2 = 1e30;
      for (int r = 0; r < rounds; ++r) {
        const double copy = batch(1, false);
        const double t1 = batch(1, true) - copy;
        const double t2 = batch(2, true) - copy;
        best1 = std::min(best1, t1);
        best2 = std::min(best2, t2);
        ratios.push_back(t2 / t1);
      }
      std::printf("%-16s %5d %10.3f %10.3f\n", d.name, n, best2 / best1, median(ratios));
      std::fflush(stdout);
    }
  }
  return 0;
}
