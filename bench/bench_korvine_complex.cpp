// The sparse direct solver on complex matrices: each complex type beside the real type of
// the same pattern and factorization (6 and -4 beside -2, 4 beside 2, 13 beside 11, 3 beside
// 1), on one thread and on two, then beside peer packages used as black boxes when they are
// installed: the unsymmetric multifrontal LU package (complex LU of the 13 and 3 matrices),
// the supernodal Cholesky package (the Hermitian definite matrix) and the sequential
// multifrontal solver (unsymmetric, complex symmetric, and the Hermitian matrices given as
// unsymmetric since it has no Hermitian mode).  All on the 7-point pattern of an N^3 grid.
// Analysis, factorization (phase 22) and solve times are the best of a few repetitions, the
// solvers taking turns in every repetition; each solution's backward error
// ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) is printed beside it.
//
//   bench_korvine_complex [--reps R] [--no-peers] [--only TYPE] [N ...]  (default N = 30 40)
//
// The peers run on one thread: the program restarts itself with OPENBLAS_NUM_THREADS=1 and
// OMP_NUM_THREADS=1 unless they are set; ours takes its count from ZTR_Set_Num_Threads.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "include/ztr.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/solver_params.h"

#ifdef ZTR_BENCH_WITH_UMFPACK
#include <umfpack.h>
#endif
#ifdef ZTR_BENCH_WITH_CHOLMOD
#include <cholmod.h>
#endif
#ifdef ZTR_BENCH_WITH_ZMUMPS
#include <zmumps_c.h>
#endif

namespace {

using cd = std::complex<double>;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A sparse matrix in compressed rows, zero-based, ascending columns.
template <typename T>
struct Csr {
  int n = 0;
  std::vector<int> ia{0}, ja;
  std::vector<T> a;
};

// The 7-point pattern of the g^3 grid (unknown x + g y + g^2 z), value(dir) for each entry:
// dir 0 the diagonal, +1/-1 the +x/-x neighbour, +2/-2 y, +3/-3 z.
template <typename T, typename F>
Csr<T> grid(int g, F value) {
  Csr<T> s;
  s.n = g * g * g;
  const int step[4] = {0, 1, g, g * g};
  for (int i = 0; i < s.n; ++i) {
    const int c[4] = {0, i % g, (i / g) % g, i / (g * g)};
    // Ascending columns: -z, -y, -x, diagonal, +x, +y, +z.
    for (int dir : {-3, -2, -1, 0, 1, 2, 3}) {
      const int d = std::abs(dir);
      if (dir < 0 && c[d] == 0) continue;
      if (dir > 0 && c[d] == g - 1) continue;
      s.ja.push_back(i + (dir < 0 ? -step[d] : step[d]));
      s.a.push_back(value(dir));
    }
    s.ia.push_back(static_cast<int>(s.ja.size()));
  }
  return s;
}

// Only the entries with column >= row.
template <typename T>
Csr<T> upper(const Csr<T>& s) {
  Csr<T> u;
  u.n = s.n;
  for (int i = 0; i < s.n; ++i) {
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      if (s.ja[k] >= i) {
        u.ja.push_back(s.ja[k]);
        u.a.push_back(s.a[k]);
      }
    u.ia.push_back(static_cast<int>(u.ja.size()));
  }
  return u;
}

// The transpose (without conjugation): the compressed columns of s.
template <typename T>
Csr<T> transpose(const Csr<T>& s) {
  Csr<T> t;
  t.n = s.n;
  t.ia.assign(s.n + 1, 0);
  for (int j : s.ja) ++t.ia[j + 1];
  for (int i = 0; i < s.n; ++i) t.ia[i + 1] += t.ia[i];
  t.ja.resize(s.ja.size());
  t.a.resize(s.a.size());
  std::vector<int> next(t.ia.begin(), t.ia.end() - 1);
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      const int p = next[s.ja[k]]++;
      t.ja[p] = i;
      t.a[p] = s.a[k];
    }
  return t;
}

template <typename T>
std::vector<T> rhs(int n) {
  std::vector<T> b(n);
  for (int i = 0; i < n; ++i) {
    const double re = 1.0 + (i % 7) * 0.25;
    if constexpr (std::is_same_v<T, cd>)
      b[i] = cd(re, 0.5 - (i % 5) * 0.2);
    else
      b[i] = re;
  }
  return b;
}

// ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) on the full matrix.
template <typename T>
double backward_error(const Csr<T>& s, const std::vector<T>& x, const std::vector<T>& b) {
  double na = 0, nx = 0, nb = 0, nr = 0;
  for (int i = 0; i < s.n; ++i) {
    double row = 0;
    T r = b[i];
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      row += std::abs(s.a[k]);
      r -= s.a[k] * x[s.ja[k]];
    }
    na = std::max(na, row);
    nx = std::max(nx, std::abs(x[i]));
    nb = std::max(nb, std::abs(b[i]));
    nr = std::max(nr, std::abs(r));
  }
  if (!std::isfinite(nr) || !std::isfinite(nx)) return INFINITY;
  return nr / (na * nx + nb);
}

struct Times {
  double analyse = 1e30, factor = 1e30, solve = 1e30;
  long long factor_size = 0;  // nnz(L) (L+U for LU), ours as our report counts; the peers'
  double berr = 0;            // worst over the repetitions
  double mflop = 0;           // ours: the solver's operation count of the factorization
  int threads = 0;            // ours: iparm[2] after the analysis
  int refinement = 0;         // ours: refinement steps of the solve (iparm[6]), the most seen
  int perturbed = 0;          // ours: perturbed pivots of the factorization (iparm[13])
  bool failed = false;
  void keep_min(const Times& t) {
    analyse = std::min(analyse, t.analyse);
    factor = std::min(factor, t.factor);
    solve = std::min(solve, t.solve);
    factor_size = t.factor_size;
    berr = std::max(berr, t.berr);
    mflop = t.mflop;
    threads = t.threads;
    refinement = std::max(refinement, t.refinement);
    perturbed = std::max(perturbed, t.perturbed);
    failed = failed || t.failed;
  }
};

// Ours on the full matrix `full`, given to the solver as its type asks (upper triangle for
// the symmetric and Hermitian types), zero-based.
template <typename T>
Times run_ours(const Csr<T>& full, int mtype, int threads) {
  const bool tri = mtype == 2 || mtype == -2 || mtype == 4 || mtype == -4 || mtype == 6;
  const Csr<T> in = tri ? upper(full) : full;
  void* pt[64] = {};
  int iparm[64] = {};
  ztr::korvine_defaults(mtype, iparm);
  iparm[34] = 1;  // zero-based indices
  int maxfct = 1, mnum = 1, msglvl = 0, nrhs = 1, error = 0, n = full.n;
  std::vector<T> b = rhs<T>(n), x(n);
  ZTR_Set_Num_Threads(threads);
  Times t;
  auto call = [&](int phase) {
    KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, in.a.data(), in.ia.data(), in.ja.data(),
            nullptr, &nrhs, iparm, &msglvl, b.data(), x.data(), &error);
    if (error != 0) {
      std::printf("  ours type %d: phase %d error %d\n", mtype, phase, error);
      t.failed = true;
    }
  };
  const double t0 = now();
  call(11);
  const double t1 = now();
  call(22);
  const double t2 = now();
  t.perturbed = iparm[13];
  call(33);
  const double t3 = now();
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.solve = t3 - t2;
  t.threads = iparm[2];
  t.refinement = iparm[6];
  if (pt[0] != nullptr) {
    const ztr::ControlRecord* c = ztr::handle_control(pt);
    // nnz(L) + nnz(U) as the report prints it (zero U part for the symmetric types).
    t.factor_size = c->sn.nnz_l + c->sn.nnz_u;
    // The solver counts a complex multiply-add as it counts a real one; the rate printed is
    // in real operations (four real multiplies and four additions per complex pair).
    t.mflop = c->factors[0].mflop * (std::is_same_v<T, cd> ? 4.0 : 1.0);
  }
  t.berr = backward_error(full, x, b);
  int phase = -1;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, nullptr, nullptr, nullptr, nullptr, &nrhs, iparm,
          &msglvl, nullptr, nullptr, &error);
  return t;
}

#ifdef ZTR_BENCH_WITH_UMFPACK
// The peer LU package's complex LU (packed complex values) on the compressed columns of A,
// with its 64-bit indices (the 32-bit ones run out of workspace on the 50^3 grid).
Times run_lu_peer(const Csr<cd>& full) {
  const Csr<cd> csc = transpose(full);
  const std::vector<SuiteSparse_long> p(csc.ia.begin(), csc.ia.end()),
      i(csc.ja.begin(), csc.ja.end());
  const SuiteSparse_long n = full.n;
  std::vector<cd> b = rhs<cd>(n), x(n);
  const double* ax = reinterpret_cast<const double*>(csc.a.data());
  double control[UMFPACK_CONTROL], info[UMFPACK_INFO];
  umfpack_zl_defaults(control);
  void *sym = nullptr, *num = nullptr;
  Times t;
  const double t0 = now();
  SuiteSparse_long st =
      umfpack_zl_symbolic(n, n, p.data(), i.data(), ax, nullptr, &sym, control, info);
  const double t1 = now();
  if (st == UMFPACK_OK)
    st = umfpack_zl_numeric(p.data(), i.data(), ax, nullptr, sym, &num, control, info);
  const double t2 = now();
  const double lnz = info[UMFPACK_LNZ], unz = info[UMFPACK_UNZ];
  if (st == UMFPACK_OK)
    st = umfpack_zl_solve(UMFPACK_A, p.data(), i.data(), ax, nullptr,
                          reinterpret_cast<double*>(x.data()), nullptr,
                          reinterpret_cast<const double*>(b.data()), nullptr, num, control, info);
  const double t3 = now();
  if (st != UMFPACK_OK) {
    std::printf("  LU peer: status %ld\n", static_cast<long>(st));
    t.failed = true;
  }
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.solve = t3 - t2;
  t.factor_size = static_cast<long long>(lnz + unz);  // nnz(L) + nnz(U), as the package counts
  t.berr = backward_error(full, x, b);
  umfpack_zl_free_numeric(&num);
  umfpack_zl_free_symbolic(&sym);
  return t;
}
#endif

#ifdef ZTR_BENCH_WITH_CHOLMOD
// The peer Cholesky package on the Hermitian definite matrix: its upper triangle in
// compressed columns, interleaved complex values.
Times run_cholesky_peer(const Csr<cd>& full) {
  // Compressed columns of A restricted to rows <= column = compressed rows of A^T's lower
  // triangle; the transpose of the full matrix, then the entries with row <= column.
  const Csr<cd> csc = transpose(full);
  Csr<cd> up;
  up.n = full.n;
  for (int j = 0; j < full.n; ++j) {
    for (int k = csc.ia[j]; k < csc.ia[j + 1]; ++k)
      if (csc.ja[k] <= j) {
        up.ja.push_back(csc.ja[k]);
        up.a.push_back(csc.a[k]);
      }
    up.ia.push_back(static_cast<int>(up.ja.size()));
  }
  const int n = full.n;
  cholmod_common c;
  cholmod_start(&c);
  cholmod_sparse* A = cholmod_allocate_sparse(n, n, up.ja.size(), 1, 1, 1, CHOLMOD_COMPLEX, &c);
  std::memcpy(A->p, up.ia.data(), sizeof(int) * (n + 1));
  std::memcpy(A->i, up.ja.data(), sizeof(int) * up.ja.size());
  std::memcpy(A->x, up.a.data(), sizeof(cd) * up.a.size());
  cholmod_dense* B = cholmod_zeros(n, 1, CHOLMOD_COMPLEX, &c);
  std::vector<cd> b = rhs<cd>(n);
  std::memcpy(B->x, b.data(), sizeof(cd) * n);
  Times t;
  const double t0 = now();
  cholmod_factor* L = cholmod_analyze(A, &c);
  const double t1 = now();
  cholmod_factorize(A, L, &c);
  const double t2 = now();
  cholmod_dense* X = cholmod_solve(CHOLMOD_A, L, B, &c);
  const double t3 = now();
  if (c.status != CHOLMOD_OK || X == nullptr) {
    std::printf("  Cholesky peer: status %d\n", c.status);
    t.failed = true;
  }
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.solve = t3 - t2;
  t.factor_size = static_cast<long long>(c.lnz);
  std::vector<cd> x(n);
  if (X != nullptr) std::memcpy(x.data(), X->x, sizeof(cd) * n);
  t.berr = backward_error(full, x, b);
  cholmod_free_dense(&X, &c);
  cholmod_free_dense(&B, &c);
  cholmod_free_factor(&L, &c);
  cholmod_free_sparse(&A, &c);
  cholmod_finish(&c);
  return t;
}
#endif

#ifdef ZTR_BENCH_WITH_ZMUMPS
// The sequential multifrontal solver, complex double: sym 0 takes every entry, sym 2 (general
// symmetric, here complex symmetric) the upper triangle.  One-based coordinates.
int mumps_ordering = -1;
Times run_mumps(const Csr<cd>& full, int sym) {
  std::vector<int> irn, jcn;
  std::vector<cd> a;
  for (int i = 0; i < full.n; ++i)
    for (int k = full.ia[i]; k < full.ia[i + 1]; ++k) {
      if (sym != 0 && full.ja[k] < i) continue;
      irn.push_back(i + 1);
      jcn.push_back(full.ja[k] + 1);
      a.push_back(full.a[k]);
    }
  std::vector<cd> b = rhs<cd>(full.n), x = b;
  ZMUMPS_STRUC_C id;
  std::memset(&id, 0, sizeof(id));
  id.job = -1;
  id.par = 1;
  id.sym = sym;
  id.comm_fortran = -987654;  // the sequential library's stand-in communicator
  zmumps_c(&id);
  id.icntl[0] = id.icntl[1] = id.icntl[2] = -1;  // no output
  id.icntl[3] = 0;
  id.n = full.n;
  id.nnz = static_cast<MUMPS_INT8>(a.size());
  id.irn = irn.data();
  id.jcn = jcn.data();
  id.a = reinterpret_cast<ZMUMPS_COMPLEX*>(a.data());
  id.rhs = reinterpret_cast<ZMUMPS_COMPLEX*>(x.data());
  Times t;
  auto step = [&](int job) {
    id.job = job;
    zmumps_c(&id);
    if (id.infog[0] < 0) {
      std::printf("  MUMPS sym %d job %d: INFOG(1) %d INFOG(2) %d\n", sym, job, id.infog[0],
                  id.infog[1]);
      t.failed = true;
    }
  };
  const double t0 = now();
  step(1);
  const double t1 = now();
  if (!t.failed) step(2);
  const double t2 = now();
  if (!t.failed) step(3);
  const double t3 = now();
  t.analyse = t1 - t0;
  t.factor = t2 - t1;
  t.solve = t3 - t2;
  // INFOG(29): entries in the factors (INFOG(7): the ordering it chose).
  t.factor_size = id.infog[28] >= 0 ? id.infog[28] : -1000000LL * id.infog[28];
  mumps_ordering = id.infog[6];
  t.berr = backward_error(full, x, b);
  id.job = -2;
  zmumps_c(&id);
  return t;
}
#endif

void print(const char* who, const Times& t) {
  std::printf(
      "  %-26s analyse %8.4f s  factor %8.4f s  solve %8.5f s  factor nnz %10lld  "
      "berr %.1e%s",
      who, t.analyse, t.factor, t.solve, t.factor_size, t.berr, t.failed ? "  FAILED" : "");
  if (t.mflop > 0)
    std::printf("  %.2f Gflop/s, %d perturbed pivots, %d refinement step%s",
                t.mflop * 1e-3 / t.factor, t.perturbed, t.refinement, t.refinement == 1 ? "" : "s");
  std::printf("\n");
}

struct Pair {
  const char* name;
  int complex_type, real_type;
  Csr<cd> complex_matrix;
  Csr<double> real_matrix;
};

std::vector<Pair> problems(int g) {
  const double k2 = 1.0;  // the shift of the indefinite problems
  const double theta[4] = {0, 0.3, 0.5, 0.7};
  const cd wind(0.4, 0.2);
  auto phase = [&](int dir) {
    const cd e = std::polar(1.0, theta[std::abs(dir)]);
    return dir > 0 ? -e : -std::conj(e);  // upper neighbour -e^{i theta}, lower its conjugate
  };
  std::vector<Pair> p;
  p.push_back({"complex symmetric Helmholtz", 6, -2,
               grid<cd>(g, [&](int d) { return d == 0 ? cd(6 - k2, 0.1) : cd(-1); }),
               grid<double>(g, [&](int d) { return d == 0 ? 6 - k2 : -1.0; })});
  p.push_back({"Hermitian indefinite", -4, -2,
               grid<cd>(g, [&](int d) { return d == 0 ? cd(6 - k2) : phase(d); }),
               grid<double>(g, [&](int d) { return d == 0 ? 6 - k2 : -1.0; })});
  p.push_back({"Hermitian definite", 4, 2,
               grid<cd>(g, [&](int d) { return d == 0 ? cd(6.5) : phase(d); }),
               grid<double>(g, [&](int d) { return d == 0 ? 6.5 : -1.0; })});
  auto conv_c = [&](int d) {
    if (d == 0) return cd(6, 0.5);
    if (d == 1) return -1.0 - wind;
    if (d == -1) return -1.0 + wind;
    if (d == 2) return cd(-1, 0.1);
    if (d == -2) return cd(-1, -0.1);
    return cd(-1);
  };
  auto conv_r = [&](int d) { return d == 0 ? 6.0 : d == 1 ? -1.4 : d == -1 ? -0.6 : -1.0; };
  p.push_back({"convection-diffusion", 13, 11, grid<cd>(g, conv_c), grid<double>(g, conv_r)});
  p.push_back({"convection-diffusion", 3, 1, grid<cd>(g, conv_c), grid<double>(g, conv_r)});
  return p;
}

void run_grid(int g, int reps, bool peers, int only) {
  std::printf("\n=== %d^3 grid, 7-point pattern: n = %d ===\n", g, g * g * g);
  for (Pair& p : problems(g)) {
    if (only != 0 && p.complex_type != only) continue;
    std::printf("\n%s: type %d (complex) beside type %d (real), nnz = %zu\n", p.name,
                p.complex_type, p.real_type, p.complex_matrix.ja.size());
    Times c[2], r[2];
#if defined(ZTR_BENCH_WITH_UMFPACK) || defined(ZTR_BENCH_WITH_ZMUMPS) || \
    defined(ZTR_BENCH_WITH_CHOLMOD)
    Times lu, chol, mumps;
    const bool unsym = p.complex_type == 13 || p.complex_type == 3;
    const int mumps_sym = p.complex_type == 6 ? 2 : 0;
    // One MUMPS run per matrix: the 13 and 3 problems share theirs.
    const bool want_mumps = p.complex_type != 3;
#endif
    for (int rep = 0; rep < reps; ++rep) {
      for (int th = 0; th < 2; ++th) {
        c[th].keep_min(run_ours(p.complex_matrix, p.complex_type, th + 1));
        r[th].keep_min(run_ours(p.real_matrix, p.real_type, th + 1));
      }
      if (!peers) continue;
#ifdef ZTR_BENCH_WITH_UMFPACK
      if (unsym) lu.keep_min(run_lu_peer(p.complex_matrix));
#endif
#ifdef ZTR_BENCH_WITH_CHOLMOD
      if (p.complex_type == 4) chol.keep_min(run_cholesky_peer(p.complex_matrix));
#endif
#ifdef ZTR_BENCH_WITH_ZMUMPS
      if (want_mumps) mumps.keep_min(run_mumps(p.complex_matrix, mumps_sym));
#endif
    }
    for (int th = 0; th < 2; ++th) {
      char who[64];
      std::snprintf(who, sizeof who, "ours %d, %d thread%s", p.complex_type, c[th].threads,
                    c[th].threads == 1 ? "" : "s");
      print(who, c[th]);
      std::snprintf(who, sizeof who, "ours %d, %d thread%s", p.real_type, r[th].threads,
                    r[th].threads == 1 ? "" : "s");
      print(who, r[th]);
      std::printf(
          "  -> complex/real on %d thread%s: factor %.2fx  analyse %.2fx  solve %.2fx"
          "  (goal factor <= 4.5x: %s)\n",
          th + 1, th == 0 ? "" : "s", c[th].factor / r[th].factor, c[th].analyse / r[th].analyse,
          c[th].solve / r[th].solve, c[th].factor / r[th].factor <= 4.5 ? "met" : "NOT met");
    }
    if (!peers) continue;
#ifdef ZTR_BENCH_WITH_UMFPACK
    if (unsym) {
      print("LU peer (complex LU)", lu);
      if (!lu.failed)
        std::printf(
            "  -> ours/LU peer, one thread: factor %.2fx (goal <= 0.5x: %s)  analyse "
            "%.2fx  solve %.2fx  factor nnz %.2fx\n",
            c[0].factor / lu.factor, c[0].factor / lu.factor <= 0.5 ? "met" : "NOT met",
            c[0].analyse / lu.analyse, c[0].solve / lu.solve,
            static_cast<double>(c[0].factor_size) / static_cast<double>(lu.factor_size));
    }
#endif
#ifdef ZTR_BENCH_WITH_CHOLMOD
    if (p.complex_type == 4) {
      print("Cholesky peer", chol);
      std::printf(
          "  -> ours/Cholesky peer, one thread: factor %.2fx  analyse %.2fx  solve "
          "%.2fx\n",
          c[0].factor / chol.factor, c[0].analyse / chol.analyse, c[0].solve / chol.solve);
    }
#endif
#ifdef ZTR_BENCH_WITH_ZMUMPS
    if (want_mumps) {
      char who[64];
      std::snprintf(who, sizeof who, "MUMPS sym=%d (ordering %d)", mumps_sym, mumps_ordering);
      print(who, mumps);
      if (!mumps.failed)
        std::printf(
            "  -> ours/MUMPS, one thread: factor %.2fx (goal <= 1.0x: %s)  analyse %.2fx"
            "  solve %.2fx\n",
            c[0].factor / mumps.factor, c[0].factor / mumps.factor <= 1.0 ? "met" : "NOT met",
            c[0].analyse / mumps.analyse, c[0].solve / mumps.solve);
    }
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The peers' BLAS and threads read these when they load: restart with them set.
  const char* ob = std::getenv("OPENBLAS_NUM_THREADS");
  const char* om = std::getenv("OMP_NUM_THREADS");
  if (ob == nullptr || om == nullptr) {
    setenv("OPENBLAS_NUM_THREADS", "1", 0);
    setenv("OMP_NUM_THREADS", "1", 0);
    execv("/proc/self/exe", argv);
    std::perror("execv");  // carry on without them
  }
  int reps = 3;
  bool peers = true;
  int only = 0;  // --only T: the problem of complex type T alone
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
      reps = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
      only = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--no-peers") == 0)
      peers = false;
    else if (std::atoi(argv[i]) > 1)
      sizes.push_back(std::atoi(argv[i]));
  }
  if (sizes.empty()) sizes = {30, 40};
  std::printf("OPENBLAS_NUM_THREADS=%s OMP_NUM_THREADS=%s, best of %d\n",
              std::getenv("OPENBLAS_NUM_THREADS"), std::getenv("OMP_NUM_THREADS"), reps);
#ifndef ZTR_BENCH_WITH_UMFPACK
  std::printf("(the LU peer package is not installed: its rows are missing)\n");
#endif
#ifndef ZTR_BENCH_WITH_ZMUMPS
  std::printf("(the sequential multifrontal solver is not installed: its rows are missing)\n");
#endif
  for (int g : sizes) run_grid(g, reps, peers, only);
  return 0;
}
