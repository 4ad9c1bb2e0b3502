// How accurately the sparse direct solver solves the stored test matrices, beside peer sparse
// packages used as black boxes through their public C interfaces (each one only when it is
// installed): an unsymmetric multifrontal LU, a supernodal Cholesky, and a multifrontal
// solver in double and single precision.  Every system is A x = A*1 with the defaults of
// each solver; the table gives the backward error ||Ax - b|| / (||A|| ||x|| + ||b||), the
// forward error ||x - 1|| (infinity norms, both computed in double against the matrix as
// read), perturbed pivots, refinement steps, inertia and the entries stored in the factors.
//
//   bench_korvine_accuracy [directory | file.mtx]   (default: the shared test matrices)
//
// Prints one Markdown table; "-" marks a figure the solver does not report, "not finite" a
// solution with an infinity or a NaN in it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/matrix_market.h"
#include "sparse_solver/interface/handle.h"
#include "tests/sparse_solver/korvine_support.h"

#ifdef ZTR_BENCH_WITH_UMFPACK
#include <umfpack.h>
#endif
#ifdef ZTR_BENCH_WITH_CHOLMOD
#include <cholmod.h>
#endif
#ifdef ZTR_BENCH_WITH_DMUMPS
#include <dmumps_c.h>
#endif
#ifdef ZTR_BENCH_WITH_SMUMPS
#include <smumps_c.h>
#endif

namespace {

using ztr::test::Input;
using ztr::test::Korvine;
using ztr::test::solver_input;
using ztr::test::Sparse;

constexpr long long kNone = -1;  // a figure the solver does not report
// The multifrontal solver's "use the default communicator" value (sequential library).
constexpr int kMumpsCommWorld = -987654;
// Its job codes: initialise, analyse and factor, solve, finish.
constexpr int kMumpsInit = -1, kMumpsFactor = 4, kMumpsSolve = 3, kMumpsEnd = -2;

// One solver's answer to A x = A*1.
struct Outcome {
  std::string solver;
  std::string result = "ok";
  bool solved = false;            // a solution came back
  double berr = NAN, ferr = NAN;  // NaN: it is not finite
  long long perturbed = kNone, steps = kNone, positive = kNone, negative = kNone;
  long long entries = kNone;  // values stored in the factors (L with its diagonal, and U)
};

std::vector<double> times_ones(const Sparse& s) {
  std::vector<double> b(s.n, 0.0);
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) b[i] += s.a[k];
  return b;
}

// Fills the two errors of a returned solution; they stay NaN when it is not finite (a NaN
// would slip through the maxima).
template <typename T>
void judge(const Sparse& s, const std::vector<T>& xt, const std::vector<T>& bt, Outcome* o) {
  const std::vector<double> x(xt.begin(), xt.end()), b(bt.begin(), bt.end());
  o->solved = true;
  if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) return;
  double norm_a = 0, norm_x = 0, norm_b = 0, norm_r = 0, ferr = 0;
  for (int i = 0; i < s.n; ++i) {
    double row = 0, r = b[i];
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      row += std::abs(s.a[k]);
      r -= s.a[k] * x[s.ja[k]];
    }
    norm_a = std::max(norm_a, row);
    norm_r = std::max(norm_r, std::abs(r));
    norm_x = std::max(norm_x, std::abs(x[i]));
    norm_b = std::max(norm_b, std::abs(b[i]));
    ferr = std::max(ferr, std::abs(x[i] - 1.0));
  }
  o->berr = norm_r / (norm_a * norm_x + norm_b);
  o->ferr = ferr;
}

bool positive_diagonal(const Sparse& s) {
  for (int i = 0; i < s.n; ++i) {
    bool found = false;
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      if (s.ja[k] == i) found = s.a[k] > 0;
    if (!found) return false;
  }
  return true;
}

// KORVINE with the defaults of the type (single precision: iparm[27] = 1), phase by phase.
template <typename T>
Outcome run_korvine(const Sparse& s, int mtype) {
  constexpr bool single = std::is_same_v<T, float>;
  Outcome o;
  o.solver = "KORVINE " + std::to_string(mtype);
  Input<T> in = solver_input<T>(s, mtype % 2 == 0, 1);
  Korvine k(mtype, {{27, single ? 1 : 0}});
  const std::vector<double> b = times_ones(s);
  std::vector<T> rhs(b.begin(), b.end()), x(s.n, T(0));
  for (int phase : {11, 22, 33}) {
    if (k.call(phase, in, rhs.data(), x.data()) != 0) {
      o.result = "error " + std::to_string(k.error) + " in phase " + std::to_string(phase);
      if (phase == 22) o.result += ", iparm[29] " + std::to_string(k.iparm[29]);
      if (phase != 33) return o;
    }
    if (phase == 22) {
      const ztr::ControlRecord* c = ztr::handle_control(k.pt);
      o.entries = c->sn.nnz_l + c->sn.nnz_u;
    }
  }
  o.perturbed = k.iparm[13];
  o.steps = k.iparm[6];
  if (mtype == -2) {
    o.positive = k.iparm[21];
    o.negative = k.iparm[22];
  } else if (mtype == 2) {
    o.positive = s.n;  // a completed Cholesky factorization
    o.negative = 0;
  }
  judge(s, x, rhs, &o);
  return o;
}

#ifdef ZTR_BENCH_WITH_UMFPACK
// The LU package, on the CSR arrays read as compressed columns of A' and solving A'^T.
Outcome run_umfpack(const Sparse& s) {
  Outcome o;
  o.solver = "UMFPACK";
  const std::vector<double> b = times_ones(s);
  std::vector<double> x(s.n, 0.0);
  double control[UMFPACK_CONTROL], info[UMFPACK_INFO];
  umfpack_di_defaults(control);
  void *symbolic = nullptr, *numeric = nullptr;
  int status =
      umfpack_di_symbolic(s.n, s.n, s.ia.data(), s.ja.data(), s.a.data(), &symbolic, control, info);
  if (status == UMFPACK_OK)
    status =
        umfpack_di_numeric(s.ia.data(), s.ja.data(), s.a.data(), symbolic, &numeric, control, info);
  if (status == UMFPACK_OK || status == UMFPACK_WARNING_singular_matrix) {
    o.entries = static_cast<long long>(info[UMFPACK_LNZ] + info[UMFPACK_UNZ]) - s.n;
    if (status != UMFPACK_OK) o.result = "singular (warning)";
    status = umfpack_di_solve(UMFPACK_At, s.ia.data(), s.ja.data(), s.a.data(), x.data(), b.data(),
                              numeric, control, info);
    o.steps = static_cast<long long>(info[UMFPACK_IR_TAKEN]);
    judge(s, x, b, &o);
  }
  if (status < 0) o.result = "status " + std::to_string(status);
  umfpack_di_free_numeric(&numeric);
  umfpack_di_free_symbolic(&symbolic);
  return o;
}
#endif

#ifdef ZTR_BENCH_WITH_CHOLMOD
// The Cholesky package with its defaults (LL'), given the lower triangle by columns (the
// upper triangle's rows).
Outcome run_cholmod(const Sparse& s) {
  Outcome o;
  o.solver = "CHOLMOD";
  cholmod_common c;
  cholmod_start(&c);
  c.print = 0;  // its failures are in the table
  Input<double> in = solver_input(s, true, 0);
  cholmod_sparse* A = cholmod_allocate_sparse(s.n, s.n, in.ja.size(), 1, 1, -1, CHOLMOD_REAL, &c);
  std::copy(in.ia.begin(), in.ia.end(), static_cast<int*>(A->p));
  std::copy(in.ja.begin(), in.ja.end(), static_cast<int*>(A->i));
  std::copy(in.a.begin(), in.a.end(), static_cast<double*>(A->x));
  cholmod_dense* B = cholmod_zeros(s.n, 1, CHOLMOD_REAL, &c);
  const std::vector<double> b = times_ones(s);
  std::copy(b.begin(), b.end(), static_cast<double*>(B->x));
  cholmod_factor* L = cholmod_analyze(A, &c);
  cholmod_factorize(A, L, &c);
  if (c.status == CHOLMOD_OK) {
    o.entries = static_cast<long long>(c.lnz);
    o.positive = s.n;  // a completed Cholesky factorization
    o.negative = 0;
    cholmod_dense* X = cholmod_solve(CHOLMOD_A, L, B, &c);
    const double* xp = static_cast<const double*>(X->x);
    judge(s, std::vector<double>(xp, xp + s.n), b, &o);
    cholmod_free_dense(&X, &c);
  } else if (c.status == CHOLMOD_NOT_POSDEF) {
    o.result = "not positive definite at column " + std::to_string(L->minor);
  } else {
    o.result = "status " + std::to_string(c.status);
  }
  cholmod_free_dense(&B, &c);
  cholmod_free_factor(&L, &c);
  cholmod_free_sparse(&A, &c);
  cholmod_finish(&c);
  return o;
}
#endif

#if defined(ZTR_BENCH_WITH_DMUMPS) || defined(ZTR_BENCH_WITH_SMUMPS)
// The multifrontal package, sequential, with its defaults: LDL' with pivoting (sym = 2) for
// a symmetric file, LU (sym = 0) otherwise; coordinates one-based, one triangle if symmetric.
// Its INFOG(k) is infog[k-1].
template <typename T, typename Struc>
Outcome run_mumps(const Sparse& s, bool symmetric, void (*entry)(Struc*), const char* name) {
  Outcome o;
  o.solver = name;
  Struc id{};
  id.job = kMumpsInit;
  id.par = 1;
  id.sym = symmetric ? 2 : 0;
  id.comm_fortran = kMumpsCommWorld;
  entry(&id);
  if (id.infog[0] < 0) {
    o.result = "INFOG(1) " + std::to_string(id.infog[0]) + " at start";
    return o;
  }
  id.icntl[0] = id.icntl[1] = id.icntl[2] = -1;  // no messages
  id.icntl[3] = 0;
  std::vector<int> irn, jcn;
  std::vector<T> a;
  for (int i = 0; i < s.n; ++i)
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      if (symmetric && s.ja[k] < i) continue;
      irn.push_back(i + 1);
      jcn.push_back(s.ja[k] + 1);
      a.push_back(static_cast<T>(s.a[k]));
    }
  const std::vector<double> b = times_ones(s);
  std::vector<T> rhs(b.begin(), b.end()), x;
  id.n = s.n;
  id.nz = static_cast<int>(a.size());
  id.nnz = static_cast<long long>(a.size());
  id.irn = irn.data();
  id.jcn = jcn.data();
  id.a = a.data();
  id.job = kMumpsFactor;
  entry(&id);
  if (id.infog[0] >= 0) {
    // Entries in the factors; a negative count is in millions.
    o.entries = id.infog[28] >= 0 ? id.infog[28] : -1000000LL * id.infog[28];
    o.perturbed = id.infog[24];  // pivots replaced by static pivoting
    if (symmetric) {
      o.negative = id.infog[11];
      o.positive = s.n - id.infog[11] - id.infog[27];  // less the null pivots
    }
    x = rhs;
    id.rhs = x.data();
    id.nrhs = 1;
    id.lrhs = s.n;
    id.job = kMumpsSolve;
    entry(&id);
    if (id.infog[0] >= 0) {
      o.steps = id.infog[14];
      judge(s, x, rhs, &o);
    }
  }
  if (id.infog[0] < 0)
    o.result =
        "INFOG(1) " + std::to_string(id.infog[0]) + ", INFOG(2) " + std::to_string(id.infog[1]);
  id.job = kMumpsEnd;
  entry(&id);
  return o;
}
#endif

std::string figure(long long v) {
  return v == kNone ? "-" : std::to_string(v);
}
std::string error_figure(const Outcome& o, double v) {
  if (!o.solved) return "-";
  if (std::isnan(v)) return "not finite";
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", v);
  return text;
}

void print_row(const std::string& matrix, const std::string& n, const char* precision,
               const Outcome& o) {
  const std::string inertia =
      o.positive == kNone ? "-" : std::to_string(o.positive) + "/" + std::to_string(o.negative);
  std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", matrix.c_str(),
              n.c_str(), precision, o.solver.c_str(), o.result.c_str(),
              error_figure(o, o.berr).c_str(), error_figure(o, o.ferr).c_str(),
              figure(o.perturbed).c_str(), figure(o.steps).c_str(), inertia.c_str(),
              figure(o.entries).c_str());
}

// Every solver on one file, double precision first, then single.
void solve_file(const std::filesystem::path& path) {
  const std::string name = path.stem().string();
  Sparse s;
  bench::MatrixMarketBanner banner;
  if (!bench::read_matrix_market(path.string(), &s, &banner)) {
    const bool complex = banner.complex;
    std::printf("| %s | | | | skipped: %s | | | | | | |\n", name.c_str(),
                complex ? "complex values (KORVINE refuses complex types)" : "unreadable");
    return;
  }
  const bool symmetric = banner.symmetric;
  std::vector<int> types{symmetric ? -2 : 11};
  if (symmetric && positive_diagonal(s)) types.push_back(2);

  std::vector<Outcome> dbl, sgl;
  for (int t : types) dbl.push_back(run_korvine<double>(s, t));
#ifdef ZTR_BENCH_WITH_UMFPACK
  dbl.push_back(run_umfpack(s));
#endif
#ifdef ZTR_BENCH_WITH_CHOLMOD
  if (symmetric) dbl.push_back(run_cholmod(s));
#endif
#ifdef ZTR_BENCH_WITH_DMUMPS
  dbl.push_back(run_mumps<double>(s, symmetric, dmumps_c, "MUMPS"));
#endif
  for (int t : types) sgl.push_back(run_korvine<float>(s, t));
#ifdef ZTR_BENCH_WITH_SMUMPS
  sgl.push_back(run_mumps<float>(s, symmetric, smumps_c, "SMUMPS"));
#else
  Outcome none;
  none.solver = "single-precision peer";
  none.result = "none installed";
  sgl.push_back(none);
#endif
  bool first = true;
  for (const Outcome& o : dbl) {
    print_row(first ? name : "", first ? std::to_string(s.n) : "", "double", o);
    first = false;
  }
  for (const Outcome& o : sgl) print_row("", "", "single", o);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path where = argc > 1 ? argv[1] : ZTR_SOURCE_DIR "/../shared/testdata";
  std::vector<std::filesystem::path> files;
  std::error_code failure;
  if (std::filesystem::is_directory(where, failure)) {
    for (const auto& e : std::filesystem::directory_iterator(where, failure))
      if (e.path().extension() == ".mtx") files.push_back(e.path());
    std::sort(files.begin(), files.end());
  } else if (std::filesystem::exists(where, failure)) {
    files.push_back(where);
  }
  if (files.empty()) {
    std::fprintf(stderr, "bench_korvine_accuracy: no .mtx file at %s\n", where.c_str());
    return 1;
  }
  std::printf(
      "| matrix | n | precision | solver | result | backward error | forward error | perturbed "
      "pivots | refinement steps | inertia +/− | factor entries |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& f : files) solve_file(f);
  return 0;
}
