#include "tests/reliability/workload.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "include/ztr.h"
#include "tests/lapack/lu_matrices.h"

namespace ztr::test {
namespace {

constexpr int kLu = 200;  // wide enough for the LU's scheduler on two threads

// A copy of v at a 64-byte boundary, inside `store`.
const double* aligned_copy(const std::vector<double>& v, std::vector<double>* store) {
  store->assign(v.size() + 8, 0.0);
  double* p = store->data() + (64 - reinterpret_cast<std::uintptr_t>(store->data()) % 64) % 64 / 8;
  std::copy(v.begin(), v.end(), p);
  return p;
}

}  // namespace

void lower_pattern(std::uint64_t seed, std::vector<int>* ia, std::vector<int>* ja) {
  Rng r(static_cast<Rng::result_type>(seed));
  ia->assign(1, 0);
  for (int row = 0; row < kCsrRows; ++row) {
    for (int c = below(r, 40); c <= row; c += 1 + below(r, 40)) ja->push_back(c);
    ia->push_back(static_cast<int>(ja->size()));
  }
}

ExportResults run_exports(std::uint64_t seed) {
  ExportResults r;
  const int n = kGemm;
  const std::vector<double> a = random_matrix(n, n, n, seed * 8 + 1);
  const std::vector<double> b = random_matrix(n, n, n, seed * 8 + 2);
  std::vector<double> c = random_matrix(n, n, n, seed * 8 + 3), d(c.size());
  const double alpha = 1.5, beta = -0.5;
  DGEMM("N", "T", &n, &n, &n, &alpha, a.data(), &n, b.data(), &n, &beta, c.data(), &n);
  cblas_dgemm(ZTR_ROW_MAJOR, ZTR_TRANS, ZTR_TRANS, n, n, n, 1.0, a.data(), n, b.data(), n, 0.0,
              d.data(), n);
  r = {{"DGEMM", c}, {"cblas_dgemm", d}};

  // The same data factored and inverted in both layouts (row-major: its transpose).
  const int m = kLu;
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
    std::vector<double> lu = random_matrix(m, m, m, seed * 8 + 4);
    std::vector<int> ipiv(m);
    const double f = LAPACKE_dgetrf(layout, m, m, lu.data(), m, ipiv.data());
    std::vector<double> inv = lu;
    const double g = LAPACKE_dgetri(layout, m, inv.data(), m, ipiv.data());
    r.push_back({"LAPACKE_dgetrf", lu});
    r.push_back({"LAPACKE_dgetrf pivots", std::vector<double>(ipiv.begin(), ipiv.end())});
    r.push_back({"LAPACKE_dgetri", inv});
    r.push_back({"LAPACKE return codes", {f, g}});
  }

  // The dot product's bits depend on the vectors' alignment too: give it one.
  std::vector<double> xs, ys;
  const double* x = aligned_copy(random_matrix(kDot, 1, kDot, seed * 8 + 5), &xs);
  const double* y = aligned_copy(random_matrix(kDot, 1, kDot, seed * 8 + 6), &ys);
  r.push_back({"cblas_ddot", {cblas_ddot(kDot, x, 1, y, 1)}});

  std::vector<int> ia, ja;
  lower_pattern(seed * 8 + 7, &ia, &ja);
  const int nnz = static_cast<int>(ja.size());
  const std::vector<double> v = random_matrix(nnz, 1, nnz, seed * 8 + 8);
  std::vector<double> out(kCsrRows, 0.0);
  const int rows = kCsrRows;
  ztr_cspblas_dcsrsymv("L", &rows, v.data(), ia.data(), ja.data(), x, out.data());
  r.push_back({"ztr_cspblas_dcsrsymv", out});
  return r;
}

double inverse_residual(int n, const double* a, std::size_t ars, std::size_t acs, const double* x,
                        std::size_t xrs, std::size_t xcs) {
  double worst = 0, na = 0, nx = 0;
  for (int j = 0; j < n; ++j) {
    double col = 0, ca = 0, cx = 0;
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) s += a[i * ars + p * acs] * x[p * xrs + j * xcs];
      col += std::fabs(s);
      ca += std::fabs(a[i * ars + j * acs]);
      cx += std::fabs(x[i * xrs + j * xcs]);
    }
    worst = std::max(worst, col);
    na = std::max(na, ca);
    nx = std::max(nx, cx);
  }
  return worst / (na * nx * n * std::numeric_limits<double>::epsilon());
}

std::string bit_difference(const ExportResults& a, const ExportResults& b) {
  for (std::size_t k = 0; k < a.size(); ++k)
    if (!same_bits(a[k].second, b[k].second)) return a[k].first;
  return "";
}

}  // namespace ztr::test
