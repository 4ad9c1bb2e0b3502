// The solver's input built from a matrix as a file states it: the matrix type chosen from the
// file's kind, and the CSR arrays that type expects (the upper triangle for the symmetric
// types, the full pattern otherwise, a symmetric pattern for the structurally symmetric
// types).
#pragma once

#include <string>
#include <vector>

#include "matrix_market.h"

namespace ztr::cli {

// Zero-based CSR with ascending columns and no duplicates; values interleaved (real,
// imaginary) for the complex types.
struct SolverInput {
  int n = 0;
  int mtype = 0;
  std::vector<int> ia, ja;
  std::vector<double> a;
};

// Whether KORVINE knows the matrix type, and whether it is a complex one.
bool known_mtype(int mtype);
bool complex_mtype(int mtype);
// A short name of the type ("real symmetric positive definite", ...).
const char* mtype_name(int mtype);

// The type to try first: a symmetric file with a positive diagonal 2 (else -2), a hermitian
// one with a positive diagonal 4 (else -4), a complex symmetric one 6, any other real
// matrix 11, complex 13.
int first_mtype(const mm::Coordinate& m);
// The type to fall back to when `mtype` was refused as not positive definite, or 0.
int indefinite_fallback(int mtype);

// For a general file whose off-diagonal entries all lie in one triangle (perhaps a symmetric
// matrix declared general by mistake), that triangle; kNone otherwise.
mm::Triangle general_file_triangle(const mm::Coordinate& m);

// Builds the input of `mtype` from the square matrix `m`.  Entries given twice are summed; the
// diagonal of the symmetric types is stored, as zero where the file has none.  From a general
// file a symmetric type takes the upper triangle (the solver reads only that).  False and a
// message when the file's matrix cannot be given as that type (a complex matrix as a real
// type, a skew-symmetric one as a symmetric type, a complex hermitian one as the complex
// symmetric type and the reverse, too many entries for 32-bit indices).
bool build_solver_input(const mm::Coordinate& m, int mtype, SolverInput& out, std::string& error);

}  // namespace ztr::cli
