#include "builtin_problem.h"

#include <cstddef>

namespace ztr::cli {

mm::Coordinate laplacian_3d(int m) {
  mm::Coordinate c;
  c.rows = c.cols = m * m * m;
  c.field = mm::Field::kReal;
  c.symmetry = mm::Symmetry::kSymmetric;
  c.triangle = mm::Triangle::kLower;
  const std::size_t entries = static_cast<std::size_t>(c.rows) * 4;
  c.row.reserve(entries);
  c.col.reserve(entries);
  c.re.reserve(entries);
  auto add = [&c](int i, int j, double v) {
    c.row.push_back(i);
    c.col.push_back(j);
    c.re.push_back(v);
  };
  for (int z = 0; z < m; ++z)
    for (int y = 0; y < m; ++y)
      for (int x = 0; x < m; ++x) {
        const int i = (z * m + y) * m + x;
        add(i, i, 6.0);
        if (x > 0) add(i, i - 1, -1.0);
        if (y > 0) add(i, i - m, -1.0);
        if (z > 0) add(i, i - m * m, -1.0);
      }
  return c;
}

}  // namespace ztr::cli
