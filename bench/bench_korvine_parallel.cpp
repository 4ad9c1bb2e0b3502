// The sparse solver's factorization and solve on two threads against one, side by side: the
// 7-point 3-D grid (type 2), the convection-diffusion grid (type 11), a KKT matrix (type -2)
// and the largest stored test matrix, in the default, two-level and reproducible modes.  Each
// handle is analysed once for its thread count (the count is fixed at analysis); then the
// factorizations (phase 22) and the solves of 1 and 10 right-hand sides (phase 33) of the two
// counts alternate, round by round, so that a change of the machine's load falls on both.
// Prints the best wall and processor times and the ratio one thread / two threads (the
// speed-up; above 1 is faster on two).  In the default mode the peers' factorizations, when
// they are installed, alternate with ours on one and two threads of their threaded BLAS (the
// Cholesky package on the SPD grid, the sequential multifrontal package on every matrix: both
// thread only inside the BLAS), and the ratio of our two-thread time to theirs is printed.
//
//   bench_korvine_parallel [rounds] [grid edge] [convection edge] [testdata-dir] [default]
//
// With a fifth argument "default" only the default mode runs (for runs under load).
//
// Dynamic adjustment is off, so that two threads are really used.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/matrix_market.h"
#include "include/ztr.h"
#include "tests/sparse_solver/korvine_support.h"

#ifdef ZTR_BENCH_WITH_CHOLMOD
#include <cholmod.h>
#endif
#ifdef ZTR_BENCH_WITH_DMUMPS
#include <dmumps_c.h>
#endif

namespace {

using namespace ztr::test;

// The saddle point [A B'; B 0] of the 7-point operator A on the edge^3 grid and one
// constraint per four unknowns, each tying an unknown to its +x and +y neighbours: local
// couplings, so the factor's fill stays that of a 3-D grid.
Sparse local_kkt(int edge) {
  const Sparse a = grid_operator(edge, edge, edge, 6.0);
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < a.n; ++i)
    for (int k = a.ia[i]; k < a.ia[i + 1]; ++k) e[{i, a.ja[k]}] = a.a[k];
  int m = 0;
  for (int i = 0; i + edge < a.n; i += 4, ++m) {
    const std::pair<int, double> row[] = {{i, 1.0}, {i + 1, -0.5}, {i + edge, 0.25}};
    for (auto [j, v] : row) e[{a.n + m, j}] = e[{j, a.n + m}] = v;
  }
  return from_map(a.n + m, e);
}

// The thread count of every OpenBLAS the peers loaded (the BLAS and the OpenBLAS names may
// be two libraries).
void set_peer_blas_threads(int threads) {
  for (const char* name : {"libblas.so.3", "libopenblas.so.0"}) {
    void* lib = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (lib == nullptr) continue;
    void* sym = dlsym(lib, "openblas_set_num_threads");
    if (sym != nullptr) reinterpret_cast<void (*)(int)>(sym)(threads);
    dlclose(lib);
  }
}

// A peer analysed once and factored again and again; factor() returns the wall time.
struct Peer {
  const char* name = "";
  virtual ~Peer() = default;
  virtual double factor() = 0;
};

#ifdef ZTR_BENCH_WITH_CHOLMOD
struct Cholmod : Peer {
  cholmod_common c;
  cholmod_sparse* A = nullptr;
  cholmod_factor* L = nullptr;
  explicit Cholmod(const Sparse& s) {
    name = "CHOLMOD";
    cholmod_start(&c);
    c.print = 0;
    const Input<double> in = solver_input(s, true, 0);  // the lower triangle by columns
    A = cholmod_allocate_sparse(s.n, s.n, in.ja.size(), 1, 1, -1, CHOLMOD_REAL, &c);
    std::copy(in.ia.begin(), in.ia.end(), static_cast<int*>(A->p));
    std::copy(in.ja.begin(), in.ja.end(), static_cast<int*>(A->i));
    std::copy(in.a.begin(), in.a.end(), static_cast<double*>(A->x));
    L = cholmod_analyze(A, &c);
  }
  double factor() override {
    const double t0 = now();
    cholmod_factorize(A, L, &c);
    const double t = now() - t0;
    if (c.status != CHOLMOD_OK) std::printf("CHOLMOD status %d\n", c.status);
    return t;
  }
  ~Cholmod() override {
    cholmod_free_factor(&L, &c);
    cholmod_free_sparse(&A, &c);
    cholmod_finish(&c);
  }
};
#endif

#ifdef ZTR_BENCH_WITH_DMUMPS
// Sequential, its defaults: LL' (sym = 1) for SPD, LDL' with pivoting (2) for a symmetric
// indefinite matrix, LU (0) otherwise; one-based coordinates, one triangle if symmetric.
struct Mumps : Peer {
  DMUMPS_STRUC_C id{};
  std::vector<int> irn, jcn;
  std::vector<double> a;
  Mumps(const Sparse& s, int sym) {
    name = "MUMPS";
    id.job = -1;
    id.par = 1;
    id.sym = sym;
    id.comm_fortran = -987654;  // its "use the whole world" communicator
    dmumps_c(&id);
    id.icntl[0] = id.icntl[1] = id.icntl[2] = -1;  // no messages
    id.icntl[3] = 0;
    for (int i = 0; i < s.n; ++i)
      for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
        if (sym != 0 && s.ja[k] < i) continue;
        irn.push_back(i + 1);
        jcn.push_back(s.ja[k] + 1);
        a.push_back(s.a[k]);
      }
    id.n = s.n;
    id.nnz = static_cast<long long>(a.size());
    id.irn = irn.data();
    id.jcn = jcn.data();
    id.a = a.data();
    id.job = 1;  // analysis
    dmumps_c(&id);
  }
  double factor() override {
    id.job = 2;
    const double t0 = now();
    dmumps_c(&id);
    const double t = now() - t0;
    if (id.infog[0] < 0) std::printf("MUMPS INFOG(1) %d\n", id.infog[0]);
    return t;
  }
  ~Mumps() override {
    id.job = -2;
    dmumps_c(&id);
  }
};
#endif

// The peers installed for a matrix of type mtype.
std::vector<std::unique_ptr<Peer>> peers_for(const Sparse& s, int mtype) {
  std::vector<std::unique_ptr<Peer>> p;
#ifdef ZTR_BENCH_WITH_CHOLMOD
  if (mtype == 2) p.push_back(std::make_unique<Cholmod>(s));
#endif
#ifdef ZTR_BENCH_WITH_DMUMPS
  p.push_back(std::make_unique<Mumps>(s, mtype == 2 ? 1 : mtype == -2 ? 2 : 0));
#endif
  (void)s;
  (void)mtype;
  return p;
}

struct Best {
  double wall = 1e30, cpu = 1e30;
  void take(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

// One handle analysed for `threads`, factored and solved again and again.
struct Case {
  Korvine k;
  Input<double> in;
  std::vector<double> b, x;
  int threads;
  Case(const Sparse& s, int mtype, int t, std::initializer_list<std::pair<int, int>> settings)
      : k(mtype, settings), in(solver_input(s, mtype != 11 && mtype != 1, 1)), threads(t) {
    b.assign(static_cast<std::size_t>(s.n) * 10, 1.0);
    x.assign(b.size(), 0.0);
    ZTR_Set_Num_Threads(threads);
    if (k.call(11, in, b.data(), x.data()) != 0) std::printf("analysis failed: %d\n", k.error);
  }
  void timed(int phase, int nrhs, Best* best) {
    ZTR_Set_Num_Threads(threads);
    const double w0 = now(), c0 = cpu_now();
    const int e = k.call(phase, in, b.data(), x.data(), nrhs);
    best->take(now() - w0, cpu_now() - c0);
    if (e != 0) std::printf("phase %d failed: %d\n", phase, e);
  }
};

void compare(const char* name, const Sparse& s, int mtype, int rounds,
             std::initializer_list<std::pair<int, int>> settings, const char* mode,
             bool with_peers) {
  Case one(s, mtype, 1, settings), two(s, mtype, 2, settings);
  std::vector<std::unique_ptr<Peer>> peers;
  if (with_peers) peers = peers_for(s, mtype);
  std::vector<Best> peer1(peers.size()), peer2(peers.size());
  Best f1, f2, s1a, s2a, s1b, s2b;
  for (int r = 0; r < rounds; ++r) {
    one.timed(22, 1, &f1);
    two.timed(22, 1, &f2);
    for (std::size_t p = 0; p < peers.size(); ++p) {
      set_peer_blas_threads(1);
      peer1[p].take(peers[p]->factor(), 0);
      set_peer_blas_threads(2);
      peer2[p].take(peers[p]->factor(), 0);
    }
    one.timed(33, 1, &s1a);
    two.timed(33, 1, &s2a);
    one.timed(33, 10, &s1b);
    two.timed(33, 10, &s2b);
  }
  std::printf(
      "%-14s %-12s n=%7d  factor 1t %7.3f s (cpu %7.3f)  2t %7.3f s (cpu %7.3f)  "
      "speed-up %5.2f | solve 1 rhs %5.2f | 10 rhs %5.2f (1t %.3f s)\n",
      name, mode, s.n, f1.wall, f1.cpu, f2.wall, f2.cpu, f1.wall / f2.wall, s1a.wall / s2a.wall,
      s1b.wall / s2b.wall, s1b.wall);
  for (std::size_t p = 0; p < peers.size(); ++p)
    std::printf(
        "%-14s %-12s peer %-8s factor 1t %7.3f s  2t %7.3f s  speed-up %5.2f | ours 2t / "
        "theirs 2t %5.2f\n",
        name, mode, peers[p]->name, peer1[p].wall, peer2[p].wall, peer1[p].wall / peer2[p].wall,
        f2.wall / peer2[p].wall);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const int edge = argc > 2 ? std::atoi(argv[2]) : 50;
  const int conv = argc > 3 ? std::atoi(argv[3]) : 40;
  const std::string data = argc > 4 ? argv[4] : "../shared/testdata";
  ZTR_Set_Dynamic(0);
  struct Mode {
    const char* name;
    std::initializer_list<std::pair<int, int>> settings;
  };
  const Mode all_modes[] = {{"default", {}}, {"two-level", {{23, 1}}}, {"reproducible", {{33, 2}}}};
  const bool only_default = argc > 5 && std::string(argv[5]) == "default";
  const std::vector<Mode> modes(all_modes, all_modes + (only_default ? 1 : 3));
  const Sparse grid = grid_operator(edge, edge, edge, 6.0);
  for (const Mode& m : modes)
    compare("grid 7-point", grid, 2, rounds, m.settings, m.name, &m == &modes[0]);
  const Sparse cd = grid_operator(conv, conv, conv, 6.0, 0.4);
  for (const Mode& m : modes)
    compare("convection", cd, 11, rounds, m.settings, m.name, &m == &modes[0]);
  const Sparse kkt = local_kkt(conv);
  compare("KKT", kkt, -2, rounds, {}, "default", true);
  Sparse stored;
  if (bench::read_matrix_market(data + "/bcsstk16.mtx", &stored, nullptr))
    compare("bcsstk16", stored, 2, rounds, {}, "default", true);
  return 0;
}
