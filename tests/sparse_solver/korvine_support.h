// Matrices and a calling frame for the solver tests: generated sparse problems (grids,
// convection-diffusion, saddle points), conversion to the solver's CSR input, and the
// backward-error ratio that judges a solution.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <limits>
#include <type_traits>
#include <map>
#include <vector>

#include "include/ztr.h"
#include "sparse_solver/interface/solver_params.h"
#include "tests/lapack/error_text.h"
#include "tests/sparse_solver/graphs.h"

namespace ztr::test {

// A sparse matrix with its full pattern, zero-based rows with ascending columns.
struct Sparse {
  int n = 0;
  std::vector<int> ia{0}, ja;
  std::vector<double> a;
};

inline Sparse from_map(int n, const std::map<std::pair<int, int>, double>& m) {
  Sparse s;
  s.n = n;
  std::vector<std::vector<std::pair<int, double>>> rows(n);
  for (auto& [ij, v] : m) rows[ij.first].push_back({ij.second, v});
  for (int i = 0; i < n; ++i) {
    for (auto [j, v] : rows[i]) {
      s.ja.push_back(j);
      s.a.push_back(v);
    }
    s.ia.push_back(static_cast<int>(s.ja.size()));
  }
  return s;
}

// The 7-point operator on an nx x ny x nz grid (nx > 1): diagonal `diag`, neighbours -1 - wind
// for the +x neighbour and -1 + wind for the -x one (wind = 0: the symmetric Laplacian).
inline Sparse grid_operator(int nx, int ny, int nz, double diag, double wind = 0) {
  const Graph g = grid(nx, ny, nz, false, true);
  Sparse s{g.n, g.xadj, g.adjncy, {}};
  for (int i = 0; i < g.n; ++i)
    for (int k = g.xadj[i]; k < g.xadj[i + 1]; ++k) {
      const int d = g.adjncy[k] - i;
      s.a.push_back(d == 0 ? diag : d == -1 ? -1 + wind : d == 1 ? -1 - wind : -1);
    }
  return s;
}

// Saddle point [h H, B'; B 0]: H the 2-D Laplacian of an nx x nx grid, B (m x nx^2) with a
// unit entry at (i, stride i) (m stride <= nx^2) and two random ones of at most 0.3, so that
// B has full row rank.  Its inertia is (nx^2 positive, m negative) for h > 0, and (m, m) for
// h = 0 and stride 1.  The zero block has no stored diagonal.
inline Sparse saddle_point(int nx, int m, std::uint64_t seed, double h = 1, int stride = 2) {
  const Sparse lap = grid_operator(nx, nx, 1, 4.0);
  std::map<std::pair<int, int>, double> e;
  for (int i = 0; i < lap.n; ++i)
    for (int k = lap.ia[i]; k < lap.ia[i + 1]; ++k) e[{i, lap.ja[k]}] = h * lap.a[k];
  Rng r(static_cast<Rng::result_type>(seed));
  for (int i = 0; i < m; ++i) {
    std::map<int, double> row{{stride * i, 1.0}};
    for (int t = 0; t < 2; ++t) {
      const int j = below(r, lap.n);
      const double v = 0.3 * uniform(r);
      if (j != stride * i) row[j] = v;
    }
    for (auto [j, v] : row) e[{lap.n + i, j}] = e[{j, lap.n + i}] = v;
  }
  return from_map(lap.n + m, e);
}

// n / 2 pairs [[d, 1], [1, d]] with a tiny d (1e-6, 2e-6, 3e-6 in turn), coupled along a
// chain: stable only with 2x2 pivots or interchanges, and a matching pairs them.
inline Sparse tiny_pairs(int n) {
  std::map<std::pair<int, int>, double> m;
  for (int p = 0; p < n; p += 2) {
    m[{p, p}] = m[{p + 1, p + 1}] = 1e-6 * (1 + p % 3);
    m[{p, p + 1}] = m[{p + 1, p}] = 1;
    if (p + 2 < n) m[{p + 1, p + 2}] = m[{p + 2, p + 1}] = 0.3;
  }
  return from_map(n, m);
}

// True when p holds 1 .. p.size() in some order (a permutation the solver hands back).
inline bool one_based_permutation(std::vector<int> p) {
  for (int& v : p) --v;
  return is_permutation(p, static_cast<int>(p.size()));
}

template <typename T = double>
std::vector<T> random_rhs(std::size_t n, std::uint64_t seed) {
  Rng r(static_cast<Rng::result_type>(seed));
  const std::vector<double> v = random_vector(n, r);
  return {v.begin(), v.end()};
}

// The solver's input: the full pattern or the upper triangle, with index base 0 or 1.
template <typename T>
struct Input {
  int n = 0;
  std::vector<int> ia, ja;
  std::vector<T> a;
};
template <typename T = double>
Input<T> solver_input(const Sparse& s, bool upper, int base) {
  Input<T> in;
  in.n = s.n;
  in.ia.push_back(base);
  for (int i = 0; i < s.n; ++i) {
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      if (upper && s.ja[k] < i) continue;
      in.ja.push_back(s.ja[k] + base);
      in.a.push_back(static_cast<T>(s.a[k]));
    }
    in.ia.push_back(static_cast<int>(in.ja.size()) + base);
  }
  return in;
}

// The grid problem of a solver type in value type T: the 7-point operator on a g x (g-1) x
// (g-2) grid (definite for types 2 and 4, with a wind for the full-pattern types), and for the
// complex types imaginary parts on the off-diagonal entries; the symmetric-storage types give
// their upper triangle, whose values define the matrix.
template <typename T>
Input<T> typed_grid_problem(int mtype, int g) {
  constexpr bool complex_values = !std::is_floating_point_v<T>;
  const bool definite = mtype == 2 || mtype == 4;
  const bool unsym = mtype == 11 || mtype == 13 || mtype == 1 || mtype == 3;
  const Sparse s = grid_operator(g, g - 1, g - 2, definite ? 7.0 : 2.5, unsym ? 0.4 : 0.0);
  Input<T> in;
  in.n = s.n;
  in.ia.push_back(1);
  for (int i = 0; i < s.n; ++i) {
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      const int j = s.ja[k];
      if (!unsym && j < i) continue;
      in.ja.push_back(j + 1);
      if constexpr (complex_values) {
        using R = typename T::value_type;
        const double im = i == j ? 0.0 : 0.3 * (j > i ? 1 : -1) * (1 + (i + j) % 3);
        in.a.push_back(T(static_cast<R>(s.a[k]), static_cast<R>(im)));
      } else {
        in.a.push_back(static_cast<T>(s.a[k]));
      }
    }
    in.ia.push_back(static_cast<int>(in.ja.size()) + 1);
  }
  return in;
}

// Backward error ||b - A x||_inf / ((||A||_inf ||x||_inf + ||b||_inf) * n * eps) for every
// column; a correct direct solve stays well below 30.
template <typename T>
double backward_ratio(const Sparse& s, const std::vector<T>& x, const std::vector<T>& b, int nrhs,
                      bool transposed = false) {
  const int n = s.n;
  double norm_a = 0, worst = 0;
  for (int i = 0; i < n; ++i) {
    double r = 0;
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) r += std::abs(s.a[k]);
    norm_a = std::max(norm_a, r);
  }
  for (int c = 0; c < nrhs; ++c) {
    const T* xc = x.data() + static_cast<std::size_t>(c) * n;
    std::vector<double> r(b.begin() + c * n, b.begin() + (c + 1) * n);
    double nx = 0, nb = 0, nr = 0;
    for (int i = 0; i < n; ++i) {
      nx = std::max(nx, std::abs(static_cast<double>(xc[i])));
      nb = std::max(nb, std::abs(static_cast<double>(b[c * n + i])));
      for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
        (transposed ? r[s.ja[k]] : r[i]) -= s.a[k] * (transposed ? xc[i] : xc[s.ja[k]]);
    }
    for (double v : r) nr = std::max(nr, std::abs(v));
    worst = std::max(worst, nr / ((norm_a * nx + nb) * n * std::numeric_limits<T>::epsilon()));
  }
  return worst;
}

// A Matrix Market coordinate file of a real matrix with its full pattern: a symmetric file
// (one triangle stored) is mirrored.  A failed check and an empty matrix if it cannot be read.
inline Sparse read_mtx(const std::string& path) {
  std::ifstream f(path);
  std::string line;
  std::getline(f, line);
  const bool symmetric = line.find("symmetric") != std::string::npos;
  while (std::getline(f, line) && line[0] == '%') {
  }
  int n = 0, m = 0, nnz = 0;
  std::istringstream(line) >> n >> m >> nnz;
  EXPECT_GT(n, 0) << path;
  std::map<std::pair<int, int>, double> e;
  for (int k = 0, i = 0, j = 0; k < nnz && f >> i >> j; ++k) {
    double v = 0;
    f >> v;
    e[{i - 1, j - 1}] = v;
    if (symmetric) e[{j - 1, i - 1}] = v;
  }
  return from_map(n, e);
}

// One problem's handle and parameters.
struct Korvine {
  void* pt[64] = {};
  int iparm[64] = {};
  int maxfct = 1, mnum = 1, mtype = 11, msglvl = 0;
  int error = 0;
  std::string out;
  // Starts from the defaults of the type, as iparm[0] = 0 would, then takes the settings
  // {entry, value} of iparm and the message level.
  explicit Korvine(int type, std::initializer_list<std::pair<int, int>> settings = {},
                   int level = 0)
      : mtype(type), msglvl(level) {
    korvine_defaults(type, iparm);
    for (auto [entry, value] : settings) iparm[entry] = value;
  }
  template <typename T>
  int call(int phase, Input<T>& in, T* b, T* x, int nrhs = 1, int* perm = nullptr) {
    KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &in.n, in.a.data(), in.ia.data(),
            in.ja.empty() ? nullptr : in.ja.data(), perm, &nrhs, iparm, &msglvl, b, x, &error);
    return error;
  }
  // The same call with what it prints kept in `out`.
  template <typename T>
  int call_captured(int phase, Input<T>& in, T* b, T* x, int nrhs = 1, int* perm = nullptr) {
    int e = 0;
    out = captured([&] { e = call(phase, in, b, x, nrhs, perm); });
    return e;
  }
  bool printed(const std::string& text) const { return out.find(text) != std::string::npos; }
  void release() {
    int phase = -1, n = 0, nrhs = 1;
    KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, nullptr, nullptr, nullptr, nullptr, &nrhs,
            iparm, &msglvl, nullptr, nullptr, &error);
  }
  ~Korvine() { release(); }
};

}  // namespace ztr::test
