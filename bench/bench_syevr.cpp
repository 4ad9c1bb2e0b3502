// The symmetric eigensolver by relatively robust representations through the C interface,
// side by side with the peer's dsyevr_ (OpenBLAS, opened at run time with dlopen; its AVX2
// kernels are selected with OPENBLAS_CORETYPE=Haswell before it is loaded).  For 1 and 2
// threads: all eigenpairs ('V', 'A') and the middle 10% of them ('V', 'I') of a random
// symmetric matrix; the two libraries alternate run by run so that the load of the machine
// falls on both alike, and the median times and their ratio are printed.  Last, the tridiagonal
// stage alone: both libraries' MRRR on the same tridiagonal matrix, one thread.
//
//   ./bench_syevr [n = 2000] [repetitions = 5] [peer library path]
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "lapack/sytrd/sytrd.h"
#include "lapack/syevr/tridiagonal.h"
#include "ztr.h"
#include "bench_stats.h"

namespace {

constexpr const char* kPeerDefault = "/usr/lib/x86_64-linux-gnu/openblas-pthread/libopenblas.so.0";

using PeerSyevr = void (*)(const char*, const char*, const char*, const int*, double*, const int*,
                           const double*, const double*, const int*, const int*, const double*,
                           int*, double*, double*, const int*, int*, double*, const int*, int*,
                           const int*, int*, long, long, long);
using PeerThreads = void (*)(int);
using PeerStemr = void (*)(const char*, const char*, const int*, double*, double*, const double*,
                           const double*, const int*, const int*, int*, double*, double*,
                           const int*, const int*, int*, int*, double*, const int*, int*,
                           const int*, int*, long, long);

struct Problem {
  char range;
  int il, iu;
};

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  const char* peer_path = argc > 3 ? argv[3] : kPeerDefault;
  setvbuf(stdout, nullptr, _IOLBF, 0);
  setenv("OPENBLAS_CORETYPE", "Haswell", 0);
  void* lib = dlopen(peer_path, RTLD_NOW | RTLD_LOCAL);
  PeerSyevr peer = lib ? reinterpret_cast<PeerSyevr>(dlsym(lib, "dsyevr_")) : nullptr;
  PeerThreads peer_threads =
      lib ? reinterpret_cast<PeerThreads>(dlsym(lib, "openblas_set_num_threads")) : nullptr;
  if (peer == nullptr) std::printf("peer not found at %s: ZTR only\n", peer_path);

  std::mt19937 gen(7);
  std::uniform_real_distribution<double> dist(-1, 1);
  std::vector<double> a0(static_cast<size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) a0[i + j * n] = a0[j + i * n] = dist(gen);
  std::vector<double> a(a0.size()), w(n), z(a0.size());
  std::vector<int> isuppz(2 * n);

  const Problem problems[] = {{'A', 1, n}, {'I', n * 45 / 100 + 1, n * 55 / 100}};
  std::printf("n = %d, %d alternating runs each, median seconds (machine under load)\n", n, reps);
  std::printf("%-8s %-7s %10s %10s %8s\n", "threads", "range", "ZTR", "peer", "ratio");
  for (int threads : {1, 2}) {
    ZTR_Set_Dynamic(0);
    ZTR_Set_Num_Threads(threads);
    if (peer_threads) peer_threads(threads);
    for (const Problem& p : problems) {
      std::vector<double> tz, tp;
      double wdiff = 0;
      for (int r = 0; r < reps; ++r) {
        int m = 0;
        a = a0;
        auto t0 = std::chrono::steady_clock::now();
        const int info = LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', p.range, 'U', n, a.data(), n, 0, 0,
                                        p.il, p.iu, 0.0, &m, w.data(), z.data(), n, isuppz.data());
        tz.push_back(seconds_since(t0));
        if (info != 0) std::printf("ZTR info %d\n", info);
        if (peer == nullptr) continue;
        std::vector<double> wp(n), zp(a0.size());
        std::vector<int> sp(2 * n);
        int mp = 0, pinfo = 0;
        a = a0;
        t0 = std::chrono::steady_clock::now();
        // Workspace query, then the call: what a LAPACKE caller of the peer would do.
        double wq = 0;
        int iq = 0, minus_one = -1;
        const double zero = 0.0;
        peer("V", &p.range, "U", &n, a.data(), &n, &zero, &zero, &p.il, &p.iu, &zero, &mp,
             wp.data(), zp.data(), &n, sp.data(), &wq, &minus_one, &iq, &minus_one, &pinfo, 1, 1,
             1);
        int lwork = static_cast<int>(wq), liwork = iq;
        std::vector<double> work(lwork);
        std::vector<int> iwork(liwork);
        peer("V", &p.range, "U", &n, a.data(), &n, &zero, &zero, &p.il, &p.iu, &zero, &mp,
             wp.data(), zp.data(), &n, sp.data(), work.data(), &lwork, iwork.data(), &liwork,
             &pinfo, 1, 1, 1);
        tp.push_back(seconds_since(t0));
        for (int i = 0; i < std::min(m, mp); ++i) wdiff = std::max(wdiff, std::fabs(w[i] - wp[i]));
      }
      const double mz = median(tz), mp = peer ? median(tp) : 0.0;
      std::printf("%-8d %-7s %10.3f %10.3f %8.2f   (max |w - w_peer| = %.1e)\n", threads,
                  p.range == 'A' ? "V,A" : "V,I 10%", mz, mp, peer ? mz / mp : 0.0, wdiff);
    }
  }
  // The tridiagonal stage alone (one thread by design): both libraries' MRRR on the same
  // tridiagonal matrix, the one our reduction makes of the matrix above.
  PeerStemr peer_stemr = lib ? reinterpret_cast<PeerStemr>(dlsym(lib, "dstemr_")) : nullptr;
  std::vector<double> d0(n), e0(n), tau(n);
  {
    a = a0;
    std::vector<double> work(static_cast<size_t>(64) * n);
    int lwork = static_cast<int>(work.size()), info = 0;
    ztr::dsytrd("U", &n, a.data(), &n, d0.data(), e0.data(), tau.data(), work.data(), &lwork,
                &info);
  }
  std::vector<double> tz, tp, wpeer(n);
  double wdiff = 0;
  for (int r = 0; r < reps; ++r) {
    for (int who = 0; who < (peer_stemr ? 2 : 1); ++who) {
      std::vector<double> d = d0, e = e0, work(18 * static_cast<size_t>(n));
      std::vector<int> iwork(10 * static_cast<size_t>(n));
      int m = 0, info = 0, tryrac = 1, lwork = 18 * n, liwork = 10 * n;
      const double zero = 0.0;
      const int one = 1;
      auto t0 = std::chrono::steady_clock::now();
      if (who == 0) {
        ztr::dstemr("V", "A", &n, d.data(), e.data(), &zero, &zero, &one, &n, &m, w.data(),
                    z.data(), &n, &n, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(),
                    &liwork, &info);
        tz.push_back(seconds_since(t0));
      } else {
        peer_stemr("V", "A", &n, d.data(), e.data(), &zero, &zero, &one, &n, &m, wpeer.data(),
                   z.data(), &n, &n, isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(),
                   &liwork, &info, 1, 1);
        tp.push_back(seconds_since(t0));
        for (int i = 0; i < m; ++i) wdiff = std::max(wdiff, std::fabs(w[i] - wpeer[i]));
      }
      if (info != 0) std::printf("dstemr info %d (%s)\n", info, who == 0 ? "ZTR" : "peer");
    }
  }
  const double mz = median(tz), mp = peer_stemr ? median(tp) : 0.0;
  std::printf(
      "%-8s %-7s %10.3f %10.3f %8.2f   (tridiagonal stage alone, max |w - w_peer| = %.1e)\n", "1",
      "dstemr", mz, mp, peer_stemr ? mz / mp : 0.0, wdiff);
  return 0;
}
