// Reading and writing Matrix Market files: sparse matrices in coordinate form and dense
// matrices (right-hand sides, solutions) in array form.
//
// Every failure is reported as one line of text that names the file and, where the fault
// lies in a line, its number ("matrix.mtx:7: ..."); nothing throws past these routines and
// nothing is left half-read.  Reading goes through large blocks and parses numbers in place,
// so the cost per entry is the parse alone.
#pragma once

#include <string>
#include <vector>

namespace ztr::mm {

enum class Field { kReal, kInteger, kPattern, kComplex };
enum class Symmetry { kGeneral, kSymmetric, kSkewSymmetric, kHermitian };
// Which strict triangle the off-diagonal entries of a symmetric, skew-symmetric or Hermitian
// file lie in (either may be stored, never both); kNone when there are none.
enum class Triangle { kNone, kLower, kUpper };

// A sparse matrix as the file states it: one-based indices made zero-based, values as read
// (pattern entries are 1, integers are converted), the imaginary parts only for complex
// files.  Symmetric kinds hold one triangle only.
struct Coordinate {
  int rows = 0, cols = 0;
  Field field = Field::kReal;
  Symmetry symmetry = Symmetry::kGeneral;
  Triangle triangle = Triangle::kNone;
  std::vector<int> row, col;
  std::vector<double> re, im;
  bool is_complex() const { return field == Field::kComplex; }
};

// A dense matrix, column after column; complex values interleaved (real, imaginary).
struct Dense {
  int rows = 0, cols = 0;
  bool complex = false;
  std::vector<double> values;
};

// Reads a coordinate file (plain, or gzip-compressed when built with zlib).  False and a
// message in `error` on any fault.
bool read_coordinate(const std::string& path, Coordinate& out, std::string& error);

// Reads a general array file (real, integer or complex).
bool read_array(const std::string& path, Dense& out, std::string& error);

// Writes `d` as a general array file with values that read back exactly.
bool write_array(const std::string& path, const Dense& d, std::string& error);

// Whether gzip-compressed files can be read by this build.
bool compressed_input_supported();

}  // namespace ztr::mm
