// Graph generators and checks shared by the ordering tests.  Graphs are zero-based
// compressed rows of a symmetric pattern; `with_diagonal` adds the diagonal entries the
// solver's pattern carries.
#pragma once

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace ztr::test {

struct Graph {
  int n = 0;
  std::vector<int> xadj{0};
  std::vector<int> adjncy;
  const int* x() const { return xadj.data(); }
  const int* a() const { return adjncy.empty() ? nullptr : adjncy.data(); }
};

// From an edge list (each undirected edge once or twice, self-loops allowed).
inline Graph from_edges(int n, const std::vector<std::pair<int, int>>& edges,
                        bool with_diagonal = false) {
  std::vector<std::set<int>> rows(static_cast<std::size_t>(n));
  for (auto [i, j] : edges) {
    rows[i].insert(j);
    rows[j].insert(i);
  }
  if (with_diagonal) {
    for (int i = 0; i < n; ++i) rows[i].insert(i);
  }
  Graph g;
  g.n = n;
  for (int i = 0; i < n; ++i) {
    g.adjncy.insert(g.adjncy.end(), rows[i].begin(), rows[i].end());
    g.xadj.push_back(static_cast<int>(g.adjncy.size()));
  }
  return g;
}

// nx x ny x nz grid; 7-point (faces) or 27-point (faces, edges and corners) stencil.
inline Graph grid(int nx, int ny, int nz, bool full_stencil = false, bool with_diagonal = false) {
  std::vector<std::pair<int, int>> e;
  auto id = [&](int x, int y, int z) { return (z * ny + y) * nx + x; };
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x)
        for (int dz = -1; dz <= 1; ++dz)
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int m = (dx != 0) + (dy != 0) + (dz != 0);
              if (m == 0 || (!full_stencil && m > 1)) continue;
              const int X = x + dx, Y = y + dy, Z = z + dz;
              if (X < 0 || Y < 0 || Z < 0 || X >= nx || Y >= ny || Z >= nz) continue;
              e.emplace_back(id(x, y, z), id(X, Y, Z));
            }
  return from_edges(nx * ny * nz, e, with_diagonal);
}

inline Graph random_graph(int n, int edges, std::uint64_t seed, bool with_diagonal = false) {
  Rng r(static_cast<Rng::result_type>(seed));
  std::vector<std::pair<int, int>> e;
  for (int k = 0; k < edges; ++k) e.emplace_back(below(r, n), below(r, n));
  return from_edges(n, e, with_diagonal);
}

// Disjoint copies of g.
inline Graph copies(const Graph& g, int count) {
  std::vector<std::pair<int, int>> e;
  for (int c = 0; c < count; ++c)
    for (int i = 0; i < g.n; ++i)
      for (int k = g.xadj[i]; k < g.xadj[i + 1]; ++k)
        e.emplace_back(c * g.n + i, c * g.n + g.adjncy[k]);
  return from_edges(g.n * count, e);
}

// A 2-D grid whose points carry `dofs` unknowns each, all coupled: groups of identical rows.
// With the full stencil it is the pattern of a plate of quadrilateral finite elements.
inline Graph multi_dof_grid(int nx, int ny, int dofs, bool full_stencil = false) {
  const Graph base = grid(nx, ny, 1, full_stencil, true);
  std::vector<std::pair<int, int>> e;
  for (int i = 0; i < base.n; ++i)
    for (int k = base.xadj[i]; k < base.xadj[i + 1]; ++k)
      for (int a = 0; a < dofs; ++a)
        for (int b = 0; b < dofs; ++b) e.emplace_back(i * dofs + a, base.adjncy[k] * dofs + b);
  return from_edges(base.n * dofs, e);
}

// Tridiagonal (or, without `chain`, diagonal) plus one full row and column (vertex `hub`).
inline Graph arrow(int n, int hub, bool chain = true) {
  std::vector<std::pair<int, int>> e;
  for (int i = 0; chain && i + 1 < n; ++i) e.emplace_back(i, i + 1);
  for (int i = 0; i < n; ++i) e.emplace_back(hub, i);
  return from_edges(n, e, true);
}

inline bool is_permutation(const std::vector<int>& perm, int n) {
  if (static_cast<int>(perm.size()) < n) return false;
  std::vector<char> seen(static_cast<std::size_t>(n), 0);
  for (int k = 0; k < n; ++k) {
    if (perm[k] < 0 || perm[k] >= n || seen[perm[k]]) return false;
    seen[perm[k]] = 1;
  }
  return true;
}

}  // namespace ztr::test
