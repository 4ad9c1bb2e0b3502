// The sparse direct solver against peer packages used as black boxes: a supernodal
// Cholesky package (SPD matrices and, in its LDL' mode, quasi-definite saddle points) and an
// unsymmetric multifrontal LU package.  Analysis, factorization and solve times, nnz(L), and
// the backward error of every solution, measured side by side (runs alternate).  Then every
// real matrix of ../shared/testdata with the type its README gives.
//
//   bench_korvine [--quick] [testdata-dir]
//   bench_korvine --ours N [type]   (our factorization of the N^3 grid only, for profiling)
//
// One thread: run with ZTR_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 OPENBLAS_CORETYPE=Haswell.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/matrix_market.h"
#include "blas/gemm/gemm.h"
#include "sparse_solver/interface/handle.h"
#include "tests/sparse_solver/korvine_support.h"

#ifdef ZTR_BENCH_WITH_PEERS
#include <cholmod.h>
#include <umfpack.h>
#endif

namespace {

using namespace ztr::test;


struct Times {
  double analyse = 1e30, factor = 1e30, solve = 1e30;
  double analyse_cpu = 1e30, factor_cpu = 1e30;  // processor times of the two phases
  long long nnz_l = 0;
  double ratio = 0;       // backward error ratio of the last solution
  double gflops = 0;      // factorization rate (ours: from the solver's operation count)
  double cpu_gflops = 0;  // the same over processor time
  // Ours: the rate of a second factorization on the same analysis, over processor time.
  double refactor_cpu_gflops = 0;
  // Ours: the analysis' own timers (copies and portrait, ordering, symbolic factorization,
  // scatter map), of the fastest analysis.
  double split[4] = {0, 0, 0, 0};
  void keep_min(const Times& t) {
    if (t.analyse < analyse) std::copy(t.split, t.split + 4, split);
    analyse = std::min(analyse, t.analyse);
    factor = std::min(factor, t.factor);
    factor_cpu = std::min(factor_cpu, t.factor_cpu);
    analyse_cpu = std::min(analyse_cpu, t.analyse_cpu);
    solve = std::min(solve, t.solve);
    nnz_l = t.nnz_l;
    ratio = t.ratio;
    gflops = std::max(gflops, t.gflops);
    cpu_gflops = std::max(cpu_gflops, t.cpu_gflops);
    refactor_cpu_gflops = std::max(refactor_cpu_gflops, t.refactor_cpu_gflops);
  }
};

// Our DGEMM rate on a square product, the yardstick of the factorization's rate: over wall
// time, and over processor time in *cpu.
double dgemm_gflops(double* cpu) {
  const int n = 1500;
  std::vector<double> a(static_cast<std::size_t>(n) * n), b(a.size()), c(a.size());
  for (std::size_t i = 0; i < a.size(); ++i)
    a[i] = b[i] = 1.0 / (1.0 + static_cast<double>(i % 97));
  const double one = 1.0, zero = 0.0;
  const double t0 = now(), c0 = cpu_now();
  ztr::ztr_blas_dgemm("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n);
  const double gflop = 2.0 * n * n * n * 1e-9;
  *cpu = std::max(*cpu, gflop / (cpu_now() - c0));
  return gflop / (now() - t0);
}

Times run_ours(const Sparse& s, int mtype) {
  Input<double> in = solver_input(s, mtype % 2 == 0, 1);
  Korvine k(mtype);
  std::vector<double> b(s.n), x(s.n);
  for (int i = 0; i < s.n; ++i) b[i] = 1.0 + (i % 7) * 0.25;
  Times t;
  double t0 = now(), c0 = cpu_now();
  if (k.call(11, in, b.data(), x.data()) != 0) std::printf("  analysis error %d\n", k.error);
  double t1 = now(), c1 = cpu_now();
  t.analyse_cpu = c1 - c0;
  if (k.pt[0] != nullptr)
    for (int i = 0; i < 4; ++i)
      t.split[i] = ztr::handle_control(k.pt)->timers[ztr::kTimeFulladj + i];
  if (k.call(22, in, b.data(), x.data()) != 0) std::printf("  factorization error %d\n", k.error);
  double t2 = now(), c2 = cpu_now();
  if (k.call(33, in, b.data(), x.data()) != 0) std::printf("  solve error %d\n", k.error);
  double t3 = now();
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.factor_cpu = c2 - c1;
  t.solve = t3 - t2;
  // nnz(L) as the report prints it (the bench may look behind the handle).
  if (k.pt[0] != nullptr) {
    const ztr::ControlRecord* c = ztr::handle_control(k.pt);
    t.nnz_l = c->sn.nnz_l;
    t.gflops = c->factors[0].mflop * 1e-3 / t.factor;
    t.cpu_gflops = c->factors[0].mflop * 1e-3 / (c2 - c1);
  }
  t.ratio = backward_ratio(s, x, b, 1);
  // Factoring new values on the same analysis, the common case of a sequence of systems.
  if (k.pt[0] != nullptr) {
    const double c3 = cpu_now();
    if (k.call(22, in, b.data(), x.data()) != 0)
      std::printf("  refactorization error %d\n", k.error);
    t.refactor_cpu_gflops = ztr::handle_control(k.pt)->factors[0].mflop * 1e-3 / (cpu_now() - c3);
  }
  return t;
}

#ifdef ZTR_BENCH_WITH_PEERS
// The peer Cholesky package: A given as the lower triangle in compressed columns (the upper
// triangle's rows).  ldl: its simplicial LDL' instead of the supernodal LL'.
Times run_cholesky_peer(const Sparse& s, bool ldl) {
  cholmod_common c;
  cholmod_start(&c);
  if (ldl) {
    c.supernodal = CHOLMOD_SIMPLICIAL;
    c.final_ll = 0;
  }
  Input<double> in = solver_input(s, true, 0);
  cholmod_sparse* A = cholmod_allocate_sparse(s.n, s.n, in.ja.size(), 1, 1, -1, CHOLMOD_REAL, &c);
  std::memcpy(A->p, in.ia.data(), sizeof(int) * (s.n + 1));
  std::memcpy(A->i, in.ja.data(), sizeof(int) * in.ja.size());
  std::memcpy(A->x, in.a.data(), sizeof(double) * in.a.size());
  cholmod_dense* B = cholmod_zeros(s.n, 1, CHOLMOD_REAL, &c);
  std::vector<double> b(s.n);
  for (int i = 0; i < s.n; ++i) b[i] = static_cast<double*>(B->x)[i] = 1.0 + (i % 7) * 0.25;
  Times t;
  double t0 = now(), c0 = cpu_now();
  cholmod_factor* L = cholmod_analyze(A, &c);
  double t1 = now(), c1 = cpu_now();
  t.analyse_cpu = c1 - c0;
  cholmod_factorize(A, L, &c);
  double t2 = now(), c2 = cpu_now();
  cholmod_dense* X = cholmod_solve(CHOLMOD_A, L, B, &c);
  double t3 = now();
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.factor_cpu = c2 - c1;
  t.solve = t3 - t2;
  t.nnz_l = static_cast<long long>(c.lnz);
  std::vector<double> x(static_cast<double*>(X->x), static_cast<double*>(X->x) + s.n);
  t.ratio = backward_ratio(s, x, b, 1);
  cholmod_free_dense(&X, &c);
  cholmod_free_dense(&B, &c);
  cholmod_free_factor(&L, &c);
  cholmod_free_sparse(&A, &c);
  cholmod_finish(&c);
  return t;
}

// The peer LU package on the CSR arrays read as compressed columns of A', solving A'^T.
Times run_lu_peer(const Sparse& s) {
  std::vector<double> b(s.n), x(s.n);
  for (int i = 0; i < s.n; ++i) b[i] = 1.0 + (i % 7) * 0.25;
  void *sym = nullptr, *num = nullptr;
  double control[UMFPACK_CONTROL], info[UMFPACK_INFO];
  umfpack_di_defaults(control);
  Times t;
  double t0 = now(), c0 = cpu_now();
  umfpack_di_symbolic(s.n, s.n, s.ia.data(), s.ja.data(), s.a.data(), &sym, control, info);
  double t1 = now(), c1 = cpu_now();
  t.analyse_cpu = c1 - c0;
  umfpack_di_numeric(s.ia.data(), s.ja.data(), s.a.data(), sym, &num, control, info);
  double t2 = now(), c2 = cpu_now();
  umfpack_di_solve(UMFPACK_At, s.ia.data(), s.ja.data(), s.a.data(), x.data(), b.data(), num,
                   control, info);
  double t3 = now();
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.factor_cpu = c2 - c1;
  t.solve = t3 - t2;
  t.nnz_l = static_cast<long long>(info[UMFPACK_LNZ]);
  t.ratio = backward_ratio(s, x, b, 1);
  umfpack_di_free_numeric(&num);
  umfpack_di_free_symbolic(&sym);
  return t;
}
#endif

// Saddle point with a small negative (2,2) block, so that an LDL' without pivoting exists in
// every order (quasi-definite).
Sparse quasi_definite(int nx, int m) {
  Sparse s = saddle_point(nx, m, 17);
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) e[{i, s.ja[k]}] = s.a[k];
  for (int i = nx * nx; i < s.n; ++i) e[{i, i}] = -1e-3;
  return from_map(s.n, e);
}

void print(const char* who, const Times& t) {
  std::printf(
      "  %-10s analyse %8.4f s  factor %8.4f s  solve %8.5f s  nnz(L) %10lld  berr/(n eps) %.2f",
      who, t.analyse, t.factor, t.solve, t.nnz_l, t.ratio);
  if (t.gflops > 0) std::printf("  %.2f Gflop/s (%.2f on cpu time)", t.gflops, t.cpu_gflops);
  if (t.refactor_cpu_gflops > 0) std::printf("  again %.2f", t.refactor_cpu_gflops);
  std::printf("\n");
}

void compare(const char* name, const Sparse& s, int mtype, int rounds) {
  std::printf("%s: n = %d, nnz = %zu, type %d\n", name, s.n, s.ja.size(), mtype);
  Times ours, peer;
  double gemm = 0, gemm_cpu = 0;
  for (int r = 0; r < rounds; ++r) {
    ours.keep_min(run_ours(s, mtype));
    if (mtype == 2) gemm = std::max(gemm, dgemm_gflops(&gemm_cpu));
#ifdef ZTR_BENCH_WITH_PEERS
    if (mtype == 11)
      peer.keep_min(run_lu_peer(s));
    else
      peer.keep_min(run_cholesky_peer(s, mtype == -2));
#endif
  }
  print("KORVINE", ours);
  std::printf(
      "  our analysis: copies and portrait %.4f s  ordering %.4f s  symbolic %.4f s  scatter map "
      "%.4f s  rest %.4f s\n",
      ours.split[0], ours.split[1], ours.split[2], ours.split[3],
      ours.analyse - ours.split[0] - ours.split[1] - ours.split[2] - ours.split[3]);
  if (gemm > 0)
    std::printf(
        "  our DGEMM (n = 1500) %.2f Gflop/s (%.2f on cpu time): factorization at %.0f %% of it "
        "(%.0f %% on cpu time)\n",
        gemm, gemm_cpu, 100 * ours.gflops / gemm, 100 * ours.cpu_gflops / gemm_cpu);
#ifdef ZTR_BENCH_WITH_PEERS
  print(mtype == 11 ? "LU peer" : "Chol peer", peer);
  std::printf(
      "  ratio ours/peer: analyse %.2f (%.2f on cpu time)  factor %.2f (%.2f on cpu time)  solve "
      "%.2f  nnz(L) %.2f\n",
      ours.analyse / peer.analyse, ours.analyse_cpu / peer.analyse_cpu, ours.factor / peer.factor,
      ours.factor_cpu / peer.factor_cpu, ours.solve / peer.solve,
      static_cast<double>(ours.nnz_l) / static_cast<double>(peer.nnz_l));
#endif
}

void testdata(const std::string& dir) {
  std::printf("\nTest matrices (%s)\n", dir.c_str());
  const std::pair<const char*, int> files[] = {{"bcsstk13.mtx", 2},
                                               {"zenios.mtx", -2},
                                               {"cryg2500.mtx", 11},
                                               {"watt_2.mtx", 11},
                                               {"olm1000.mtx", 11}};
  for (auto [file, mtype] : files) {
    Sparse s;
    if (!bench::read_matrix_market(dir + "/" + file, &s)) {
      std::printf("%s: not found\n", file);
      continue;
    }
    const Times t = run_ours(s, mtype);
    std::printf(
        "%-14s n %5d type %3d  analyse %.4f s factor %.4f s solve %.5f s  berr/(n eps) %.3g\n",
        file, s.n, mtype, t.analyse, t.factor, t.solve, t.ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--ours") == 0) {
    const int g = std::atoi(argv[2]), mtype = argc > 3 ? std::atoi(argv[3]) : 2;
    const Sparse s = grid_operator(g, g, g, 6.0, mtype == 11 ? 0.4 : 0.0);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    double best = 0, cpu = 0;
    for (int r = 0; r < rounds; ++r) {
      print("KORVINE", run_ours(s, mtype));
      best = std::max(best, dgemm_gflops(&cpu));
    }
    std::printf("  our DGEMM (n = 1500): %.2f Gflop/s (%.2f on cpu time)\n", best, cpu);
    return 0;
  }
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const std::string dir = argc > (quick ? 2 : 1) ? argv[quick ? 2 : 1] : "../shared/testdata";
  const int rounds = quick ? 1 : 3;
  compare("Laplacian 30^3", grid_operator(30, 30, 30, 6.0), 2, rounds);
  if (!quick) compare("Laplacian 50^3", grid_operator(50, 50, 50, 6.0), 2, 1);
  compare("convection-diffusion 30^3", grid_operator(30, 30, 30, 6.0, 0.4), 11, rounds);
  compare("quasi-definite KKT 120^2 + 3000", quasi_definite(120, 3000), -2, rounds);
  testdata(dir);
  return 0;
}
