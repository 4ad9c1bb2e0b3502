// ztr_cspblas_dcsrsymv on a 3-D 7-point Laplacian (100^3 rows) and on a random symmetric
// pattern of 1e6 rows, with 1 and 2 threads, beside a plain CSR loop over both triangles.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <random>
#include <vector>

#include "include/ztr.h"

namespace {

struct Csr {
  int m = 0;
  std::vector<int> ia, ja;
  std::vector<double> a;
};

// Lower triangle with the diagonal, and both triangles, of the same matrix.
struct Problem {
  Csr lower, full;
  std::vector<double> x;
};

Csr from_rows(int m, const std::vector<std::vector<std::pair<int, double>>>& rows) {
  Csr c;
  c.m = m;
  c.ia.push_back(0);
  for (const auto& row : rows) {
    for (auto [col, v] : row) {
      c.ja.push_back(col);
      c.a.push_back(v);
    }
    c.ia.push_back(static_cast<int>(c.ja.size()));
  }
  return c;
}

Problem make(int m, const std::vector<std::vector<std::pair<int, double>>>& lower_rows) {
  std::vector<std::vector<std::pair<int, double>>> full(static_cast<std::size_t>(m));
  for (int r = 0; r < m; ++r) {
    for (auto [c, v] : lower_rows[r]) {
      full[r].emplace_back(c, v);
      if (c != r) full[c].emplace_back(r, v);
    }
  }
  for (auto& row : full) std::sort(row.begin(), row.end());
  Problem p{from_rows(m, lower_rows), from_rows(m, full), std::vector<double>(m)};
  for (int i = 0; i < m; ++i) p.x[i] = 1.0 + 1e-3 * (i % 101);
  return p;
}

const Problem& laplacian() {
  static const Problem p = [] {
    const int k = 100, m = k * k * k;
    std::vector<std::vector<std::pair<int, double>>> rows(m);
    for (int z = 0; z < k; ++z)
      for (int y = 0; y < k; ++y)
        for (int x = 0; x < k; ++x) {
          const int r = (z * k + y) * k + x;
          if (z > 0) rows[r].emplace_back(r - k * k, -1.0);
          if (y > 0) rows[r].emplace_back(r - k, -1.0);
          if (x > 0) rows[r].emplace_back(r - 1, -1.0);
          rows[r].emplace_back(r, 6.0);
        }
    return make(m, rows);
  }();
  return p;
}

// About 4 random off-diagonal entries per row of the lower triangle (8 per row in all).
const Problem& random_pattern() {
  static const Problem p = [] {
    const int m = 1000000;
    std::mt19937 gen(42);
    std::vector<std::vector<std::pair<int, double>>> rows(m);
    for (int r = 0; r < m; ++r) {
      for (int k = 0; k < 4 && r > 0; ++k)
        rows[r].emplace_back(std::uniform_int_distribution<int>(0, r - 1)(gen), 0.1);
      std::sort(rows[r].begin(), rows[r].end());
      rows[r].erase(std::unique(rows[r].begin(), rows[r].end(),
                                [](auto& a, auto& b) { return a.first == b.first; }),
                    rows[r].end());
      rows[r].emplace_back(r, 4.0);
    }
    return make(m, rows);
  }();
  return p;
}

const Problem& problem(int which) {
  return which == 0 ? laplacian() : random_pattern();
}

void set_bytes(benchmark::State& state, const Csr& c) {
  // Values, column indices, row pointers, x and y once each.
  const int64_t bytes = static_cast<int64_t>(c.a.size()) * 12 + int64_t{c.m} * 20;
  state.SetBytesProcessed(state.iterations() * bytes);
}

void ztr_symv(benchmark::State& state, int which, int threads) {
  const Problem& p = problem(which);
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  std::vector<double> y(p.x.size());
  for (auto _ : state) {
    ztr_cspblas_dcsrsymv("L", &p.lower.m, p.lower.a.data(), p.lower.ia.data(), p.lower.ja.data(),
                         p.x.data(), y.data());
    benchmark::ClobberMemory();
  }
  set_bytes(state, p.lower);
}

// The plain loop a caller would write with both triangles stored, rows split among threads.
void plain_full(benchmark::State& state, int which, int threads) {
  const Problem& p = problem(which);
  const Csr& c = p.full;
  std::vector<double> y(p.x.size());
  for (auto _ : state) {
#pragma omp parallel for num_threads(threads) schedule(static)
    for (int r = 0; r < c.m; ++r) {
      double s = 0.0;
      for (int k = c.ia[r]; k < c.ia[r + 1]; ++k) s += c.a[k] * p.x[c.ja[k]];
      y[r] = s;
    }
    benchmark::ClobberMemory();
  }
  set_bytes(state, c);
}

const int registered = [] {
  const char* names[] = {"laplacian7", "random"};
  for (int which : {0, 1}) {
    for (int threads : {1, 2}) {
      const std::string suffix = std::string(names[which]) + "/threads:" + std::to_string(threads);
      benchmark::RegisterBenchmark(("csrsymv/ztr_lower/" + suffix).c_str(), ztr_symv, which,
                                   threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("csrsymv/plain_full/" + suffix).c_str(), plain_full, which,
                                   threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  return 0;
}();

}  // namespace
