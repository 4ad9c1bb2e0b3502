// The generalized symmetric-definite eigensolvers of ZTR (the exports LAPACKE_dsygv and
// LAPACKE_dsygvd, column-major, jobz 'V') against a peer LAPACK's dsygv and dsygvd, side by
// side in one run.
//
// The peer is loaded at run time (dlopen, private namespace) from ZTR_PEER_BLAS or the
// configured default path and called through its Fortran interface with the workspace its
// own query asks for; it is never linked into the library or its tests.  Every case
// alternates the two libraries for several rounds and keeps the best time of each.
//
//   bench_sygv [n [threads [rounds]]]     (default: 2000, 2, 3)
// prints one line per driver: seconds of both and the time ratio ZTR / peer.
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

namespace {

using PeerSygv = void (*)(const int*, const char*, const char*, const int*, double*, const int*,
                          double*, const int*, double*, double*, const int*, int*, std::size_t,
                          std::size_t);
using PeerSygvd = void (*)(const int*, const char*, const char*, const int*, double*, const int*,
                           double*, const int*, double*, double*, const int*, int*, const int*,
                           int*, std::size_t, std::size_t);
using PeerThreads = void (*)(int);

struct Peer {
  PeerSygv sygv = nullptr;
  PeerSygvd sygvd = nullptr;
  PeerThreads threads = nullptr;
};

Peer load_peer() {
  Peer p;
  const char* path = std::getenv("ZTR_PEER_BLAS");
  if (path == nullptr) path = ZTR_PEER_BLAS_DEFAULT;
  void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "peer not loaded (%s): ZTR only\n", dlerror());
    return p;
  }
  p.sygv = reinterpret_cast<PeerSygv>(dlsym(h, "dsygv_"));
  p.sygvd = reinterpret_cast<PeerSygvd>(dlsym(h, "dsygvd_"));
  p.threads = reinterpret_cast<PeerThreads>(dlsym(h, "openblas_set_num_threads"));
  return p;
}

template <typename Call>
double seconds(Call call) {
  const auto t0 = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const Peer peer = load_peer();
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  if (peer.threads != nullptr) peer.threads(threads);

  // A random symmetric A and B = M*M' + n*I.
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1, 1);
  const std::size_t nn = static_cast<std::size_t>(n) * n;
  std::vector<double> a0(nn), b0(nn), m(nn);
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i)
      a0[i + j * static_cast<std::size_t>(n)] = a0[j + i * static_cast<std::size_t>(n)] = u(gen);
  for (double& x : m) x = u(gen);
  const double one = 1.0, zero = 0.0;
  ztr::ztr_blas_dgemm("N", "T", &n, &n, &n, &one, m.data(), &n, m.data(), &n, &zero, b0.data(), &n);
  for (int j = 0; j < n; ++j) b0[j + j * static_cast<std::size_t>(n)] += n;
  std::vector<double> a(nn), b(nn), w(n);
  const int itype = 1;
  int info = 0;
  auto fresh = [&] {
    a = a0;
    b = b0;
  };
  auto ztr_sygv = [&] {
    info = LAPACKE_dsygv(ZTR_COL_MAJOR, itype, 'V', 'L', n, a.data(), n, b.data(), n, w.data());
  };
  auto ztr_sygvd = [&] {
    info = LAPACKE_dsygvd(ZTR_COL_MAJOR, itype, 'V', 'L', n, a.data(), n, b.data(), n, w.data());
  };
  auto peer_sygv = [&] {
    int lwork = -1;
    double q = 0;
    peer.sygv(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), &q, &lwork, &info, 1, 1);
    lwork = static_cast<int>(q);
    std::vector<double> work(lwork);
    peer.sygv(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), work.data(), &lwork,
              &info, 1, 1);
  };
  auto peer_sygvd = [&] {
    int lwork = -1, liwork = -1, iq = 0;
    double q = 0;
    peer.sygvd(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), &q, &lwork, &iq, &liwork,
               &info, 1, 1);
    lwork = static_cast<int>(q);
    liwork = iq;
    std::vector<double> work(lwork);
    std::vector<int> iwork(liwork);
    peer.sygvd(&itype, "V", "L", &n, a.data(), &n, b.data(), &n, w.data(), work.data(), &lwork,
               iwork.data(), &liwork, &info, 1, 1);
  };
  std::printf(
      "| driver | n | threads | ZTR s | peer s | time ratio ZTR/peer "
      "|\n|---|---|---|---|---|---|\n");
  for (int which = 0; which < 2; ++which) {
    double best_z = 1e30, best_p = 1e30;
    for (int r = 0; r < rounds; ++r) {
      fresh();
      best_z = std::min(best_z, seconds(which == 0 ? std::function<void()>(ztr_sygv)
                                                   : std::function<void()>(ztr_sygvd)));
      if (info != 0) std::fprintf(stderr, "ZTR info %d\n", info);
      if ((which == 0 ? peer.sygv == nullptr : peer.sygvd == nullptr)) continue;
      fresh();
      best_p = std::min(best_p, seconds(which == 0 ? std::function<void()>(peer_sygv)
                                                   : std::function<void()>(peer_sygvd)));
      if (info != 0) std::fprintf(stderr, "peer info %d\n", info);
    }
    std::printf("| %s | %d | %d | %.3f | %.3f | %.2f |\n", which == 0 ? "dsygv" : "dsygvd", n,
                threads, best_z, best_p, best_z / best_p);
    std::fflush(stdout);
  }
  return 0;
}
