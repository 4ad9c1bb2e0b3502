// Matrix Market coordinate files as the solver tests' sparse matrix (full pattern, rows in
// order, columns ascending), for the solver benchmarks: ztr-solve's reader, mirrored.
#pragma once

#include <map>
#include <string>

#include "tests/sparse_solver/korvine_support.h"
#include "tools/ztr-solve/matrix_market.h"

namespace bench {

// What the file declares, so that a caller can tell a refused complex file from a bad one.
struct MatrixMarketBanner {
  bool complex = false;    // complex values or a Hermitian matrix
  bool symmetric = false;  // one triangle of a symmetric matrix stored
};

// Reads a square coordinate file of real, integer or pattern values (pattern entries are
// ones); a symmetric or skew-symmetric file gives both triangles, duplicates are summed.
// False when the file cannot be read, is not square or holds complex values (the solver's
// real types would get only half of each value); *banner (may be null) receives the banner.
inline bool read_matrix_market(const std::string& path, ztr::test::Sparse* s,
                               MatrixMarketBanner* banner = nullptr) {
  ztr::mm::Coordinate c;
  std::string error;
  if (!ztr::mm::read_coordinate(path, c, error)) return false;
  const MatrixMarketBanner b{c.is_complex() || c.symmetry == ztr::mm::Symmetry::kHermitian,
                             c.symmetry == ztr::mm::Symmetry::kSymmetric};
  if (banner != nullptr) *banner = b;
  if (b.complex || c.rows != c.cols) return false;
  const double mirror_sign = c.symmetry == ztr::mm::Symmetry::kSkewSymmetric ? -1.0 : 1.0;
  std::map<std::pair<int, int>, double> e;
  for (size_t k = 0; k < c.row.size(); ++k) {
    e[{c.row[k], c.col[k]}] += c.re[k];
    if (c.symmetry != ztr::mm::Symmetry::kGeneral && c.row[k] != c.col[k])
      e[{c.col[k], c.row[k]}] += mirror_sign * c.re[k];
  }
  *s = ztr::test::from_map(c.rows, e);
  return true;
}

}  // namespace bench
