// ztr-solve: solves a sparse linear system from a Matrix Market file with KORVINE and reports
// what the solver did (see --help).  Results go to standard output, a failure is one line on
// standard error and a non-zero exit status.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "builtin_problem.h"
#include "include/ztr.h"
#include "korvine_run.h"
#include "matrix_market.h"
#include "matrix_product.h"
#include "options.h"
#include "solver_input.h"

namespace {

using namespace ztr::cli;
namespace mm = ztr::mm;

int fail(int status, const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "ztr-solve: %s\n", message.c_str());
  return status;
}

const char* phase_name(int phase) {
  return phase == 11 ? "analysis" : phase == 22 ? "factorization" : "solve";
}

bool all_finite(const std::vector<double>& v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

int solve(const Options& o) {
  mm::Coordinate m;
  std::string name = o.matrix, error;
  if (o.matrix.empty()) {
    m = laplacian_3d(kBuiltinGrid);
    name = "built-in 7-point Laplacian of a " + std::to_string(kBuiltinGrid) + "^3 grid";
  } else if (!mm::read_coordinate(o.matrix, m, error)) {
    return fail(kInput, error);
  }
  if (m.rows != m.cols)
    return fail(kInput, name + ": the matrix is " + std::to_string(m.rows) + " x " +
                            std::to_string(m.cols) + "; the solver needs a square one");
  const int n = m.rows;
  // Each stored entry fills at most one row of the matrix (two when mirrored): with fewer, a
  // row is empty and the matrix singular.  Checked before anything of order n is allocated,
  // so that a header declaring a huge order cannot exhaust memory.
  const std::size_t rows_reached = m.row.size() * (m.symmetry == mm::Symmetry::kGeneral ? 1 : 2);
  if (rows_reached < static_cast<std::size_t>(n))
    return fail(kSolverFailed, name + ": structurally singular: " + std::to_string(m.row.size()) +
                                   " entries leave some of the " + std::to_string(n) +
                                   " rows empty");
  int mtype = o.mtype != 0 ? o.mtype : first_mtype(m);
  // A general file holding one triangle is solved as the triangular matrix it states; it may
  // be a symmetric one declared general, which one line points out.
  const mm::Triangle lone = general_file_triangle(m);
  if (lone != mm::Triangle::kNone)
    std::printf(
        "note: the general matrix has entries in its %s triangle only; it is solved as "
        "given (a symmetric matrix must be declared symmetric)\n",
        lone == mm::Triangle::kLower ? "lower" : "upper");

  // Right-hand sides, in the element type of the matrix type.
  int nrhs = 1;
  std::vector<double> b;
  const bool from_ones = o.rhs.empty();
  auto complex_now = [&mtype] { return complex_mtype(mtype); };
  mm::Dense rhs;
  if (!from_ones) {
    if (!mm::read_array(o.rhs, rhs, error)) return fail(kInput, error);
    if (rhs.rows != n)
      return fail(kInput, o.rhs + ": " + std::to_string(rhs.rows) + " rows, but the matrix has " +
                              std::to_string(n));
    nrhs = rhs.cols;
  }
  auto make_rhs = [&] {
    const bool cplx = complex_now();
    const std::size_t w = cplx ? 2 : 1;
    if (from_ones) {
      std::vector<double> ones(static_cast<std::size_t>(n) * w, 0.0);
      for (std::size_t i = 0; i < ones.size(); i += w) ones[i] = 1.0;
      b.assign(ones.size(), 0.0);
      multiply(m, cplx, 1, ones.data(), b.data());
    } else if (rhs.complex == cplx) {
      b = rhs.values;
    } else {
      b.assign(rhs.values.size() * 2, 0.0);
      for (std::size_t i = 0; i < rhs.values.size(); ++i) b[2 * i] = rhs.values[i];
    }
  };
  if (rhs.complex && !complex_now())
    return fail(kInput, o.rhs + ": complex right-hand sides for the real matrix type " +
                            std::to_string(mtype));

  RunSettings settings;
  settings.single = o.single;
  settings.refine = o.refine;
  settings.verbose = o.verbose;
  settings.ooc = o.ooc;
  RunResult r;
  SolverInput in;
  for (;;) {
    if (!build_solver_input(m, mtype, in, error)) return fail(kUsage, name + ": " + error);
    make_rhs();
    run_korvine(in, b, nrhs, settings, r);
    const int fallback = indefinite_fallback(mtype);
    if (r.error == -4 && r.failed_phase == 22 && fallback != 0 && o.mtype == 0) {
      std::printf("not positive definite: solving again as %s (type %d)\n", mtype_name(fallback),
                  fallback);
      mtype = fallback;
      continue;
    }
    break;
  }
  if (r.error != 0)
    return fail(kSolverFailed, name + ": KORVINE failed in the " + phase_name(r.failed_phase) +
                                   ": error " + std::to_string(r.error) + " (" +
                                   korvine_error_text(r.error, r.failed_phase) + ")");

  const int* ip = r.iparm;
  std::printf("matrix:             %s\n", name.c_str());
  std::printf("n:                  %d\n", n);
  std::printf("nnz:                %zu in the file, %zu given to the solver\n", m.row.size(),
              in.ja.size());
  std::printf("matrix type:        %d (%s)\n", mtype, mtype_name(mtype));
  std::printf("precision:          %s\n", o.single ? "single" : "double");
  std::printf("threads:            %d\n", ip[2]);
  std::printf("right-hand sides:   %d%s\n", nrhs, from_ones ? " (b = A*1)" : "");
  std::printf("analysis:           %.3f s\n", r.analysis_s);
  std::printf("factorization:      %.3f s\n", r.factorization_s);
  std::printf("solve:              %.3f s\n", r.solve_s);
  if (r.nnz_factors >= 0)
    std::printf("nnz(L+U):           %lld\n", r.nnz_factors);
  else
    std::printf("nnz(L+U):           unknown\n");
  // Peak: the analysis' peak, or what the analysis keeps plus the factors and solve.
  std::printf("peak memory:        %d kB\n", std::max(ip[14], ip[15] + ip[16]));
  // Perturbed pivots make the counts those of a nearby matrix, which the line says.
  if (mtype == -2 || mtype == -4)
    std::printf("inertia:            %d positive, %d negative, %d zero%s\n", ip[21], ip[22],
                n - ip[21] - ip[22], ip[13] > 0 ? " (of the matrix with perturbed pivots)" : "");
  else if (mtype == 2 || mtype == 4)
    std::printf("inertia:            %d positive, 0 negative, 0 zero\n", n);
  std::printf("perturbed pivots:   %d\n", ip[13]);
  std::printf("refinement steps:   %d\n", ip[6]);
  if (!all_finite(r.x))
    return fail(kSolverFailed, name +
                                   ": the solution is not finite (the matrix is singular "
                                   "or too badly conditioned)");
  const bool cplx = complex_mtype(mtype);
  std::printf("relative residual:  %.2e\n", relative_residual(m, cplx, nrhs, b.data(), r.x.data()));
  if (from_ones) {
    double worst = 0;
    const std::size_t w = cplx ? 2 : 1;
    for (std::size_t i = 0; i < r.x.size(); i += w)
      worst = std::max(worst, std::hypot(r.x[i] - 1.0, cplx ? r.x[i + 1] : 0.0));
    std::printf("error against 1:    %.2e\n", worst);
  }
  std::fflush(stdout);
  if (!o.output.empty()) {
    mm::Dense d;
    d.rows = n;
    d.cols = nrhs;
    d.complex = cplx;
    d.values = std::move(r.x);
    if (!mm::write_array(o.output, d, error)) return fail(kInput, error);
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!parse_options(argc, argv, o, error)) return fail(kUsage, error);
  if (o.help) {
    std::fputs(help_text().c_str(), stdout);
    return kOk;
  }
  if (o.threads > 0) ZTR_Set_Num_Threads(o.threads);
  try {
    return solve(o);
  } catch (const std::bad_alloc&) {
    return fail(kSolverFailed, "out of memory");
  }
}
