// One solve with KORVINE through its exported entry point: analysis, factorization and
// solve as separate phases (so that each is timed and a failure is placed), the handle
// released on every path.
#pragma once

#include <string>
#include <vector>

#include "solver_input.h"

namespace ztr::cli {

struct RunSettings {
  bool single = false;   // iparm[27] = 1
  int refine = -1;       // iparm[7]; -1 keeps the default
  bool ooc = false;      // iparm[59] = 2: the factors in temporary files
  bool verbose = false;  // the solver's report on standard output
};

struct RunResult {
  int error = 0;         // KORVINE's error of the phase that failed, else 0
  int failed_phase = 0;  // 11, 22 or 33 when error != 0
  double analysis_s = 0, factorization_s = 0, solve_s = 0;
  long long nnz_factors = -1;   // nnz(L+U) from the analysis report; -1 when unknown
  std::string analysis_report;  // what the analysis printed (empty if it could not be kept)
  int iparm[64] = {};
  std::vector<double> x;  // n*nrhs values (interleaved for complex types), in double
};

// Solves in.mtype for the nrhs columns of b (n*nrhs values, interleaved for complex types).
void run_korvine(const SolverInput& in, const std::vector<double>& b, int nrhs,
                 const RunSettings& s, RunResult& r);

// The solver's defaults for mtype, as its phase with iparm[0] = 0 would set them.
void korvine_defaults(int mtype, int* iparm);

// What an `error` code of KORVINE returned by `phase` (11, 22 or 33) means, in a few words.
const char* korvine_error_text(int error, int phase);

}  // namespace ztr::cli
