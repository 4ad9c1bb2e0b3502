// Matrix Market coordinate files as the solver tests' sparse matrix (full pattern, rows in
// order, columns ascending), for the solver benchmarks.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/sparse_solver/korvine_support.h"

namespace bench {

// The banner's format ("coordinate" or "array"), field ("real", "integer", "complex",
// "pattern") and symmetry ("general", "symmetric", "skew-symmetric", "hermitian"), in lower
// case.
struct MatrixMarketBanner {
  std::string format, field, symmetry;
};

inline std::string lower_case(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Reads a square coordinate file of real, integer or pattern values (pattern entries are
// ones); a symmetric or skew-symmetric file gives both triangles, duplicates are summed.
// False when the file cannot be read, is not square, has an index outside 1..n, ends early,
// or holds complex values: the solver's real types would get only half of each value.
// *banner (may be null) receives the banner, so that the caller can tell which.
inline bool read_matrix_market(const std::string& path, ztr::test::Sparse* s,
                               MatrixMarketBanner* banner = nullptr) {
  std::ifstream f(path);
  std::string line, word;
  MatrixMarketBanner b;
  if (!std::getline(f, line)) return false;
  std::istringstream(lower_case(line)) >> word >> word >> b.format >> b.field >> b.symmetry;
  if (banner != nullptr) *banner = b;
  if (b.format != "coordinate" || b.field == "complex" || b.symmetry == "hermitian") return false;
  const bool mirrored = b.symmetry == "symmetric" || b.symmetry == "skew-symmetric";
  const double mirror_sign = b.symmetry == "skew-symmetric" ? -1.0 : 1.0;
  while (std::getline(f, line) && (line.empty() || line[0] == '%')) {
  }
  int n = 0, m = 0, nnz = 0;
  std::istringstream(line) >> n >> m >> nnz;
  if (n <= 0 || m != n || nnz < 0) return false;
  std::map<std::pair<int, int>, double> e;
  for (int k = 0; k < nnz; ++k) {
    int i = 0, j = 0;
    double v = 1.0;
    if (!(f >> i >> j) || i < 1 || i > n || j < 1 || j > n || !std::getline(f, line)) return false;
    std::istringstream(line) >> v;
    e[{i - 1, j - 1}] += v;
    if (mirrored && i != j) e[{j - 1, i - 1}] += mirror_sign * v;
  }
  *s = ztr::test::from_map(n, e);
  return true;
}

}  // namespace bench
