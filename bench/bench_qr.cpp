// QR factorization, Q generation and pivoted Cholesky through the C interface, beside the
// peer's dgeqrf_, dorgqr_ and dpstrf_ (looked up at run time with dlsym; nothing of the peer
// is linked).  Each case runs ours and the peer's alternately on the same matrix, so both
// see the same machine load; the figures are the median of the timed repetitions.
//
//   OPENBLAS_CORETYPE=Haswell ./bench_qr [repetitions [case filter [threads]]]
//
// Cases: LAPACKE_dgeqrf and LAPACKE_dorgqr at n = 2000 and 20000 x 200, LAPACKE_dpstrf at
// n = 2000 (rank 2000), on 1 and 2 threads.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ztr.h"
#include "bench_stats.h"

namespace {

using Geqrf = void (*)(const int*, const int*, double*, const int*, double*, double*, const int*,
                       int*);
using Orgqr = void (*)(const int*, const int*, const int*, double*, const int*, const double*,
                       double*, const int*, int*);
using Pstrf = void (*)(const char*, const int*, double*, const int*, int*, int*, const double*,
                       double*, int*, std::size_t);
using SetThreads = void (*)(int);

struct Peer {
  Geqrf geqrf = nullptr;
  Orgqr orgqr = nullptr;
  Pstrf pstrf = nullptr;
  SetThreads threads = nullptr;
};

Peer load_peer() {
  Peer p;
  const char* path = std::getenv("ZTR_PEER_BLAS");
  void* h = dlopen(path != nullptr ? path : ZTR_PEER_BLAS_DEFAULT, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return p;
  p.geqrf = reinterpret_cast<Geqrf>(dlsym(h, "dgeqrf_"));
  p.orgqr = reinterpret_cast<Orgqr>(dlsym(h, "dorgqr_"));
  p.pstrf = reinterpret_cast<Pstrf>(dlsym(h, "dpstrf_"));
  p.threads = reinterpret_cast<SetThreads>(dlsym(h, "openblas_set_num_threads"));
  return p;
}

std::vector<double> random_matrix(int m, int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> v(static_cast<std::size_t>(m) * n);
  for (double& x : v) x = d(gen);
  return v;
}

// A symmetric positive definite n x n matrix: G*G' + n*I for a random G.
std::vector<double> spd_matrix(int n) {
  std::vector<double> g = random_matrix(n, n, 3), a(static_cast<std::size_t>(n) * n);
  const double one = 1.0;
  // Built with our own QR-free product: a = G*G' by columns (the time is not measured).
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < n; ++p) s += g[i + p * n] * g[j + p * n];
      a[i + static_cast<std::size_t>(j) * n] = a[j + static_cast<std::size_t>(i) * n] =
          s + (i == j ? n * one : 0.0);
    }
  return a;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs ours and the peer's alternately `reps` times (after one warm-up each), each call on a
// fresh copy of its input; prints the medians and the ratio peer time / our time.
const char* g_filter = nullptr;  // run only the cases whose label contains it

template <typename Ours, typename Theirs>
void side_by_side(const char* what, int threads, double flops, int reps, Ours ours, Theirs theirs,
                  bool have_peer) {
  if (g_filter != nullptr && std::strstr(what, g_filter) == nullptr) return;
  std::vector<double> t_ours, t_peer;
  for (int r = 0; r <= reps; ++r) {
    const double a = ours();
    const double b = have_peer ? theirs() : 0.0;
    if (r == 0) continue;
    t_ours.push_back(a);
    t_peer.push_back(b);
  }
  const double mo = median(t_ours), mp = median(t_peer);
  std::printf("%-34s %d thr  ours %8.1f ms %6.1f GF/s", what, threads, mo * 1e3, flops / mo * 1e-9);
  if (have_peer)
    std::printf("  peer %8.1f ms %6.1f GF/s  ratio %.2f", mp * 1e3, flops / mp * 1e-9, mp / mo);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::atoi(argv[1]) : 3;
  g_filter = argc > 2 ? argv[2] : nullptr;
  const int only_threads = argc > 3 ? std::atoi(argv[3]) : 0;
  const Peer peer = load_peer();
  const bool have_peer = peer.geqrf != nullptr && peer.orgqr != nullptr && peer.pstrf != nullptr;
  if (!have_peer) std::printf("peer not found: our figures only\n");
  struct Shape {
    int m, n;
  };
  for (int threads : {1, 2}) {
    if (only_threads != 0 && threads != only_threads) continue;
    ZTR_Set_Dynamic(0);
    ZTR_Set_Num_Threads(threads);
    if (peer.threads != nullptr) peer.threads(threads);
    for (Shape s : {Shape{2000, 2000}, Shape{20000, 200}}) {
      const int m = s.m, n = s.n, k = std::min(m, n);
      const std::vector<double> a0 = random_matrix(m, n, 1);
      const double qr_flops = 2.0 * m * n * static_cast<double>(n) - 2.0 / 3.0 * n * n * n;
      std::vector<double> a, tau(k);
      auto ours_qr = [&] {
        a = a0;
        const auto t0 = std::chrono::steady_clock::now();
        LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, a.data(), m, tau.data());
        return seconds_since(t0);
      };
      auto peer_qr = [&] {
        a = a0;
        int lwork = -1, info = 0;
        double q = 0;
        peer.geqrf(&m, &n, a.data(), &m, tau.data(), &q, &lwork, &info);
        lwork = static_cast<int>(q);
        std::vector<double> work(lwork);
        const auto t0 = std::chrono::steady_clock::now();
        peer.geqrf(&m, &n, a.data(), &m, tau.data(), work.data(), &lwork, &info);
        return seconds_since(t0);
      };
      char label[64];
      std::snprintf(label, sizeof label, "dgeqrf %dx%d", m, n);
      side_by_side(label, threads, qr_flops, reps, ours_qr, peer_qr, have_peer);

      // Q from one factorization (ours; the reflectors are the same up to rounding).
      std::vector<double> f = a0;
      LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, f.data(), m, tau.data());
      auto ours_q = [&] {
        a = f;
        const auto t0 = std::chrono::steady_clock::now();
        LAPACKE_dorgqr(ZTR_COL_MAJOR, m, k, k, a.data(), m, tau.data());
        return seconds_since(t0);
      };
      auto peer_q = [&] {
        a = f;
        int lwork = -1, info = 0;
        double q = 0;
        peer.orgqr(&m, &k, &k, a.data(), &m, tau.data(), &q, &lwork, &info);
        lwork = static_cast<int>(q);
        std::vector<double> work(lwork);
        const auto t0 = std::chrono::steady_clock::now();
        peer.orgqr(&m, &k, &k, a.data(), &m, tau.data(), work.data(), &lwork, &info);
        return seconds_since(t0);
      };
      std::snprintf(label, sizeof label, "dorgqr %dx%d", m, n);
      side_by_side(label, threads, qr_flops, reps, ours_q, peer_q, have_peer);
    }
    const int n = 2000;
    if (g_filter != nullptr && std::strstr("dpstrf", g_filter) == nullptr) continue;
    static const std::vector<double> spd = spd_matrix(n);
    std::vector<double> a;
    std::vector<int> piv(n);
    int rank = 0;
    auto ours_p = [&] {
      a = spd;
      const auto t0 = std::chrono::steady_clock::now();
      LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a.data(), n, piv.data(), &rank, -1.0);
      return seconds_since(t0);
    };
    auto peer_p = [&] {
      a = spd;
      std::vector<double> work(2 * n);
      int info = 0;
      const double tol = -1.0;
      const auto t0 = std::chrono::steady_clock::now();
      peer.pstrf("L", &n, a.data(), &n, piv.data(), &rank, &tol, work.data(), &info, 1);
      return seconds_since(t0);
    };
    side_by_side("dpstrf 2000 'L'", threads, n * static_cast<double>(n) * n / 3.0, reps, ours_p,
                 peer_p, have_peer);
  }
  return 0;
}
