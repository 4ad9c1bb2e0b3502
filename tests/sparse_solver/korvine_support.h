// Matrices and a calling frame for the solver tests: generated sparse problems (grids,
// convection-diffusion, saddle points), conversion to the solver's CSR input, and the
// backward-error ratio that judges a solution.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <limits>
#include <map>
#include <vector>

#include "include/ztr.h"
#include "sparse_solver/solver_params.h"

namespace ztr::test {

// A sparse matrix with its full pattern, zero-based rows with ascending columns.
struct Sparse {
  int n = 0;
  std::vector<int> ia{0};
  std::vector<int> ja;
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

struct Rng {
  std::uint64_t s;
  double uniform() {  // in [-1, 1)
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) / 4503599627370496.0 - 1.0;
  }
};

// The 7-point operator on an nx x ny x nz grid: diagonal `diag`, neighbours -1 - wind for the
// +x neighbour and -1 + wind for the -x one (wind = 0: the symmetric Laplacian).
inline Sparse grid_operator(int nx, int ny, int nz, double diag, double wind = 0) {
  std::map<std::pair<int, int>, double> m;
  auto id = [&](int x, int y, int z) { return (z * ny + y) * nx + x; };
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        const int i = id(x, y, z);
        m[{i, i}] = diag;
        if (x > 0) m[{i, id(x - 1, y, z)}] = -1 + wind;
        if (x + 1 < nx) m[{i, id(x + 1, y, z)}] = -1 - wind;
        if (y > 0) m[{i, id(x, y - 1, z)}] = -1;
        if (y + 1 < ny) m[{i, id(x, y + 1, z)}] = -1;
        if (z > 0) m[{i, id(x, y, z - 1)}] = -1;
        if (z + 1 < nz) m[{i, id(x, y, z + 1)}] = -1;
      }
  return from_map(nx * ny * nz, m);
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
  Rng r{seed};
  for (int i = 0; i < m; ++i) {
    std::map<int, double> row{{stride * i, 1.0}};
    for (int t = 0; t < 2; ++t) {
      const int j = static_cast<int>((r.uniform() + 1) / 2 * lap.n);
      const double v = 0.3 * r.uniform();
      if (j != stride * i) row[j] = v;
    }
    for (auto [j, v] : row) e[{lap.n + i, j}] = e[{j, lap.n + i}] = v;
  }
  return from_map(lap.n + m, e);
}

template <typename T = double>
std::vector<T> random_rhs(std::size_t n, std::uint64_t seed) {
  Rng r{seed};
  std::vector<T> v(n);
  for (T& x : v) x = static_cast<T>(r.uniform());
  return v;
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

// A Matrix Market coordinate file of a real general matrix (empty if it cannot be read).
inline Sparse read_mtx(const std::string& path) {
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line) && line[0] == '%') {
  }
  int n = 0, m = 0, nnz = 0;
  std::istringstream(line) >> n >> m >> nnz;
  std::map<std::pair<int, int>, double> e;
  for (int k = 0, i = 0, j = 0; k < nnz && f >> i >> j; ++k) f >> e[{i - 1, j - 1}];
  return from_map(n, e);
}

// One problem's handle and parameters.
struct Korvine {
  void* pt[64] = {};
  int iparm[64] = {};
  int maxfct = 1, mnum = 1, mtype = 11, msglvl = 0;
  int error = 0;
  std::string out;
  // Starts from the defaults of the type, as iparm[0] = 0 would.
  explicit Korvine(int type) : mtype(type) { korvine_defaults(type, iparm); }
  template <typename T>
  int call(int phase, Input<T>& in, T* b, T* x, int nrhs = 1, int* perm = nullptr) {
    KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &in.n, in.a.data(), in.ia.data(), in.ja.data(),
            perm, &nrhs, iparm, &msglvl, b, x, &error);
    return error;
  }
  // The same call with what it prints kept in `out`.
  template <typename T>
  int call_captured(int phase, Input<T>& in, T* b, T* x, int nrhs = 1, int* perm = nullptr) {
    testing::internal::CaptureStdout();
    const int e = call(phase, in, b, x, nrhs, perm);
    out = testing::internal::GetCapturedStdout();
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
